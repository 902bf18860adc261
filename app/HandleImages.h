// The handle markers drawn over the room (red, green, blue; purple is drawn from the red one),
// as Base85 text of small PNG pictures.
#pragma once

extern const char* const kHandleRedPNG85;
extern const char* const kHandleGreenPNG85;
extern const char* const kHandleBluePNG85;
