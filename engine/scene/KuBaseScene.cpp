// Scenes: switching, the suspended-scene stack, per-frame entry points and default hooks.
#include "KuBaseScene.h"

#include "KuDictionary.h"
#include "KuEventManager.h"
#include "KuGraphics.h"
#include "KuLayout.h"
#include "KuLog.h"

KuBaseScene* currentScene = nullptr;
KuArray<PushedScene*>* pushedSceneStack = nullptr;
double _gameTime = 0;
float _frameTime = 0;
double _globalTime = 0;

namespace {
KuSceneAppQueries* appQueries = nullptr;
}

void KuSetSceneAppQueries(KuSceneAppQueries* queries) {
    appQueries = queries;
}

PushedScene::PushedScene(KuBaseScene* s, KuObject* o) : scene(s), object(o) {
    KuRetain(scene);
    KuRetain(object);
}

PushedScene::~PushedScene() {
    KuRelease(scene);
    KuRelease(object);
}

KuPriorityScene::KuPriorityScene(int p, KuBaseScene* s) : priority(p), scene(s) {
    KuRetain(scene);
}

KuPriorityScene::~KuPriorityScene() {
    KuRelease(scene);
}

KuBaseScene::KuBaseScene() = default;

// The children go with the node's own destructor; the event manager is left alone.
KuBaseScene::~KuBaseScene() = default;

// >>scene switching

KuBaseScene* KuBaseScene::newScene(KuBaseScene* scene, KuObject* obj) {
    KuRetain(obj);
    if (currentScene) {
        KuBaseScene* old = currentScene;
        // Reopening the current scene: the reference currentScene holds is the one handed back, so
        // the release below must not destroy the scene about to be opened.
        if (old == scene) KuRetain(scene);
        old->closeScene();
        // Cleared before the release so nothing reached from the old scene's destructor sees a
        // current scene that is being destroyed.
        currentScene = nullptr;
        KuRelease(old);
        KuAutoreleasePool::drainCurrentPool();
    }
    KuAutorelease(obj);
    currentScene = scene;
    if (_debugTextures && _debugTextureDict && _debugTextureDict->count() > 0) {
        for (int i = 0; i < _debugTextureDict->count(); i++) {
            KuString* key = _debugTextureDict->keyAtIndex(i);
            KuObject* value = _debugTextureDict->objectForKey(key);
            KuLog("Texture %02d - %@ %@", i, key, value ? value->toString() : nullptr);
        }
    }
    if (scene) scene->openSceneWithObject(obj);
    return scene;
}

KuBaseScene* KuBaseScene::pushScene(KuBaseScene* scene, KuObject* obj) {
    KuBaseScene* suspended = currentScene ? currentScene->newSceneObject() : nullptr;
    pushSceneClass(suspended, nullptr);
    KuRelease(suspended);  // newSceneObject gave an owned scene; the stack holds its own reference
    return newScene(scene, obj);
}

void KuBaseScene::pushSceneClass(KuBaseScene* scene, KuObject* obj) {
    if (!scene) return;
    if (!pushedSceneStack) pushedSceneStack = KuArray<PushedScene*>::newArray();
    PushedScene* record = new PushedScene(scene, obj);
    pushedSceneStack->addObject(record, true);
}

void KuBaseScene::popScene(KuObject* obj) {
    if (!pushedSceneStack || pushedSceneStack->count() == 0) return;
    PushedScene* top = pushedSceneStack->lastObject();
    KuBaseScene* scene = top->scene;
    KuObject* reopenWith = obj ? obj : top->object;
    KuRetain(scene);  // the reference newScene hands to currentScene
    KuRetain(reopenWith);
    pushedSceneStack->removeObjectAtIndex(pushedSceneStack->count() - 1);
    newScene(scene, reopenWith);
    KuRelease(reopenWith);
}

KuPriorityScene* KuBaseScene::getTopPriorityScene(KuArray<KuPriorityScene*>* scenes) {
    if (!scenes) return nullptr;
    KuPriorityScene* best = nullptr;
    for (KuPriorityScene* record : *scenes)
        if (record && (!best || record->priority >= best->priority)) best = record;
    return best;
}

KuBaseScene* KuBaseScene::getTopScene(KuArray<KuPriorityScene*>* scenes) {
    KuPriorityScene* best = getTopPriorityScene(scenes);
    return best ? best->scene : nullptr;
}

// >>per frame

void KuBaseScene::updateDispatch(float dt) {
    update(dt);
    if (this == currentScene && pendingButtonID != 0) {
        int id = pendingButtonID;
        pendingButtonID = 0;
        handleButtonPushedID(id);
    }
}

void KuBaseScene::update(float dt) {
    // The held-button check joins here with the buttons.
    if (eventManager) eventManager->update(dt);
}

KuPoint KuBaseScene::translateTouchLocation(KuPoint p) {
    return KuWindowToScreen(p, true);
}

// >>hooks

void KuBaseScene::closeScene() {
    removeAllRenders();
    KuRelease(renders);
    renders = nullptr;
    if (eventManager) eventManager->removeEverything();
}

bool KuBaseScene::showWithCompletionBlock(std::function<void()> block) {
    if (block) block();
    return true;
}

bool KuBaseScene::hideWithCompletionBlock(std::function<void()> block) {
    if (block) block();
    return true;
}

bool KuBaseScene::isKeyDown(int key) {
    return appQueries ? appQueries->isKeyDown(key) : false;
}

KuPoint KuBaseScene::joystickPosition(int which) {
    return appQueries ? appQueries->joystickPosition(which) : KuPoint{0, 0};
}
