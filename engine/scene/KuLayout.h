// Screen layout: the window size and margins, the fixed design screen fitted into the window with
// its aspect ratio kept (the screen frame), the device scale, and conversion between window points
// (y down) and screen points (y up). Process-wide, main thread only.
#pragma once

#include "KuTypes.h"

// Unit of results: kKuLayoutPixels multiplies by the device scale; any other value gives points.
using KuLayoutUnits = int;
constexpr KuLayoutUnits kKuLayoutPoints = 0;
constexpr KuLayoutUnits kKuLayoutPixels = 1;

// margins: first = (left, top), second = (right, bottom), in window points. Each setter recomputes
// the screen frame; a window area or design screen without extent keeps the previous frame.
void KuSetLayout(KuPoint windowSize, KuRect margins, KuPoint screenSize);
void KuSetWindowSize(KuPoint windowSize);
void KuSetWindowMargins(KuRect margins);

KuPoint KuWindowSize(KuLayoutUnits units);    // (320, 240) at start
KuPoint KuScreenSize(KuLayoutUnits units);    // the design screen, (320, 240) at start
KuRect KuWindowMargins(KuLayoutUnits units);  // both corners
KuRect KuScreenFrame(KuLayoutUnits units);    // where the design screen lies in the window

float KuDeviceScale();  // pixels per point, 1 at start
void KuSetDeviceScale(float scale);

// Window point to screen point; flip turns window y (down) into screen y (up).
KuPoint KuWindowToScreen(KuPoint p, bool flip);
KuPoint KuScreenToWindow(KuPoint p, bool flip);
