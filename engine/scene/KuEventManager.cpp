// The event manager.
//
// Sections: >>list helpers  >>motors  >>emitters  >>render entries  >>callbacks  >>whole
//
// Elements are updated or called while the lists may change under them (a motor's end may remove
// other motors, a callback may add callbacks, a released node may remove its motors), so walks
// that call out hold their own reference to every element and re-check membership when anything
// was removed meanwhile, and removals release only after the list is consistent again.
#include "KuEventManager.h"

#include <vector>

#include "KuLog.h"
#include "KuSpriteSheet.h"

KuEventManager* eventManager = nullptr;
bool removingEverything = false;
uint64_t staticCallbackGUID = 0;

namespace {

// >>list helpers

// Unlinks every element that matches (only the first with firstOnly) and releases them once the
// list is consistent again. Returns how many were removed.
template <typename T, typename Match>
int removeWhere(KuList<T>* list, Match match, bool firstOnly = false) {
    if (!list) return 0;
    std::vector<T> removed;
    KuListIterator<T> it = list->begin();
    while (it) {
        if (match(it->object)) {
            T object = it->object;
            KuRetain(object);  // the list's release below must not destroy it mid-walk
            removed.push_back(object);
            it = list->removeObjectAtIterator(it, true);
            if (firstOnly) break;
        } else {
            it = it->next;
        }
    }
    for (T object : removed)
        KuRelease(object);
    return static_cast<int>(removed.size());
}

template <typename T, typename Step>
void forEach(KuList<T>* list, Step step) {
    if (!list) return;
    for (KuListIterator<T> it = list->begin(); it; it = it->next)
        step(it->object);
}

template <typename T>
bool listHolds(KuList<T>* list, T object) {
    for (KuListIterator<T> it = list->begin(); it; it = it->next)
        if (it->object == object) return true;
    return false;
}

// Every element, each with one reference of the caller's; give them back with releaseAll.
template <typename T>
std::vector<T> retainedSnapshot(KuList<T>* list) {
    std::vector<T> out;
    out.reserve(static_cast<size_t>(list->count()));
    forEach(list, [&](T object) {
        KuRetain(object);
        out.push_back(object);
    });
    return out;
}

template <typename T>
void releaseAll(std::vector<T>& objects) {
    for (T object : objects)
        KuRelease(object);
    objects.clear();
}

void lowerPause(int32_t& count) {
    if (count > 0) count--;
}

}  // namespace

KuRenderObject::KuRenderObject(KuRenderNode* n, int32_t o, int32_t p) : order(o), pass(p), node(n) {
    KuRetain(node);
}

KuEventManager::KuEventManager()
    : motors(new KuList<KuMotor*>), emitters(new KuList<KuParticleEmitter*>),
      renders(new KuList<KuRenderObject*>), callbacks(new KuList<KuCallbackObject*>) {}

KuEventManager::~KuEventManager() {
    // Elements released here may reach back into the manager; they find the flag set.
    bool wasRemoving = removingEverything;
    removingEverything = true;
    KuRelease(motors);
    KuRelease(callbacks);
    KuRelease(renders);
    KuRelease(emitters);
    motors = nullptr;
    callbacks = nullptr;
    renders = nullptr;
    emitters = nullptr;
    removingEverything = wasRemoving;
}

// >>motors

void KuEventManager::addMotor(KuMotor* motor) {
    if (motor) motors->addObject(motor);
}

void KuEventManager::removeMotorsWhere(const std::function<bool(KuMotor*)>& match) {
    if (removingEverything || !motors) return;
    if (removeWhere(motors, match) > 0) changes++;
}

void KuEventManager::removeMotor(KuMotor* motor) {
    if (!motor) return;
    removeMotorsWhere([motor](KuMotor* m) { return m == motor; });
}

int KuEventManager::removeMotorsWithID(int id) {
    if (removingEverything || !motors) return 0;
    int n = removeWhere(motors, [id](KuMotor* m) { return m->motorID == id; });
    if (n > 0) changes++;
    return n;
}

void KuEventManager::removeAllMotors() {
    if (removingEverything || !motors) return;
    motors->removeAllObjects();
    changes++;
}

void KuEventManager::removeAllMotorsUsingObject(KuRenderNode* node) {
    if (!node) return;
    removeMotorsWhere([node](KuMotor* m) { return m->target == node; });
}

void KuEventManager::removeAllMotorsUsingObjectAndProperty(KuRenderNode* node, int property) {
    if (!node) return;
    removeMotorsWhere([node, property](KuMotor* m) { return m->target == node && m->property == property; });
}

void KuEventManager::removeAllUnPausedMotors() {
    removeMotorsWhere([](KuMotor* m) { return m->pauseCount <= 0; });
}

KuMotor* KuEventManager::firstMotorUsingObject(KuRenderNode* node) {
    for (KuListIterator<KuMotor*> it = motors->begin(); it; it = it->next)
        if (it->object->target == node) return it->object;
    return nullptr;
}

KuMotor* KuEventManager::firstMotorWithID(int id) {
    for (KuListIterator<KuMotor*> it = motors->begin(); it; it = it->next)
        if (it->object->motorID == id) return it->object;
    return nullptr;
}

void KuEventManager::pauseAllMotors() {
    forEach(motors, [](KuMotor* m) {
        if (!m->unpausable) m->pauseCount++;
    });
}

void KuEventManager::resumeAllMotors() {
    forEach(motors, [](KuMotor* m) { lowerPause(m->pauseCount); });
}

// >>emitters

void KuEventManager::addEmitter(KuParticleEmitter* emitter, bool render) {
    if (!emitter) return;
    emitters->addObject(emitter);
    if (render) _addRenderOrderPass(emitter, 1, 1);
}

void KuEventManager::addEmitterWithLifetime(KuParticleEmitter* emitter, float seconds) {
    if (!emitter) return;
    emitter->lifetime = seconds;
    emitters->addObject(emitter);
    _addRenderOrderPass(emitter, 10000, 1);
}

void KuEventManager::setEmitterRender(KuParticleEmitter* emitter, bool render) {
    if (!emitter) return;
    bool present = false;
    forEach(renders, [&](KuRenderObject* r) { present = present || r->node == emitter; });
    if (render && !present)
        _addRenderOrderPass(emitter, 1, 1);
    else if (!render && present)
        _removeRender(emitter);
}

void KuEventManager::removeEmitter(KuParticleEmitter* emitter) {
    if (removingEverything || !emitter || !emitters) return;
    KuRetain(emitter);  // its render entry may hold the last other reference
    _removeRender(emitter);
    if (removeWhere(emitters, [emitter](KuParticleEmitter* e) { return e == emitter; }) > 0) changes++;
    KuRelease(emitter);
}

void KuEventManager::removeAllEmitters() {
    if (removingEverything || !emitters) return;
    std::vector<KuParticleEmitter*> all = retainedSnapshot(emitters);
    for (KuParticleEmitter* e : all)
        removeEmitter(e);
    releaseAll(all);
}

void KuEventManager::removeAllUnPausedEmitters() {
    if (removingEverything || !emitters) return;
    std::vector<KuParticleEmitter*> all = retainedSnapshot(emitters);
    for (KuParticleEmitter* e : all)
        if (e->pauseCount <= 0) removeEmitter(e);
    releaseAll(all);
}

void KuEventManager::pauseAllEmitters() {
    forEach(emitters, [](KuParticleEmitter* e) { e->pauseCount++; });
}

void KuEventManager::resumeAllEmitters() {
    forEach(emitters, [](KuParticleEmitter* e) { lowerPause(e->pauseCount); });
}

// >>render entries

KuRenderNode* KuEventManager::_addRenderOrderPass(KuRenderNode* node, int order, int pass) {
    if (!node) {
        KuWarning("KuEventManager::addRenderPassOrderPass() render is NULL");
        return nullptr;
    }
    KuRenderObject* entry = new KuRenderObject(node, order, pass == 0 ? 1 : pass);
    KuListIterator<KuRenderObject*> it = renders->begin();
    while (it && it->object->order <= order)
        it = it->next;
    if (it)
        renders->insertObjectBeforeIterator(entry, it);
    else
        renders->addObject(entry);
    KuRelease(entry);  // the list holds it
    return node;
}

void KuEventManager::_removeRender(KuRenderNode* node) {
    if (!node || !renders) return;
    if (removeWhere(
            renders, [node](KuRenderObject* r) { return r->node == node; }, true) > 0)
        changes++;
}

void KuEventManager::setRenderPass(KuRenderNode* node, int pass) {
    for (KuListIterator<KuRenderObject*> it = renders->begin(); it; it = it->next) {
        if (it->object->node == node) {
            it->object->pass = pass;
            return;
        }
    }
}

void KuEventManager::removeAllRenders() {
    if (!renders) return;
    renders->removeAllObjects();
    changes++;
}

void KuEventManager::render() {
    renderPass(1);
}

void KuEventManager::renderPass(int pass) {
    // Drawing does not edit the entries; the next link is read first all the same, so an entry
    // that removes itself while drawing does not cut the walk.
    KuListIterator<KuRenderObject*> it = renders->begin();
    while (it) {
        KuListIterator<KuRenderObject*> next = it->next;
        if (it->object->pass == pass) KuRenderDispatch(it->object->node);
        it = next;
    }
}

// >>callbacks

uint64_t KuEventManager::addCallback(float delay, std::function<void()> function) {
    return addCallbackWithGUID(0, delay, std::move(function));
}

uint64_t KuEventManager::addCallbackWithGUID(uint64_t id, float delay, std::function<void()> function) {
    if (id == 0) id = ++staticCallbackGUID;
    KuCallbackObject* callback = new KuCallbackObject;
    callback->delay = delay;
    callback->callbackID = id;
    callback->function = std::move(function);
    callbacks->addObject(callback);
    KuRelease(callback);
    return id;
}

uint64_t KuEventManager::addCallbackWithObject(KuObject* object, float delay,
                                               std::function<void()> function) {
    return addCallbackWithGUID(static_cast<uint64_t>(reinterpret_cast<uintptr_t>(object)), delay,
                               std::move(function));
}

void KuEventManager::removeCallbacksWhere(const std::function<bool(KuCallbackObject*)>& match) {
    if (removingEverything || !callbacks) return;
    if (removeWhere(callbacks, match) > 0) changes++;
}

void KuEventManager::removeCallbackWithGUID(uint64_t id) {
    removeCallbacksWhere([id](KuCallbackObject* c) { return c->callbackID == id; });
}

void KuEventManager::removeCallbacksForObject(KuObject* object) {
    if (!object) return;
    removeCallbackWithGUID(static_cast<uint64_t>(reinterpret_cast<uintptr_t>(object)));
}

void KuEventManager::removeAllCallbacks() {
    if (removingEverything || !callbacks) return;
    callbacks->removeAllObjects();
    changes++;
}

void KuEventManager::removeAllUnPausedCallbacks() {
    removeCallbacksWhere([](KuCallbackObject* c) { return c->pauseCount <= 0; });
}

void KuEventManager::pauseAllCallbacks() {
    forEach(callbacks, [](KuCallbackObject* c) { c->pauseCount++; });
}

void KuEventManager::resumeAllCallbacks() {
    forEach(callbacks, [](KuCallbackObject* c) { lowerPause(c->pauseCount); });
}

// >>whole

void KuEventManager::pauseEverything() {
    pauseAllCallbacks();
    pauseAllEmitters();
    pauseAllMotors();
}

void KuEventManager::unpauseEverything() {
    resumeAllCallbacks();
    resumeAllEmitters();
    resumeAllMotors();
}

void KuEventManager::removeEverything() {
    removingEverything = true;
    motors->removeAllObjects();
    callbacks->removeAllObjects();
    renders->removeAllObjects();
    emitters->removeAllObjects();
    removingEverything = false;
    changes++;
    // The caches of emitter templates and bitmap fonts are emptied here too once those caches
    // exist.
    KuSpriteSheet::releaseCache();
}

void KuEventManager::removeEverythingWithObject(KuObject* object) {
    if (!object) return;
    removeMotorsWhere([object](KuMotor* m) { return m->target == object; });
    removeCallbacksForObject(object);
    if (removingEverything) return;
    if (removeWhere(
            renders, [object](KuRenderObject* r) { return r->node == object; }, true) > 0)
        changes++;
}

void KuEventManager::update(float dt) {
    // Motors: a finished one is removed; one removed by another's update is skipped.
    std::vector<KuMotor*> walk = retainedSnapshot(motors);
    uint64_t seen = changes;
    for (KuMotor* m : walk) {
        if (changes != seen && !listHolds(motors, m)) continue;
        if (m->update(dt)) removeMotor(m);
    }
    releaseAll(walk);

    std::vector<KuParticleEmitter*> emitterWalk = retainedSnapshot(emitters);
    seen = changes;
    for (KuParticleEmitter* e : emitterWalk) {
        if (changes != seen && !listHolds(emitters, e)) continue;
        if (e->updateParticle(dt)) removeEmitter(e);
    }
    releaseAll(emitterWalk);

    // Callbacks: count down the unpaused ones, then call the due ones one at a time from the head,
    // each out of the list before it runs, rescanning after every call. A callback added by
    // another is seen in this update with its full delay.
    forEach(callbacks, [dt](KuCallbackObject* c) {
        if (c->pauseCount <= 0) c->delay -= dt;
    });
    for (;;) {
        KuListIterator<KuCallbackObject*> it = callbacks->begin();
        while (it && !(it->object->pauseCount <= 0 && it->object->delay <= 0))
            it = it->next;
        if (!it) break;
        KuCallbackObject* due = it->object;
        KuRetain(due);
        callbacks->removeObjectAtIterator(it, true);
        changes++;
        if (due->function) due->function();
        KuRelease(due);
    }
}
