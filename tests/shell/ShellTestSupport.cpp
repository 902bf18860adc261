#include "ShellTestSupport.h"

#include <SDL_syswm.h>
#include <epoxy/gl.h>
#ifdef TANSY_TEST_HAVE_X11
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#endif

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "KuEventManager.h"
#include "KuFile.h"
#include "KuGraphics.h"
#include "KuLog.h"
#include "KuUserPrefs.h"
#include "RvOpenGL.h"

namespace {

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* fmt, ...) {
    char buffer[512];
    va_list args;
    va_start(args, fmt);
    vsnprintf(buffer, sizeof buffer, fmt, args);
    va_end(args);
    return buffer;
}

std::string pointText(KuPoint p) {
    return format("%g,%g", p.x, p.y);
}

// The temporary library folder, made before any test and removed when the binary ends. Children
// forked by the failure tests end through exit(), which also runs this environment's destructor:
// only the process that made the folder removes it.
class ShellEnvironment : public ::testing::Environment {
public:
    std::string path;
    pid_t owner = getpid();
    ShellEnvironment() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tansy-shell-XXXXXX").string();
        if (mkdtemp(pattern.data())) path = pattern;
    }
    ~ShellEnvironment() override {
        std::error_code ec;
        if (getpid() == owner && !path.empty()) std::filesystem::remove_all(path, ec);
    }
    void SetUp() override {
        setenv("XDG_DATA_HOME", path.c_str(), 1);
        KuSetCompanyAndProjectName(KuString::stringWithString("Mossbank"),
                                   KuString::stringWithString("Tansy"));
        KuAutoreleasePool::drainCurrentPool();
    }
};

ShellEnvironment* environment = nullptr;

ShellEnvironment& shellEnvironment() {
    if (!environment) {
        environment = new ShellEnvironment;
        ::testing::AddGlobalTestEnvironment(environment);  // gtest owns it from here
    }
    return *environment;
}

[[maybe_unused]] const bool registered = (shellEnvironment(), true);

}  // namespace

const std::string& shellDataHome() {
    return shellEnvironment().path;
}

std::string shellLibraryFolder() {
    KuString* folder = KuLibraryFolder();
    return folder ? folder->c_str() : "";
}

namespace {
// SDL unloads the OpenGL driver at SDL_Quit and loads it again at the next start. Memory the driver
// keeps for the process would then be reported from an unknown module, past the leak checker's
// driver suppressions; pinned, the driver stays mapped and its allocations keep their names.
void pinGraphicsDrivers() {
    dl_iterate_phdr(
        [](struct dl_phdr_info* info, size_t, void*) {
            const char* name = info->dlpi_name;
            if (name &&
                (std::strstr(name, "_dri.so") || std::strstr(name, "gallium") || std::strstr(name, "mesa")))
                dlopen(name, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
            return 0;
        },
        nullptr);
}
}  // namespace

// >>recording scene

RecordingScene::~RecordingScene() = default;

void RecordingScene::write(const std::string& line) {
    if (journal) journal->push_back(line);
}

bool RecordingScene::isAppQuitOK() {
    quitQuestions++;
    write(quitAnswer ? "isAppQuitOK yes" : "isAppQuitOK no");
    return quitAnswer;
}

void RecordingScene::appWillTerminate() {
    write("scene appWillTerminate");
    if (onTerminate) onTerminate();
}

bool RecordingScene::touchBegan(KuPoint p, int id) {
    write("touchBegan " + pointText(p) + " " + std::to_string(id));
    return false;
}
bool RecordingScene::touchMoved(KuPoint p, int id) {
    write("touchMoved " + pointText(p) + " " + std::to_string(id));
    return false;
}
bool RecordingScene::touchEnded(KuPoint p, int id) {
    write("touchEnded " + pointText(p) + " " + std::to_string(id));
    return false;
}
bool RecordingScene::touchMotion(KuPoint p, int id) {
    write("touchMotion " + pointText(p) + " " + std::to_string(id));
    return false;
}
bool RecordingScene::touchWheel(KuPoint p, int id) {
    write("touchWheel " + pointText(p) + " " + std::to_string(id));
    return false;
}
void RecordingScene::keyScancode(int scancode, int key, const char* name) {
    write(format("keyScancode %d %d %s", scancode, key, name ? name : "(null)"));
}
bool RecordingScene::keyPressed(int key, int modifiers) {
    write(format("keyPressed %d %d", key, modifiers));
    return false;
}
bool RecordingScene::keyDown(int key, int modifiers) {
    write(format("keyDown %d %d", key, modifiers));
    return false;
}
bool RecordingScene::keyUp(int key, int modifiers) {
    write(format("keyUp %d %d", key, modifiers));
    return false;
}
void RecordingScene::joystickMotion(KuPoint left, KuPoint right) {
    write("joystickMotion " + pointText(left) + " " + pointText(right));
}
void RecordingScene::joystickButton(int button, int down) {
    write(format("joystickButton 0x%x %d", button, down));
}

// >>application

ShellTestApp::~ShellTestApp() {
    for (KuString* s : receivedArgs)
        KuRelease(s);
}

RecordingScene* ShellTestApp::scene() const {
    return dynamic_cast<RecordingScene*>(currentScene);
}

bool ShellTestApp::initWithOptions(KuDictionary* options) {
    optionsWereNull = options == nullptr;
    if (options) {
        auto* args = static_cast<KuArray<KuString*>*>(options->objectForKey("args"));
        if (args)
            for (KuString* s : *args) {
                KuRetain(s);
                receivedArgs.push_back(s);
            }
    }
    if (!createCanvas(windowSize, KuPoint{0, 0}, windowSize, canvasFlags)) return false;
    pinGraphicsDrivers();
    RecordingScene* s = new RecordingScene;
    s->journal = &journal;
    KuBaseScene::newScene(s, nullptr);
    return true;
}

bool ShellTestApp::isAppQuitOK() {
    return currentScene ? currentScene->isAppQuitOK() : true;
}

void ShellTestApp::update(float dt) {
    frame++;
    timeSteps.push_back(dt);
    if (currentScene) currentScene->updateDispatch(dt);
    if (script) script(*this, frame);
    if (frame >= maxFrames) {
        ADD_FAILURE() << "the test's script did not quit within " << maxFrames << " frames";
        quitRequested = true;
    }
}

void ShellTestApp::render() {
    KuGraphicsRenderer* renderer = KuGraphics::SharedObject()->renderer;
    if (!renderer->beginPass(clearColor)) return;
    KuPoint size = renderer->getRenderTargetSize();
    projectionMatrix = orthoProjection(size.x, size.y);
    if (currentScene) currentScene->render();
    renderer->endPass();
}

void ShellTestApp::appWillTerminate() {
    pinGraphicsDrivers();  // drawing may have loaded more of the driver
    journal.push_back("app appWillTerminate");
    // The scene's drawables go while the graphics layer still stands.
    KuBaseScene::newScene(nullptr, nullptr);
}

void ShellTestApp::appLowMemory() {
    journal.push_back("appLowMemory");
    if (onLowMemory) onLowMemory();
}

void ShellTestApp::dropFile(KuString* path) {
    journal.push_back(std::string("dropFile ") + (path ? path->c_str() : "(null)") +
                      (path == KUSTR_EMPTY ? " (shared empty)" : ""));
}

int ShellTestApp::run(const std::vector<std::string>& args) {
    std::vector<std::string> all{"tansy-shell-test"};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    return initMain(static_cast<int>(all.size()), argv.data());
}

// >>fixture

void ShellTest::SetUp() {
    KuPoolTest::SetUp();
    shellDataHome();
    poolDepth = KuAutoreleasePool::stackDepth();
    // Frames are presented right after each step, so what a step sees on screen is known.
    defaultPrefs->setBool("useSynchronousOpenGL", true);
}

void ShellTest::TearDown() {
    KuBaseScene::newScene(nullptr, nullptr);
    KuRelease(eventManager);
    eventManager = nullptr;
    KuGraphics::Terminate();
    SDL_Quit();
    // Each start-up pushes a pool of its own; give them back so later tests start alike.
    while (KuAutoreleasePool::stackDepth() > poolDepth && KuAutoreleasePool::stackDepth() > 1)
        KuAutoreleasePool::popPool();
    KuPoolTest::TearDown();
}

// >>quads

ColorQuad::ColorQuad(KuPoint size, KuColor color) {
    _color = color;
    drawable = new KuGraphicsDrawable;
    drawable->initWithShader(solidShaderProgram->shader, kKuMeshTriangleStrip);
    _Quad2f corners{{{0, 0}, {size.x, 0}, {0, size.y}, {size.x, size.y}}};
    _Quad2f coords{{{0, 0}, {1, 0}, {0, 1}, {1, 1}}};
    drawable->writeQuads(&corners, &coords, 1, nullptr, 0);
}

ColorQuad* ColorQuad::make(KuPoint at, KuPoint size, KuColor color) {
    ColorQuad* q = KuAutorelease(new ColorQuad(size, color));
    q->position(at);
    return q;
}

void ColorQuad::render() {
    if (_hidden) return;
    preRender();
    drawable->setShaderMatrix("modelViewProj", *KuProjectTopMatrix());
    drawable->setShaderColor("color", _color);
    drawable->update();
    drawable->draw();
    postRender();
}

KuMatrix orthoProjection(float width, float height) {
    KuMatrix m = KuMatrixIdentity();
    m.m[0] = 2 / width;
    m.m[5] = 2 / height;
    m.m[12] = -1;
    m.m[13] = -1;
    return m;
}

// >>pixels

namespace {

#ifdef TANSY_TEST_HAVE_X11
// What the X server shows in the window: a GL front buffer is not always readable after a swap
// (software drivers present with an image copy), but the window's contents always are.
bool x11WindowPixel(SDL_Window* window, int x, int y, Pixel* out) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return false;
    Display* display = info.info.x11.display;
    int width = 0, height = 0;
    SDL_GetWindowSize(window, &width, &height);
    XSync(display, False);
    XImage* image = XGetImage(display, info.info.x11.window, x, height - 1 - y, 1, 1, AllPlanes, ZPixmap);
    if (!image) return true;  // counted as unreadable
    unsigned long value = XGetPixel(image, 0, 0);
    auto channel = [value](unsigned long mask) {
        if (!mask) return 255;
        int shift = 0;
        while (!(mask & 1)) {
            mask >>= 1;
            shift++;
        }
        return static_cast<int>(((value >> shift) & mask) * 255 / mask);
    };
    *out = {channel(image->red_mask), channel(image->green_mask), channel(image->blue_mask), 255};
    XDestroyImage(image);
    return true;
}
#endif

}  // namespace

Pixel windowPixel(int x, int y) {
    Pixel p{-1, -1, -1, -1};
    RvRenderer* renderer = KuSharedRvRenderer();
    SDL_Window* window = app ? app->windowHandle() : nullptr;
    if (!renderer || !window) return p;
#ifdef TANSY_TEST_HAVE_X11
    if (x11WindowPixel(window, x, y, &p)) return p;
#endif
    RvOpenGLRendererLock(renderer);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    GLboolean doubleBuffered = GL_FALSE;
    glGetBooleanv(GL_DOUBLEBUFFER, &doubleBuffered);
    // After a swap the back buffer is undefined: a double-buffered window shows its front buffer.
    glReadBuffer(doubleBuffered ? GL_FRONT : GL_BACK);
    if (glGetError() != GL_NO_ERROR) glReadBuffer(GL_FRONT);
    unsigned char bytes[4] = {0, 0, 0, 0};
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, bytes);
    if (glGetError() == GL_NO_ERROR) p = {bytes[0], bytes[1], bytes[2], bytes[3]};
    RvOpenGLRendererUnlock(renderer);
    return p;
}

std::string describe(const Pixel& p) {
    return format("(%d, %d, %d, %d)", p[0], p[1], p[2], p[3]);
}

// >>events

namespace {
// The scancodes of a US keyboard for the keys the tests press; the X server's keymap may differ.
SDL_Scancode scancodeOf(SDL_Keycode key) {
    if (key >= SDLK_a && key <= SDLK_z) return static_cast<SDL_Scancode>(SDL_SCANCODE_A + (key - SDLK_a));
    switch (key) {
    case SDLK_BACKSPACE:
        return SDL_SCANCODE_BACKSPACE;
    case SDLK_DELETE:
        return SDL_SCANCODE_DELETE;
    case SDLK_RETURN:
        return SDL_SCANCODE_RETURN;
    case SDLK_ESCAPE:
        return SDL_SCANCODE_ESCAPE;
    case SDLK_LEFT:
        return SDL_SCANCODE_LEFT;
    default:
        return SDL_SCANCODE_UNKNOWN;
    }
}
}  // namespace

SDL_Event mouseButton(bool down, int button, int x, int y, bool fromTouch) {
    SDL_Event e{};
    e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    e.button.button = static_cast<uint8_t>(button);
    e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.button.x = x;
    e.button.y = y;
    e.button.which = fromTouch ? SDL_TOUCH_MOUSEID : 0;
    return e;
}

SDL_Event mouseMotion(int x, int y, uint32_t buttons, bool fromTouch) {
    SDL_Event e{};
    e.type = SDL_MOUSEMOTION;
    e.motion.x = x;
    e.motion.y = y;
    e.motion.state = buttons;
    e.motion.which = fromTouch ? SDL_TOUCH_MOUSEID : 0;
    return e;
}

SDL_Event mouseWheel(int dx, int dy) {
    SDL_Event e{};
    e.type = SDL_MOUSEWHEEL;
    e.wheel.x = dx;
    e.wheel.y = dy;
    return e;
}

SDL_Event keyEvent(bool down, SDL_Keycode key, uint16_t modifiers, bool repeat) {
    SDL_Event e{};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.repeat = repeat ? 1 : 0;
    e.key.keysym.sym = key;
    e.key.keysym.scancode = scancodeOf(key);
    e.key.keysym.mod = modifiers;
    return e;
}

SDL_Event textEvent(const char* text) {
    SDL_Event e{};
    e.type = SDL_TEXTINPUT;
    snprintf(e.text.text, sizeof e.text.text, "%s", text);
    return e;
}

SDL_Event windowEvent(uint8_t which, int a, int b) {
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.event = which;
    e.window.data1 = a;
    e.window.data2 = b;
    return e;
}

SDL_Event controllerAxis(int axis, int value) {
    SDL_Event e{};
    e.type = SDL_CONTROLLERAXISMOTION;
    e.caxis.axis = static_cast<uint8_t>(axis);
    e.caxis.value = static_cast<int16_t>(value);
    return e;
}

SDL_Event plainEvent(uint32_t type) {
    SDL_Event e{};
    e.type = type;
    return e;
}

void push(const SDL_Event& event) {
    SDL_Event copy = event;
    if (SDL_PushEvent(&copy) != 1) ADD_FAILURE() << "SDL_PushEvent failed: " << SDL_GetError();
}
