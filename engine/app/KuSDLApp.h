// The application bound to SDL2: start-up, the window and the graphics layer, the event loop that
// turns SDL events into touches, keys, joystick calls and dropped files, frame pacing, and the
// timed shutdown. The immediate-mode UI joins through the ui* hooks.
#pragma once

#include "KuBaseApp.h"

// Device-identifier store: SDL's per-user preference folder for these two names holds "db.sqlite".
extern const char* const kKuIdentityOrganisation;  // reverse-domain form
extern const char* const kKuIdentityFolder;        // 26 characters: three groups of eight capitals

// createCanvas flags.
enum : unsigned {
    kKuCanvasResizable = 1,
    kKuCanvasFullscreen = 4,  // also ignores the stored position and size
    kKuCanvasIgnoreQuit = 8,
};

class KuSDLApp : public KuBaseApp {
public:
    KuSDLApp() = default;
    ~KuSDLApp() override;

    // Start-up, the main loop and shutdown; the process's exit status: 0 after a normal quit, 1
    // when start-up fails.
    int initMain(int argc, char** argv) override;
    // SDL, the controller, the device identifier, then the base's start-up.
    bool initOnce() override;
    // The eight timed shutdown steps; runs once.
    void quitOnce() override;
    // Shuts down (unless the preference "fastQuit") and ends the process: status 0, or 1 once a
    // fatal error has been reported.
    void quitNow() override;
    // Optionally copies the message to the clipboard, ends the graphics layer and the window, shows
    // the critical-error alert and quits.
    void fatalError(const char* message) override;
    void showMessageBox(int type, const char* title, const char* text) override;
    // Window of windowSize (or the stored "windowSize"/"windowPosition"), the graphics layer, the
    // layout, a blank first frame and the built-in shader programs. False (after the fatal error
    // "Unable to create SDL main window: %s") when the window cannot be made.
    bool createCanvas(KuPoint windowSize, KuPoint margin, KuPoint designSize, unsigned flags) override;
    void setWindowTitle(const char* title) override;
    using KuBaseApp::setWindowTitle;
    bool setWindowFullscreen(bool on) override;
    bool isWindowFullscreen() override;
    bool setWindowSize(KuPoint size) override;
    bool setWindowPosition(KuPoint position) override;
    KuPoint setWindowResize(KuPoint size) override;
    SDL_Window* windowHandle() override { return sdlWindow; }
    void startTextInput() override;
    void stopTextInput() override;
    KuString* getClipboard() override;  // null, KUSTR_EMPTY, or an autoreleased copy
    void setClipboard(KuString* text) override;
    void setCursor(int id) override;  // 0 hides, 2 hand, other arrow
    bool isKeyDown(int key) override;
    KuPoint joystickPosition(int which) override;
    void delay(int ms) override;
    void updateFrame() override;  // one paced frame: update, render, UI pass, drain
    void update(float) override {}
    void render() override {}
    void appRenderingFailure() override;

    virtual void initController();  // opens the first usable controller or joystick
    virtual void destroyWindow();

    // >>event loop pieces
    void dispatchEvent(const SDL_Event& event);  // one event, by the dispatch table
    void _windowMoved();
    void _windowResized();

    // >>immediate-mode UI integration (nothing until the UI is built)
    virtual bool uiWantsMouse() { return false; }
    virtual bool uiWantsKeyboard() { return false; }
    virtual void uiProcessEvent(const SDL_Event&) {}
    virtual void uiCreateContext(SDL_Window*) {}
    virtual void uiRenderPass() {}  // new frame, renderGuiCallback, draw data

    int exitStatus = 0;  // what quitNow ends the process with

private:
    void keyDownEvent(const SDL_KeyboardEvent& key);
    void axisEvent(int axis, int value);
    bool hasQuit = false;
};

// The built-in shader programs createCanvas makes; KuDestroyBuiltInShaders gives them back.
void KuCreateBuiltInShaders();
void KuDestroyBuiltInShaders();
