// The SDL application.
//
// Sections: >>start-up  >>main loop  >>event dispatch  >>frame step  >>canvas  >>window
//           >>input state  >>shutdown
#include "KuSDLApp.h"

#include <cstdlib>
#include <ctime>
#include <functional>

#include "KuArray.h"
#include "KuBaseScene.h"
#include "KuEventManager.h"
#include "KuFile.h"
#include "KuGraphics.h"
#include "KuLayout.h"
#include "KuLog.h"
#include "KuRenderNode.h"
#include "KuUserPrefs.h"

const char* const kKuIdentityOrganisation = "com.mossbank.tansy";
const char* const kKuIdentityFolder = "MOSSBANK-ROOMEDIT-DEVICEID";

namespace {

constexpr uint32_t kSDLInitFlags = 0x7231;  // timer, audio, video, joystick, haptic, controller, events
constexpr int kTouchMouseOffset = 32;
constexpr int kJoystickButtonBase = 0x4000;
constexpr int kLeftTriggerButton = 0x4011;
constexpr int kRightTriggerButton = 0x4010;
constexpr int kEitherControl = 192;
constexpr int kEitherShift = 0x2003;
constexpr int kControllerButtonX = 0x4002;
constexpr float kNoPosition = -1234567;

SDL_Cursor* lastCursor = nullptr;
int lastCursorID = -1;

KuGraphicsRenderer* sharedRenderer() {
    return KuGraphics::SharedObject()->renderer;
}

}  // namespace

// >>start-up

KuSDLApp::~KuSDLApp() = default;

int KuSDLApp::initMain(int argc, char** argv) {
    KuAutoreleasePool::initThreadPool();
    KuEnableLogfile(true);
    KuSetCompanyAndProjectName(KuString::stringWithString("Mossbank"), KuString::stringWithString("Tansy"));
    KuBuildVersion(2, 0, 0);
    defaultPrefs->setInt("booted", static_cast<int>(std::time(nullptr)));
    defaultPrefs->sync();
    KuAddDefaultResourcePath();

    if (!initOnce()) return 1;

    KuDictionary* options = nullptr;
    if (argc >= 2 && argv) {
        KuArray<KuString*>* args = KuArray<KuString*>::array();
        for (int i = 1; i < argc; i++)
            args->addObject(argv[i] && *argv[i] ? KuString::stringWithString(argv[i]) : KUSTR_EMPTY);
        options = KuDictionary::dictionary();
        options->addKeyObject("args", args);
    }
    if (!initWithOptions(options)) return 1;

    textScreenScaling = defaultPrefs->getFloat("textScreenScaling", 1.0f);
    frameDelay = defaultPrefs->getInt("frameDelay", 10);
    SDL_EventState(SDL_TEXTEDITING, SDL_DISABLE);
    windowHasFocus = true;
    quitRequested = false;

    // >>main loop
    // Every pending event is handled before the next frame step.
    for (;;) {
        SDL_Event event;
        while (SDL_PollEvent(&event)) {
            if (renderGuiCallback) uiProcessEvent(event);
            dispatchEvent(event);
        }
        KuGraphicsRenderer* renderer = sharedRenderer();
        if (renderer)
            renderer->runSyncedToDisplay([this] { updateFrame(); });
        else
            updateFrame();
        if (quitRequested) {
            quitOnce();
            return 0;
        }
    }
}

bool KuSDLApp::initOnce() {
    if (SDL_Init(kSDLInitFlags) != 0) {
        KuError("Unable to init SDL: %s", SDL_GetError());
        return false;
    }
    SDL_version linked;
    SDL_GetVersion(&linked);
    KuLog("SDL version %d.%d.%d", linked.major, linked.minor, linked.patch);
    KuRelease(controllerName);
    controllerName = nullptr;
    initController();

    // The installation's identifier lives in its own enciphered store beside the user's folders.
    char* folder = SDL_GetPrefPath(kKuIdentityOrganisation, kKuIdentityFolder);
    if (folder) {
        KuString* path = KuString::stringWithFormat("%s/db.sqlite", folder);
        SDL_free(folder);
        KuUserPrefs* store = new KuUserPrefs(path, true);
        store->setKey(reinterpret_cast<const unsigned char*>(2));
        KuString* seed = store->getString("seed");
        if (!seed) {
            seed = KuString::stringWithRandomIdentifier(1, 20);
            store->setString("seed", seed);
            store->sync();
        }
        KuDeviceIdentifier(seed);
        KuLog("guid: %@", seed);
        KuRelease(store);
    }
    return KuBaseApp::initOnce();
}

void KuSDLApp::initController() {
    // At most one of each is open: a new walk (a device was added) starts from nothing.
    if (controller) SDL_GameControllerClose(controller);
    if (joystick) SDL_JoystickClose(joystick);
    controller = nullptr;
    joystick = nullptr;
    KuRelease(controllerName);
    controllerName = nullptr;
    int count = SDL_NumJoysticks();
    for (int i = 0; i < count; i++) {
        if (SDL_IsGameController(i)) {
            SDL_GameController* opened = SDL_GameControllerOpen(i);
            if (opened) {
                controller = opened;
                const char* name = SDL_GameControllerName(opened);
                KuSetRetained(controllerName, KuString::stringWithString(name ? name : ""));
                KuLogFile("Using controller: %s", name ? name : "");
                SDL_GameControllerEventState(SDL_ENABLE);
                break;
            }
            KuWarning("Failed: %s", SDL_GetError());
            KuSetRetained(controllerName, KuString::stringWithString("FAILED"));
            continue;
        }
        SDL_Joystick* opened = SDL_JoystickOpen(i);
        if (!opened) continue;
        if (SDL_JoystickNumAxes(opened) > 2) {
            joystick = opened;
            const char* name = SDL_JoystickName(opened);
            KuSetRetained(controllerName, KuString::stringWithString(name ? name : ""));
            KuLogFile("Using joystick: %s", name ? name : "");
            break;
        }
        SDL_JoystickClose(opened);
    }
    if (!controllerName) KuSetRetained(controllerName, KuString::stringWithString("NONE"));
}

// >>event dispatch

void KuSDLApp::dispatchEvent(const SDL_Event& event) {
    switch (event.type) {
    case SDL_QUIT:
        if (!ignoreQuitEvents && isAppQuitOK()) quitRequested = true;
        break;
    case SDL_APP_LOWMEMORY:
        appLowMemory();
        break;
    case SDL_APP_WILLENTERBACKGROUND:
        appWillEnterBackground();
        break;
    case SDL_WINDOWEVENT:
        switch (event.window.event) {
        case SDL_WINDOWEVENT_MOVED:
            _windowMoved();
            break;
        case SDL_WINDOWEVENT_RESIZED:
            _windowResized();
            break;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
            windowHasFocus = true;
            appWindowFocus(true);
            break;
        case SDL_WINDOWEVENT_FOCUS_LOST:
            windowHasFocus = false;
            appWindowFocus(false);
            break;
        default:
            break;
        }
        break;
    case SDL_KEYDOWN:
        if (!uiWantsKeyboard() && windowHasFocus) keyDownEvent(event.key);
        break;
    case SDL_KEYUP:
        if (!uiWantsKeyboard() && windowHasFocus && !event.key.repeat)
            keyUp(event.key.keysym.sym, event.key.keysym.mod);
        break;
    case SDL_TEXTINPUT:
        if (!uiWantsKeyboard() && textInputActive && windowHasFocus)
            keyPressed(static_cast<signed char>(event.text.text[0]), 0);
        break;
    case SDL_MOUSEMOTION: {
        if (uiWantsMouse()) break;
        int offset = event.motion.which == SDL_TOUCH_MOUSEID ? kTouchMouseOffset : 0;
        KuPoint p{static_cast<float>(event.motion.x), static_cast<float>(event.motion.y)};
        if (event.motion.state & SDL_BUTTON_LMASK)
            touchMoved(p, 1 + offset);
        else if (event.motion.state & SDL_BUTTON_RMASK)
            touchMoved(p, 2 + offset);
        else
            touchMotion(p, offset);
        break;
    }
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        if (uiWantsMouse()) break;
        int id = 0;
        if (event.button.button == SDL_BUTTON_LEFT)
            id = 1;
        else if (event.button.button == SDL_BUTTON_RIGHT)
            id = 2;
        else if (event.button.button == SDL_BUTTON_MIDDLE)
            id = 4;
        if (id == 0) break;
        if (event.button.which == SDL_TOUCH_MOUSEID) id += kTouchMouseOffset;
        KuPoint p{static_cast<float>(event.button.x), static_cast<float>(event.button.y)};
        if (event.type == SDL_MOUSEBUTTONDOWN)
            touchBegan(p, id);
        else
            touchEnded(p, id);
        break;
    }
    case SDL_MOUSEWHEEL:
        if (uiWantsMouse() || (event.wheel.x == 0 && event.wheel.y == 0)) break;
        touchWheel(KuPoint{static_cast<float>(event.wheel.x), static_cast<float>(event.wheel.y)}, 0);
        break;
    case SDL_JOYAXISMOTION:
        if (!controller) axisEvent(event.jaxis.axis, event.jaxis.value);
        break;
    case SDL_CONTROLLERAXISMOTION:
        axisEvent(event.caxis.axis, event.caxis.value);
        break;
    case SDL_JOYBUTTONDOWN:
    case SDL_JOYBUTTONUP:
        if (!controller)
            joystickButton(kJoystickButtonBase + event.jbutton.button,
                           event.type == SDL_JOYBUTTONDOWN ? 1 : 0);
        break;
    case SDL_CONTROLLERBUTTONDOWN:
    case SDL_CONTROLLERBUTTONUP:
        joystickButton(kJoystickButtonBase + event.cbutton.button,
                       event.type == SDL_CONTROLLERBUTTONDOWN ? 1 : 0);
        break;
    case SDL_JOYDEVICEADDED:
        initController();
        break;
    case SDL_DROPFILE: {
        char* file = event.drop.file;
        dropFile(file && *file ? KuString::stringWithString(file) : KUSTR_EMPTY);
        SDL_free(file);
        break;
    }
    default:
        break;
    }
}

void KuSDLApp::keyDownEvent(const SDL_KeyboardEvent& event) {
    int key = event.keysym.sym;
    int m = event.keysym.mod;
    if (textInputActive) {
        switch (key) {
        case SDLK_BACKSPACE:
        case SDLK_DELETE:
            keyPressed(SDLK_DELETE, m);
            break;
        case SDLK_RETURN:
        case SDLK_ESCAPE:
        case SDLK_UP:
        case SDLK_DOWN:
        case SDLK_LEFT:
        case SDLK_RIGHT:
            keyPressed(key, m);
            break;
        case SDLK_v:
            if (m & KMOD_LGUI) keyPressed(SDLK_v, KMOD_GUI);
            break;
        default:
            break;
        }
    }
    if (event.repeat) return;
    keyScancode(event.keysym.scancode, key, SDL_GetScancodeName(event.keysym.scancode));
    keyDown(key, m);
}

void KuSDLApp::axisEvent(int axis, int value) {
    float v = static_cast<float>(value);
    switch (axis) {
    case 0:
        leftStick.x = v;
        break;
    case 1:
        leftStick.y = v;
        break;
    case 2:
        rightStick.x = v;
        break;
    case 3:
        rightStick.y = v;
        break;
    case 4:
        if (value == 32767 && leftTrigger == 0) {
            leftTrigger = 1;
            joystickButton(kLeftTriggerButton, 1);
        } else if (value != 32767 && leftTrigger == 1) {
            leftTrigger = 0;
            joystickButton(kLeftTriggerButton, 0);
        }
        break;
    case 5:
        if (value == 32767 && rightTrigger == 0) {
            rightTrigger = 1;
            joystickButton(kRightTriggerButton, 1);
        } else if (value != 32767 && rightTrigger == 1) {
            rightTrigger = 0;
            joystickButton(kRightTriggerButton, 0);
        }
        break;
    default:
        break;
    }
    joystickMotion(leftStick, rightStick);
}

void KuSDLApp::_windowMoved() {
    if (isWindowFullscreen() || !sdlWindow) return;
    int x = 0, y = 0;
    SDL_GetWindowPosition(sdlWindow, &x, &y);
    if (x == 0 && y == 0) return;
    defaultPrefs->setPoint("windowPosition", KuPoint{static_cast<float>(x), static_cast<float>(y)});
}

void KuSDLApp::_windowResized() {
    if (!sdlWindow) return;
    int w = 0, h = 0;
    SDL_GetWindowSize(sdlWindow, &w, &h);
    KuSetWindowSize(KuPoint{static_cast<float>(w), static_cast<float>(h)});
    if (KuGraphicsRenderer* renderer = sharedRenderer()) renderer->windowDidResize();
    appWindowDidResize();
}

// >>frame step

void KuSDLApp::updateFrame() {
    KuGraphicsRenderer* renderer = sharedRenderer();
    bool visible = renderer ? renderer->windowWasRestored() : true;
    uint64_t now = ticksNow();
    if (!visible) {
        // A hidden window neither updates nor draws; its first frame back starts afresh.
        lastFrameTime = now;
        SDL_Delay(static_cast<Uint32>(frameDelay > 0 ? frameDelay : 0));
        return;
    }
    unsigned elapsedMs = static_cast<unsigned>(ticksToSeconds(now - lastFrameTime) * 1000.0 + 0.5);
    if (static_cast<unsigned>(frameDelay) > elapsedMs)
        SDL_Delay(static_cast<unsigned>(frameDelay) - elapsedMs);

    uint64_t start = ticksNow();
    double dt = ticksToSeconds(start - lastFrameTime);
    lastFrameTime = start;
    if (dt > 0.25) dt = 0.25;
    if (dt > 0.001) {
        framesPerSecond = 1.0 / dt;
        smoothedFramesPerSecond = 0.05 * (1.0 / dt) + 0.95 * smoothedFramesPerSecond;
    }
    _globalTime = static_cast<float>(_globalTime + dt);

    update(static_cast<float>(dt));

    if (renderer && renderer->beginFrame()) {
        KuMatrixStackReset();
        render();
        if (renderGuiCallback) uiRenderPass();
        renderer->endFrame();
    }
    KuAutoreleasePool::drainCurrentPool();
}

// >>canvas

bool KuSDLApp::createCanvas(KuPoint windowSize, KuPoint margin, KuPoint designSize, unsigned flags) {
    if (flags & kKuCanvasIgnoreQuit) ignoreQuitEvents = true;
    if (!defaultPrefs->getBool("windowMinimizeOnFocusLoss", false))
        SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");

    const KuPoint noPosition{kNoPosition, kNoPosition};
    KuPoint position = noPosition;
    KuPoint size = windowSize;
    if (!(flags & kKuCanvasFullscreen)) {
        position = defaultPrefs->getPoint("windowPosition", noPosition);
        size = defaultPrefs->getPoint("windowSize", windowSize);
    }
    int x = static_cast<int>(position.x), y = static_cast<int>(position.y);
    if (position == noPosition) x = y = SDL_WINDOWPOS_CENTERED;

    KuGraphics::PrepareWindowAttributes();
    uint32_t windowFlags = SDL_WINDOW_OPENGL | ((flags & kKuCanvasResizable) ? SDL_WINDOW_RESIZABLE : 0);
    sdlWindow =
        SDL_CreateWindow("Tansy", x, y, static_cast<int>(size.x), static_cast<int>(size.y), windowFlags);
    if (!sdlWindow) {
        KuFatalFunc("Unable to create SDL main window: %s", SDL_GetError());
        return false;
    }
    if (!KuGraphics::Initialize(defaultPrefs->getCString("renderer"), defaultPrefs->getInt("videoDevice", 0),
                                sdlWindow, static_cast<int>(flags)))
        return false;

    uiCreateContext(sdlWindow);
    KuSetLayout(size, KuRect{{margin.x, 0}, {0, margin.y}}, designSize);
    setWindowFullscreen((flags & kKuCanvasFullscreen) != 0);
    if (KuGraphicsRenderer* renderer = sharedRenderer()) renderer->videoBlank(KuColor{0, 0, 0, 0});
    KuCreateBuiltInShaders();
    return true;
}

void KuCreateBuiltInShaders() {
    KuDestroyBuiltInShaders();
    struct Program {
        int type;
        KuShader** global;
    } programs[] = {
        {1, &textureShaderProgram},
        {17, &textureColShaderProgram},
        {18, &textureMaskShaderProgram},
        {2, &solidShaderProgram},
        {3, &colorShaderProgram},
        {4, &blitShaderProgram},
        {5, &particleShaderProgram},
        {6, &postProcessLightingShaderProgram},
        {7, &postProcessDistortionShaderProgram},
        {8, &debugLinesShaderProgram},
        {20, &tintedVerbShaderProgram},
        {11, &flashBackSepiaShaderProgram},
        {19, &greyscaleShaderProgram},
        {14, &ghostRoomShaderProgram},
        {15, &ghostRoomSimpleShaderProgram},
        {16, &grassShaderProgram},
        {12, &egaShaderProgram},
        {13, &vhsShaderProgram},
    };
    for (const Program& p : programs)
        *p.global = new KuShader(p.type);
}

void KuDestroyBuiltInShaders() {
    // The line helpers draw with one of the programs: they go first.
    KuDestroyDrawHelpers();
    KuShader::destroyShaders();
    for (KuShader** global :
         {&textureShaderProgram, &textureColShaderProgram, &textureMaskShaderProgram, &solidShaderProgram,
          &colorShaderProgram, &blitShaderProgram, &particleShaderProgram, &postProcessLightingShaderProgram,
          &postProcessDistortionShaderProgram, &debugLinesShaderProgram, &tintedVerbShaderProgram,
          &flashBackSepiaShaderProgram, &greyscaleShaderProgram, &ghostRoomShaderProgram,
          &ghostRoomSimpleShaderProgram, &grassShaderProgram, &egaShaderProgram, &vhsShaderProgram})
        *global = nullptr;
}

// >>window

void KuSDLApp::setWindowTitle(const char* title) {
    if (title && sdlWindow) SDL_SetWindowTitle(sdlWindow, title);
}

bool KuSDLApp::setWindowFullscreen(bool on) {
    KuGraphicsRenderer* renderer = sharedRenderer();
    if (!renderer) return false;
    renderer->setFullScreen(on);
    return true;
}

bool KuSDLApp::isWindowFullscreen() {
    KuGraphicsRenderer* renderer = sharedRenderer();
    return renderer && renderer->isFullScreen();
}

bool KuSDLApp::setWindowSize(KuPoint size) {
    if (!sdlWindow) return false;
    SDL_SetWindowSize(sdlWindow, static_cast<int>(size.x), static_cast<int>(size.y));
    return true;
}

bool KuSDLApp::setWindowPosition(KuPoint position) {
    if (!sdlWindow) return false;
    SDL_SetWindowPosition(sdlWindow, static_cast<int>(position.x), static_cast<int>(position.y));
    return true;
}

KuPoint KuSDLApp::setWindowResize(KuPoint size) {
    if (sdlWindow) SDL_SetWindowSize(sdlWindow, static_cast<int>(size.x), static_cast<int>(size.y));
    KuSetWindowSize(size);
    appWindowDidResize();
    return size;
}

void KuSDLApp::destroyWindow() {
    if (sdlWindow) SDL_DestroyWindow(sdlWindow);
    sdlWindow = nullptr;
}

void KuSDLApp::startTextInput() {
    textInputActive = true;
    SDL_EventState(SDL_TEXTINPUT, SDL_ENABLE);
    SDL_EventState(SDL_TEXTEDITING, SDL_ENABLE);
    SDL_StartTextInput();
}

void KuSDLApp::stopTextInput() {
    textInputActive = false;
    SDL_StopTextInput();
    SDL_EventState(SDL_TEXTINPUT, SDL_DISABLE);
    SDL_EventState(SDL_TEXTEDITING, SDL_DISABLE);
}

KuString* KuSDLApp::getClipboard() {
    char* text = SDL_GetClipboardText();
    if (!text) return nullptr;
    KuString* result = *text ? KuString::stringWithString(text) : KUSTR_EMPTY;
    SDL_free(text);
    return result;
}

void KuSDLApp::setClipboard(KuString* text) {
    SDL_SetClipboardText(text && text->length ? text->c_str() : "");
}

void KuSDLApp::setCursor(int id) {
    if (lastCursor) SDL_FreeCursor(lastCursor);
    lastCursor = nullptr;
    lastCursorID = id;
    if (id == 0) {
        SDL_ShowCursor(SDL_DISABLE);
        return;
    }
    lastCursor = SDL_CreateSystemCursor(id == 2 ? SDL_SYSTEM_CURSOR_HAND : SDL_SYSTEM_CURSOR_ARROW);
    if (!lastCursor) {
        SDL_ShowCursor(SDL_DISABLE);
        return;
    }
    SDL_ShowCursor(SDL_ENABLE);
    SDL_SetCursor(lastCursor);
}

void KuSDLApp::showMessageBox(int type, const char* title, const char* text) {
    uint32_t flags = SDL_MESSAGEBOX_INFORMATION;
    const char* fallback = "Important Information";
    if (type == 2) {
        flags = SDL_MESSAGEBOX_WARNING;
        fallback = "Important Warning!";
    } else if (type == 3) {
        flags = SDL_MESSAGEBOX_ERROR;
        fallback = "Critical Error!";
    }
    // Without a display SDL reports the failure and returns; there is nothing more to do then.
    SDL_ShowSimpleMessageBox(flags, title ? title : fallback, text ? text : "", nullptr);
}

void KuSDLApp::delay(int ms) {
    SDL_Delay(static_cast<Uint32>(ms > 0 ? ms : 0));
}

void KuSDLApp::appRenderingFailure() {
    setCursor(1);
    KuFatalFunc("There is an possible issue with your OS displaying the game fullscreen. Restart the game "
                "and it should "
                "revert to a window.");
}

// >>input state

bool KuSDLApp::isKeyDown(int key) {
    if (uiWantsKeyboard()) return false;
    int count = 0;
    const Uint8* state = SDL_GetKeyboardState(&count);
    auto down = [&](SDL_Keycode k) {
        SDL_Scancode s = SDL_GetScancodeFromKey(k);
        return s > SDL_SCANCODE_UNKNOWN && s < count && state[s] != 0;
    };
    if (key == SDLK_SPACE) return down(SDLK_SPACE);
    if (key >= 'a' && key <= 'z') {
        int s = SDL_SCANCODE_A + (key - 'a');
        return s < count && state[s] != 0;
    }
    switch (key) {
    case SDLK_UP:
    case SDLK_DOWN:
    case SDLK_LEFT:
    case SDLK_RIGHT:
    case SDLK_LCTRL:
    case SDLK_RCTRL:
    case SDLK_LSHIFT:
    case SDLK_RSHIFT:
    case SDLK_LGUI:
    case SDLK_RGUI:
        return down(key);
    case kEitherControl:
        return down(SDLK_LCTRL) || down(SDLK_RCTRL);
    case kEitherShift:
        return down(SDLK_LSHIFT) || down(SDLK_RSHIFT);
    case kControllerButtonX:
        return controller && SDL_GameControllerGetButton(controller, SDL_CONTROLLER_BUTTON_X);
    default:
        return false;  // the Alt keys among them
    }
}

KuPoint KuSDLApp::joystickPosition(int which) {
    switch (which) {
    case 1:
        return leftStick;
    case 2:
        return rightStick;
    case kRightTriggerButton:
        return KuPoint{rightTrigger, rightTrigger};
    case kLeftTriggerButton:
        return KuPoint{leftTrigger, leftTrigger};
    default:
        return KuPoint{0, 0};
    }
}

// >>shutdown

void KuSDLApp::quitOnce() {
    if (hasQuit) return;
    hasQuit = true;
    struct Step {
        const char* name;
        std::function<void()> run;
    } steps[] = {
        {"Disable Live Object Tracking", [] { KuTrackLiveObjects(false, false); }},
        {"Shutdown Current Scene",
         [] {
             if (currentScene) currentScene->appWillTerminate();
         }},
        {"Shutdown Base App", [this] { KuBaseApp::quitOnce(); }},
        {"Shutdown Sound", [] {}},
        {"Shutdown Graphics",
         [] {
             KuDestroyBuiltInShaders();
             KuGraphics::Terminate();
         }},
        {"Shutdown Window", [this] { destroyWindow(); }},
        {"Shutdown Game Controller",
         [this] {
             if (controller) SDL_GameControllerClose(controller);
             controller = nullptr;
             if (joystick) SDL_JoystickClose(joystick);
             joystick = nullptr;
         }},
        {"Shutdown SDL",
         [] {
             if (lastCursor) SDL_FreeCursor(lastCursor);
             lastCursor = nullptr;
             SDL_Quit();
         }},
    };
    const double expected = 0.2;
    for (const Step& step : steps) {
        uint64_t start = ticksNow();
        step.run();
        double took = ticksToSeconds(ticksNow() - start);
        if (took > expected)
            KuLogFile("'%s' took %lgs to complete (expected < %lg).", step.name, took, expected);
    }
}

void KuSDLApp::quitNow() {
    static bool leaving = false;
    // A fatal error raised by the shutdown itself ends the process without a second shutdown.
    if (!leaving) {
        leaving = true;
        if (!defaultPrefs->getBool("fastQuit", false)) quitOnce();
    }
    std::exit(exitStatus);
}

void KuSDLApp::fatalError(const char* message) {
    // The process ends in failure from here on, whatever quits it.
    exitStatus = 1;
    if (defaultPrefs->getBool("debugErrorsToClipboard", false))
        setClipboard(KuString::stringWithString(message ? message : ""));
    KuDestroyBuiltInShaders();
    KuGraphics::Terminate();
    destroyWindow();
    showMessageBox(3, nullptr, message);
    quitNow();
}
