// GameApp: the editor's application object. For now it holds the project rules every later
// piece of the editor uses: which room document to open at start-up, and which project folders
// go on the resource search list for a given document.
#pragma once

#include "KuArray.h"
#include "KuString.h"

class GameApp {
public:
    // Puts the project folders of the room document at roomPath on the front of the resource
    // search list: its script and room folders, then _SpriteSheets, SpriteSheets and Templates
    // (so Templates is searched first). A null path uses an empty project folder.
    static void setSearchPaths(KuString* roomPath);

    // The room document to open at start-up: the first command-line argument when a file exists
    // there, else lastRoomFilename. Returns null when neither names an existing file; then
    // *forgetLastRoom is set, telling the caller to remove the "lastRoomFilename" preference.
    // The result is one of the inputs (not retained).
    static KuString* chooseRoomDocument(KuArray<KuObject*>* args, KuString* lastRoomFilename,
                                        bool* forgetLastRoom);
};
