#include "GameScene.h"

static KuArray<KuObject*>* recentRoomList = nullptr;

KuArray<KuObject*>* GameScene::recentRooms() {
    if (!recentRoomList) recentRoomList = KuArray<KuObject*>::newArray();
    return recentRoomList;
}

void GameScene::setRecentRooms(KuArray<KuObject*>* rooms) {
    KuArray<KuObject*>* copy = KuArray<KuObject*>::newArray();
    copy->initWithArray(rooms);
    KuRelease(recentRoomList);
    recentRoomList = copy;
}

void GameScene::addRecentRoom(KuString* path) {
    if (!path) return;
    KuArray<KuObject*>* rooms = recentRooms();
    auto& entries = rooms->vector();
    for (int i = rooms->count() - 1; i >= 0; i--) {
        KuObject* entry = entries[i];
        if (entry->isString() && KuStreq(static_cast<KuString*>(entry), path)) rooms->removeObjectAtIndex(i);
    }
    rooms->addObjectToFront(path);
}
