// The event manager: what lives across frames without being a child of a node: motors, particle
// emitters, extra render entries ordered by a sort key and a pass, and timed callbacks. Switching
// scenes empties it. Main thread only.
#pragma once

#include <cstdint>
#include <functional>

#include "KuArray.h"
#include "KuRenderNode.h"

// What the manager reads of a motor; the motors themselves derive from it.
class KuMotor : public KuObject {
public:
    KuRenderNode* target = nullptr;  // retained
    int32_t property = 0;            // what the motor drives (1 position, 2 colour, 3 alpha, ...)
    int32_t motorID = 0;             // for removeMotorsWithID and firstMotorWithID
    int32_t pauseCount = 0;          // paused while above 0
    bool unpausable = false;         // pauseAllMotors skips it

    KuMotor() = default;  // owned (count 1)
    ~KuMotor() override { KuRelease(target); }
    const char* typeStr() const override { return "KuMotor"; }
    void setTarget(KuRenderNode* node) { KuSetRetained(target, node); }
    virtual bool update(float) { return true; }  // true when finished
};

// What the manager reads of a particle emitter (a render node); the emitters derive from it.
class KuParticleEmitter : public KuRenderNode {
public:
    int32_t pauseCount = 0;
    float lifetime = 0;  // seconds; set by addEmitterWithLifetime

    KuParticleEmitter() = default;  // owned (count 1)
    const char* typeStr() const override { return "KuParticleEmitter"; }
    virtual bool updateParticle(float) { return true; }  // true when finished
};

// An extra render entry: drawn by the scene after its children, in order of `order`.
class KuRenderObject : public KuObject {
public:
    int32_t order = 0;
    int32_t pass = 1;
    KuRenderNode* node = nullptr;                           // retained
    KuRenderObject(KuRenderNode* n, int32_t o, int32_t p);  // owned (count 1)
    ~KuRenderObject() override { KuRelease(node); }
    const char* typeStr() const override { return "KuRenderObject"; }
};

class KuCallbackObject : public KuObject {
public:
    float delay = 0;  // remaining seconds
    uint64_t callbackID = 0;
    int32_t pauseCount = 0;
    std::function<void()> function;
    const char* typeStr() const override { return "KuCallbackObject"; }
};

class KuEventManager : public KuObject {
public:
    KuList<KuMotor*>* motors;
    KuList<KuParticleEmitter*>* emitters;
    KuList<KuRenderObject*>* renders;
    KuList<KuCallbackObject*>* callbacks;

    KuEventManager();  // owned (count 1), with four empty lists
    ~KuEventManager() override;
    const char* typeStr() const override { return "KuEventManager"; }

    // >>motors
    void addMotor(KuMotor* motor);  // appends and retains; null ignored
    void removeMotor(KuMotor* motor);
    int removeMotorsWithID(int id);  // how many were removed
    void removeAllMotors();
    void removeAllMotorsUsingObject(KuRenderNode* node);
    void removeAllMotorsUsingObjectAndProperty(KuRenderNode* node, int property);
    void removeAllUnPausedMotors();                      // pause count 0 or less
    KuMotor* firstMotorUsingObject(KuRenderNode* node);  // borrowed, or null
    KuMotor* firstMotorWithID(int id);                   // borrowed, or null
    void pauseAllMotors();                               // except unpausable ones
    void resumeAllMotors();                              // never below 0

    // >>emitters
    void addEmitter(KuParticleEmitter* emitter, bool render);  // render: entry of order 1, pass 1
    void addEmitterWithLifetime(KuParticleEmitter* emitter, float seconds);  // entry of order 10000
    void setEmitterRender(KuParticleEmitter* emitter, bool render);
    void removeEmitter(KuParticleEmitter* emitter);  // and its render entry
    void removeAllEmitters();
    void removeAllUnPausedEmitters();
    void pauseAllEmitters();
    void resumeAllEmitters();

    // >>render entries
    // Inserted before the first entry of greater order, so equal orders keep their adding order;
    // pass 0 becomes 1. Retains node and returns it; null warns and returns null.
    KuRenderNode* _addRenderOrderPass(KuRenderNode* node, int order, int pass);
    void _removeRender(KuRenderNode* node);            // the first entry of that node
    void setRenderPass(KuRenderNode* node, int pass);  // of the first entry of that node
    void removeAllRenders();
    void render();              // the nodes of pass-1 entries, in list order
    void renderPass(int pass);  // the nodes of entries of that pass

    // >>callbacks
    // Each returns the callback's id. id 0 takes the next value of the counter (the first is 1).
    uint64_t addCallback(float delay, std::function<void()> function);
    uint64_t addCallbackWithGUID(uint64_t id, float delay, std::function<void()> function);
    uint64_t addCallbackWithObject(KuObject* object, float delay, std::function<void()> function);
    void removeCallbackWithGUID(uint64_t id);  // every callback of that id
    void removeCallbacksForObject(KuObject* object);
    void removeAllCallbacks();
    void removeAllUnPausedCallbacks();
    void pauseAllCallbacks();
    void resumeAllCallbacks();

    // >>whole
    void pauseEverything();
    void unpauseEverything();
    // Empties every list; single removals made meanwhile (by objects destroyed in the clean-up)
    // are ignored.
    void removeEverything();
    void removeEverythingWithObject(KuObject* object);  // its motors, callbacks, first render entry
    // Motors, then emitters, then callbacks (see the .cpp for the callback rules).
    void update(float dt);

private:
    uint64_t changes = 0;  // bumped by every removal, so walks notice removed elements
    void removeMotorsWhere(const std::function<bool(KuMotor*)>& match);
    void removeCallbacksWhere(const std::function<bool(KuCallbackObject*)>& match);
};

extern KuEventManager* eventManager;  // created by the application's start-up; may be null
extern bool removingEverything;       // true while removeEverything runs
extern uint64_t staticCallbackGUID;   // last id handed out
