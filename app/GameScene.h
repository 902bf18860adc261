// GameScene: the open room. For now it holds the process-wide list of recently opened rooms,
// which the start-up and the File menu read and each successful open updates.
#pragma once

#include "KuArray.h"
#include "KuString.h"

class GameScene {
public:
    // Most recent first; string entries are paths, other entries are kept as found in the
    // preferences. Created on first use; lives for the whole process.
    static KuArray<KuObject*>* recentRooms();

    // Replaces the list (retained), e.g. with the "recentRooms" preference at start-up.
    static void setRecentRooms(KuArray<KuObject*>* rooms);

    // After a document at path has opened: every string entry equal to path goes, and path is
    // put at the front. The caller stores the list as the "recentRooms" preference.
    static void addRecentRoom(KuString* path);
};
