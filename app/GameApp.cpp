#include "GameApp.h"

void GameApp::setSearchPaths(KuString* roomPath) {
    KuString* roomFolder = KuPathByRemovingLastPath(roomPath);
    KuString* subFolder = KuPathByRemovingPath(roomFolder);
    KuString* project;
    if (KuStreq(subFolder, "Tansy")) {
        project = KuPathByRemovingLastPath(roomFolder);
        KuAddResourcePath(KuStrf("%s/Scripts/", project ? project->c_str() : ""));
        KuAddResourcePath(KuStrf("%s/Scripts/Rooms", project ? project->c_str() : ""));
        KuAddResourcePath(KuStrf("%s/Tansy/", project ? project->c_str() : ""));
    } else {
        project = KuPathByRemovingLastPath(KuPathByRemovingLastPath(roomFolder));
        const char* root = project ? project->c_str() : "";
        const char* sub = subFolder ? subFolder->c_str() : "";
        KuAddResourcePath(KuStrf("%s/Scripts/%s", root, sub));
        KuAddResourcePath(KuStrf("%s/Tansy/%s", root, sub));
    }
    const char* root = project ? project->c_str() : "";
    KuAddResourcePath(KuStrf("%s/_SpriteSheets/", root));
    KuAddResourcePath(KuStrf("%s/SpriteSheets/", root));
    KuAddResourcePath(KuStrf("%s/Templates/", root));
}

KuString* GameApp::chooseRoomDocument(KuArray<KuObject*>* args, KuString* lastRoomFilename,
                                      bool* forgetLastRoom) {
    if (forgetLastRoom) *forgetLastRoom = false;
    KuObject* first = args ? args->objectAtIndex(0) : nullptr;
    KuString* candidate = (first && first->isString()) ? static_cast<KuString*>(first) : nullptr;
    if (candidate && KuDoesFileExistAtPath(candidate)) return candidate;

    if (lastRoomFilename && KuDoesFileExistAtPath(lastRoomFilename)) return lastRoomFilename;
    if (forgetLastRoom) *forgetLastRoom = true;
    return nullptr;
}
