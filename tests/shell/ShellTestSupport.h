// Helpers of the application-shell tests: the real SDL application with a small scene that records
// what reaches it, a per-frame script run from inside the real main loop, coloured quad nodes, and
// pixels read back from the window's own framebuffer.
#pragma once

#include <SDL.h>

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "KuBaseScene.h"
#include "KuSDLApp.h"
#include "TestSupport.h"

// The library folder of the whole test binary: XDG_DATA_HOME points into a temporary folder and
// the company and project names are set, so the preference stores are usable before start-up.
const std::string& shellDataHome();
std::string shellLibraryFolder();  // where Prefs.json and Log.txt live, ending with "/"

// Writes what reaches it as lines: "touchBegan 10,80 1", "keyDown 97 1", ...
class RecordingScene : public KuBaseScene {
public:
    std::vector<std::string>* journal = nullptr;  // not owned
    bool quitAnswer = true;
    int quitQuestions = 0;
    std::function<void()> onTerminate;
    ~RecordingScene() override;
    bool isAppQuitOK() override;
    void appWillTerminate() override;
    bool touchBegan(KuPoint p, int id) override;
    bool touchMoved(KuPoint p, int id) override;
    bool touchEnded(KuPoint p, int id) override;
    bool touchMotion(KuPoint p, int id) override;
    bool touchWheel(KuPoint p, int id) override;
    void keyScancode(int scancode, int key, const char* name) override;
    bool keyPressed(int key, int modifiers) override;
    bool keyDown(int key, int modifiers) override;
    bool keyUp(int key, int modifiers) override;
    void joystickMotion(KuPoint left, KuPoint right) override;
    void joystickButton(int button, int down) override;

private:
    void write(const std::string& line);
};

// The real application: a canvas of `windowSize` (design size the same), a RecordingScene, and a
// script called at the end of every update with the frame's number (1 for the first).
class ShellTestApp : public KuSDLApp {
public:
    KuPoint windowSize{64, 48};
    unsigned canvasFlags = 0;
    KuColor clearColor{0, 0, 0, 1};
    std::vector<std::string> journal;
    std::vector<float> timeSteps;         // dt of every update
    std::vector<KuString*> receivedArgs;  // retained; released by the destructor
    bool optionsWereNull = false;
    int frame = 0;
    bool wantsMouse = false, wantsKeyboard = false;  // the UI's capture flags
    std::function<void(ShellTestApp&, int frame)> script;
    std::function<void()> onLowMemory;
    int maxFrames = 600;  // a runaway test quits on its own

    ~ShellTestApp() override;
    RecordingScene* scene() const;  // the current scene, when it is a RecordingScene

    bool initWithOptions(KuDictionary* options) override;
    bool isAppQuitOK() override;
    void update(float dt) override;
    void render() override;
    void appWillTerminate() override;
    void appLowMemory() override;
    void dropFile(KuString* path) override;
    bool uiWantsMouse() override { return wantsMouse; }
    bool uiWantsKeyboard() override { return wantsKeyboard; }

    int run(const std::vector<std::string>& args = {});  // initMain with a program name first
};

// Fixture: each test starts from an empty event manager and pool stack depth with synchronous
// presentation, and leaves no scene, window or SDL behind.
class ShellTest : public KuPoolTest {
protected:
    void SetUp() override;
    void TearDown() override;
    int poolDepth = 0;
};

// An axis-aligned rectangle of one colour from the node's origin to `size`, drawn with the solid
// program under the node's transform.
class ColorQuad : public KuRenderNode {
public:
    ColorQuad(KuPoint size, KuColor color);  // owned
    void render() override;
    static ColorQuad* make(KuPoint at, KuPoint size, KuColor color);  // autoreleased
};

using Pixel = std::array<int, 4>;
// The pixel at (x, y), y from the bottom, of what the window shows now (inside a frame step: the
// previous frame, which was shown before the step could start); {-1, -1, -1, -1} when it cannot
// be read.
Pixel windowPixel(int x, int y);
std::string describe(const Pixel& p);
KuMatrix orthoProjection(float width, float height);

// An SDL event of each kind the tests push.
SDL_Event mouseButton(bool down, int button, int x, int y, bool fromTouch = false);
SDL_Event mouseMotion(int x, int y, uint32_t buttons, bool fromTouch = false);
SDL_Event mouseWheel(int dx, int dy);
SDL_Event keyEvent(bool down, SDL_Keycode key, uint16_t modifiers, bool repeat = false);
SDL_Event textEvent(const char* text);
SDL_Event windowEvent(uint8_t which, int a = 0, int b = 0);
SDL_Event controllerAxis(int axis, int value);
SDL_Event plainEvent(uint32_t type);
void push(const SDL_Event& event);
