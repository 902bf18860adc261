// The application base: one object per process (the global `app`) owning the frame clock, the
// window handle, the input state and the hooks the platform layer calls. Input calls go to the
// current scene by default. KuSDLApp binds it to SDL.
#pragma once

#include <SDL.h>

#include <cstdint>

#include "KuDictionary.h"
#include "KuString.h"
#include "KuTypes.h"

class KuBaseApp {
public:
    // Registers itself as `app` (when none is) and installs its answers to the lower layers'
    // questions: log hooks, the scene's key and joystick queries, the graphics facade's hooks and
    // the object clock. The destructor removes what it installed.
    KuBaseApp();
    virtual ~KuBaseApp();
    KuBaseApp(const KuBaseApp&) = delete;
    KuBaseApp& operator=(const KuBaseApp&) = delete;

    // >>state
    uint64_t lastFrameTime = 0;                     // monotonic ticks of the last frame start
    uint32_t timebaseNumer = 1, timebaseDenom = 1;  // seconds = ticks x numer / (denom x 1e9)
    double framesPerSecond = 0;
    double smoothedFramesPerSecond = 0;
    void (*renderGuiCallback)() = nullptr;  // non-null: the immediate-mode UI is active
    SDL_Window* sdlWindow = nullptr;        // null after destroyWindow
    bool ignoreQuitEvents = false;
    bool textInputActive = false;
    bool windowHasFocus = true;
    SDL_Joystick* joystick = nullptr;
    SDL_GameController* controller = nullptr;
    KuPoint leftStick{0, 0}, rightStick{0, 0};  // raw axis values, -32768 to 32767
    float leftTrigger = 0, rightTrigger = 0;    // 0 or 1
    KuString* controllerName = nullptr;         // retained; "NONE", "FAILED" or the device's name
    int frameDelay = 0;                         // minimum frame period, ms
    bool quitRequested = false;
    float textScreenScaling = 1;  // preference "textScreenScaling", for the text sprites to read

    uint64_t ticksNow() const;  // monotonic ticks
    double ticksToSeconds(uint64_t ticks) const;

    // >>lifecycle
    virtual int initMain(int argc, char** argv) = 0;
    // Pushes an autorelease pool and creates the global event manager.
    virtual bool initOnce();
    virtual void quitOnce();  // syncs both preference stores, then appWillTerminate()
    virtual bool isAppQuitOK() { return true; }
    virtual void quitNow() {}
    virtual void fatalError(const char*) {}
    virtual bool createCanvas(KuPoint windowSize, KuPoint margin, KuPoint designSize, unsigned flags) = 0;
    virtual void setWindowTitle(KuString* title);  // null: nothing
    virtual void setWindowTitle(const char*) {}
    virtual bool setWindowFullscreen(bool) { return false; }
    virtual bool setWindowSize(KuPoint) { return false; }
    virtual bool setWindowPosition(KuPoint) { return false; }
    virtual bool isWindowFullscreen() { return false; }
    virtual KuPoint setWindowResize(KuPoint) { return KuPoint{0, 0}; }
    virtual SDL_Window* windowHandle() { return nullptr; }
    virtual int appReceivesWarning(const char*) { return 0; }  // 1: handled
    virtual int appReceivesError(const char*) { return 0; }    // 1: handled
    virtual void appReceivesFatal(const char*) {}
    virtual void dropFile(KuString*) {}
    virtual KuString* getClipboard() { return nullptr; }
    virtual void setClipboard(KuString*) {}
    virtual void setCursor(int) {}
    virtual void startTextInput() {}
    virtual void stopTextInput() {}
    virtual KuString* textInput() { return nullptr; }
    virtual bool initWithOptions(KuDictionary*) { return true; }
    virtual void resetFrameTimer();  // lastFrameTime = now
    virtual void updateFrame() = 0;
    virtual void update(float dt) = 0;
    virtual void render() = 0;
    virtual void delay(int) {}
    virtual void appWillTerminate() {}
    virtual void appWillEnterBackground() {}
    virtual void appLowMemory() {}
    virtual void appRenderingFailure() {}
    virtual void appWindowDidResize();  // the current scene's
    virtual void appWindowFocus(bool) {}
    virtual void showMessageBox(int, const char*, const char*) {}
    virtual void soundEnded(int, int) {}

    // >>input, forwarded to the current scene (nothing without one)
    // Touch points are window points; the scene's translateTouchLocation maps them first.
    virtual void touchBegan(KuPoint p, int id);
    virtual void touchMoved(KuPoint p, int id);
    virtual void touchEnded(KuPoint p, int id);
    virtual void touchCanceled(KuPoint p, int id);
    virtual void touchMotion(KuPoint p, int id);
    virtual void touchWheel(KuPoint delta, int id);  // unconverted
    virtual void keyScancode(int scancode, int key, const char* name);
    virtual void keyPressed(int key, int modifiers);
    virtual void keyDown(int key, int modifiers);
    virtual void keyUp(int key, int modifiers);
    virtual bool isKeyDown(int) { return false; }
    virtual KuPoint joystickPosition(int) { return KuPoint{0, 0}; }
    virtual void joystickMotion(KuPoint left, KuPoint right);
    virtual void joystickButton(int button, int down);
    virtual void gameStep() {}
    virtual void gameHalted(bool) {}
    virtual void gameError(const char*, int) {}
    virtual bool isGameHalted() { return false; }
    virtual bool gameHasError() { return false; }
    virtual int inputState() { return 0; }
    virtual int inputState(int) { return 0; }

private:
    struct Bridges;
    Bridges* bridges;  // adapters the lower layers call back through
};

extern KuBaseApp* app;
