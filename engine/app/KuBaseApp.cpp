// The application base: defaults, forwarding to the current scene, and the bridges through which
// the lower layers reach the application.
#include "KuBaseApp.h"

#include <chrono>

#include "KuBaseScene.h"
#include "KuEventManager.h"
#include "KuGraphics.h"
#include "KuLog.h"
#include "KuUserPrefs.h"

KuBaseApp* app = nullptr;

// The lower layers know only small interfaces; these forward each question to the application.
struct KuBaseApp::Bridges {
    struct Log : KuLogHooks {
        KuBaseApp* owner = nullptr;
        int appReceivesWarning(const char* m) override { return owner->appReceivesWarning(m); }
        int appReceivesError(const char* m) override { return owner->appReceivesError(m); }
        void appReceivesFatal(const char* m) override { owner->appReceivesFatal(m); }
        void fatalError(const char* m) override { owner->fatalError(m); }
        void quitNow() override { owner->quitNow(); }
        void setWindowFullscreen(bool on) override { owner->setWindowFullscreen(on); }
    } log;
    struct Scene : KuSceneAppQueries {
        KuBaseApp* owner = nullptr;
        bool isKeyDown(int key) override { return owner->isKeyDown(key); }
        KuPoint joystickPosition(int which) override { return owner->joystickPosition(which); }
    } scene;
    struct Graphics : KuGraphicsAppHooks {
        KuBaseApp* owner = nullptr;
        void resetFrameDelta() override { owner->resetFrameTimer(); }
        void appRenderingFailure() override { owner->appRenderingFailure(); }
    } graphics;
};

namespace {
float applicationClock() {
    return static_cast<float>(_globalTime);
}
}  // namespace

KuBaseApp::KuBaseApp() : bridges(new Bridges) {
    if (!app) app = this;
    bridges->log.owner = bridges->scene.owner = bridges->graphics.owner = this;
    KuSetLogHooks(&bridges->log);
    KuSetSceneAppQueries(&bridges->scene);
    KuGraphics::SetAppHooks(&bridges->graphics);
    KuSetObjectClock(applicationClock);
    lastFrameTime = ticksNow();
}

KuBaseApp::~KuBaseApp() {
    if (KuGetLogHooks() == &bridges->log) KuSetLogHooks(nullptr);
    KuSetSceneAppQueries(nullptr);
    if (KuGraphics::AppHooks() == &bridges->graphics) KuGraphics::SetAppHooks(nullptr);
    KuSetObjectClock(nullptr);
    KuRelease(controllerName);
    controllerName = nullptr;
    if (app == this) app = nullptr;
    delete bridges;
}

uint64_t KuBaseApp::ticksNow() const {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

double KuBaseApp::ticksToSeconds(uint64_t ticks) const {
    return static_cast<double>(ticks) * timebaseNumer / (static_cast<double>(timebaseDenom) * 1e9);
}

bool KuBaseApp::initOnce() {
    KuAutoreleasePool::pushPool();
    if (!eventManager) eventManager = new KuEventManager;
    return true;
}

void KuBaseApp::quitOnce() {
    defaultPrefs->sync();
    privatePrefs->sync();
    appWillTerminate();
}

void KuBaseApp::setWindowTitle(KuString* title) {
    if (title) setWindowTitle(title->c_str());
}

void KuBaseApp::resetFrameTimer() {
    lastFrameTime = ticksNow();
}

void KuBaseApp::appWindowDidResize() {
    if (currentScene) currentScene->appWindowDidResize();
}

// >>input

void KuBaseApp::touchBegan(KuPoint p, int id) {
    if (currentScene) currentScene->touchBegan(currentScene->translateTouchLocation(p), id);
}

void KuBaseApp::touchMoved(KuPoint p, int id) {
    if (currentScene) currentScene->touchMoved(currentScene->translateTouchLocation(p), id);
}

void KuBaseApp::touchEnded(KuPoint p, int id) {
    if (currentScene) currentScene->touchEnded(currentScene->translateTouchLocation(p), id);
}

void KuBaseApp::touchCanceled(KuPoint p, int id) {
    if (currentScene) currentScene->touchCanceled(currentScene->translateTouchLocation(p), id);
}

void KuBaseApp::touchMotion(KuPoint p, int id) {
    if (currentScene) currentScene->touchMotion(currentScene->translateTouchLocation(p), id);
}

void KuBaseApp::touchWheel(KuPoint delta, int id) {
    if (currentScene) currentScene->touchWheel(delta, id);
}

void KuBaseApp::keyScancode(int scancode, int key, const char* name) {
    if (currentScene) currentScene->keyScancode(scancode, key, name);
}

void KuBaseApp::keyPressed(int key, int modifiers) {
    if (currentScene) currentScene->keyPressed(key, modifiers);
}

void KuBaseApp::keyDown(int key, int modifiers) {
    if (currentScene) currentScene->keyDown(key, modifiers);
}

void KuBaseApp::keyUp(int key, int modifiers) {
    if (currentScene) currentScene->keyUp(key, modifiers);
}

void KuBaseApp::joystickMotion(KuPoint left, KuPoint right) {
    if (currentScene) currentScene->joystickMotion(left, right);
}

void KuBaseApp::joystickButton(int button, int down) {
    if (currentScene) currentScene->joystickButton(button, down);
}
