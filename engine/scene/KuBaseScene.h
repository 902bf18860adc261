// Scenes: the root render node of what is on screen, the scene switch (newScene), the stack of
// suspended scenes, the default input entry points and the empty hooks concrete scenes override.
// Button handling arrives with the buttons; until then the touch entry points return false.
#pragma once

#include <cstdint>
#include <functional>

#include "KuArray.h"
#include "KuRenderNode.h"

class KuButton;
class KuBaseScene;

// What a scene asks of the application (which lives in a higher layer and installs itself).
class KuSceneAppQueries {
public:
    virtual ~KuSceneAppQueries() = default;
    virtual bool isKeyDown(int) { return false; }
    virtual KuPoint joystickPosition(int) { return KuPoint{0, 0}; }
};
void KuSetSceneAppQueries(KuSceneAppQueries* queries);  // null: every query answers false / (0, 0)

// One suspended scene and the object to reopen it with.
class PushedScene : public KuObject {
public:
    KuBaseScene* scene = nullptr;              // retained
    KuObject* object = nullptr;                // retained, may be null
    PushedScene(KuBaseScene* s, KuObject* o);  // owned (count 1)
    ~PushedScene() override;
    const char* typeStr() const override { return "PushedScene"; }
};

// A (priority, scene) record for getTopScene.
class KuPriorityScene : public KuObject {
public:
    int priority = 0;
    KuBaseScene* scene = nullptr;            // retained
    KuPriorityScene(int p, KuBaseScene* s);  // owned (count 1)
    ~KuPriorityScene() override;
    const char* typeStr() const override { return "KuPriorityScene"; }
};

class KuBaseScene : public KuRenderNode {
public:
    float heldTime = 0;  // _globalTime at which the down button's held event fires; 0: none due
    bool touchDefault = false;
    int32_t pendingButtonID = 0;  // stored by onButtonPushedID, delivered after the next update

    KuBaseScene();  // owned (count 1)
    ~KuBaseScene() override;
    const char* typeStr() const override { return "KuBaseScene"; }

    // >>scene switching
    // Makes scene current (currentScene takes over the caller's reference) and returns it: the
    // current scene is closed, released and the autorelease pool drained first; obj survives to
    // the next drain and is handed to the new scene's openSceneWithObject. Passing the current
    // scene closes and reopens it (no reference is handed over then).
    static KuBaseScene* newScene(KuBaseScene* scene, KuObject* obj);
    // Suspends the current scene (its newSceneObject(), when not null) and switches to scene.
    static KuBaseScene* pushScene(KuBaseScene* scene, KuObject* obj);
    static void pushSceneClass(KuBaseScene* scene, KuObject* obj);  // null scene: nothing
    // Reopens the top suspended scene with obj, or with its own object when obj is null. Nothing
    // with an empty stack.
    static void popScene(KuObject* obj);
    // Highest priority, later records winning ties; null for a null or empty array.
    static KuBaseScene* getTopScene(KuArray<KuPriorityScene*>* scenes);
    static KuPriorityScene* getTopPriorityScene(KuArray<KuPriorityScene*>* scenes);

    // >>per frame
    void updateDispatch(float dt);   // update, then a pending pushed-button id when current
    void update(float dt) override;  // held-button check, then the event manager
    // A window point (y down) as a screen point (y up).
    virtual KuPoint translateTouchLocation(KuPoint p);

    // >>hooks
    virtual KuBaseScene* newSceneObject() { return nullptr; }  // owned; a new, unopened scene
    virtual void openSceneWithObject(KuObject*) {}
    virtual void openSceneWithResumeState(KuObject*) {}
    // Releases the buttons and children and empties the event manager. Overrides call it last.
    virtual void closeScene();
    virtual bool isAppQuitOK() { return true; }
    virtual void appWillTerminate() {}
    virtual void appWillEnterBackground() {}
    virtual void appLowMemory() {}
    virtual void appWindowDidResize() {}
    virtual bool showWithCompletionBlock(std::function<void()> block);  // calls it at once
    virtual bool hideWithCompletionBlock(std::function<void()> block);  // calls it at once
    virtual bool touchBegan(KuPoint, int) { return false; }
    virtual bool touchMoved(KuPoint, int) { return false; }
    virtual bool touchEnded(KuPoint, int) { return false; }
    virtual bool touchCanceled(KuPoint, int) { return false; }
    virtual bool touchMotion(KuPoint, int) { return false; }
    virtual bool touchWheel(KuPoint, int) { return false; }
    virtual void keyScancode(int, int, const char*) {}
    virtual bool keyPressed(int, int) { return false; }
    virtual bool keyDown(int, int) { return false; }
    virtual bool keyUp(int, int) { return false; }
    virtual bool isKeyDown(int key);  // the application's answer
    virtual void joystickMotion(KuPoint, KuPoint) {}
    virtual void joystickButton(int, int) {}
    virtual KuPoint joystickPosition(int which);  // the application's answer
    virtual void handleButtonPushedID(int) {}
    virtual void onButtonDown(KuButton*) {}
    virtual void onButtonUp(KuButton*) {}
    virtual void onButtonHeld(KuButton*) {}
    virtual void onButtonPushed(KuButton*) {}
    virtual void onButtonDownID(int) {}
    virtual void onButtonUpID(int) {}
    virtual void onButtonHeldID(int) {}
    virtual void onButtonPushedID(int id) { pendingButtonID = id; }
    virtual void threadEnded(int) {}
    virtual void onGameServiceLogin(bool) {}
};

extern KuBaseScene* currentScene;                // owns one reference
extern KuArray<PushedScene*>* pushedSceneStack;  // created on first push; last element on top

// Scene time, advanced by a concrete scene's update when it wants it.
extern double _gameTime;
extern float _frameTime;
// The application clock: seconds accumulated by the application's frame step.
extern double _globalTime;
