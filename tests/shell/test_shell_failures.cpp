// Failure paths of the application: a window that cannot be made fails the start-up with the
// system's message and a non-zero exit, an alert that cannot be shown (no display) neither hangs
// nor crashes the shutdown, and quitNow honours "fastQuit".
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "../core/ChildProcess.h"
#include "KuLog.h"
#include "KuUserPrefs.h"
#include "ShellTestSupport.h"

namespace {

// Sets an environment variable (null: unsets it) for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        const char* old = getenv(name);
        had_ = old != nullptr;
        if (had_) old_ = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv() {
        if (had_)
            setenv(name_.c_str(), old_.c_str(), 1);
        else
            unsetenv(name_.c_str());
    }

private:
    std::string name_, old_;
    bool had_ = false;
};

class ShellFailures : public ShellTest {};

TEST_F(ShellFailures, AWindowThatCannotBeMadeFailsTheStartUp) {
    // SDL's dummy video driver has no OpenGL, so the window cannot be created.
    ScopedEnv driver("SDL_VIDEODRIVER", "dummy");
    KuSetIgnoreAlerts(true);
    ShellTestApp app;
    app.script = [](ShellTestApp& a, int) { a.quitRequested = true; };
    testing::internal::CaptureStdout();
    int status = app.run();
    std::string printed = testing::internal::GetCapturedStdout();
    KuSetIgnoreAlerts(false);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(app.frame, 0) << "no frame runs";
    EXPECT_NE(printed.find("Unable to create SDL main window: "), std::string::npos) << printed;
    EXPECT_EQ(app.sdlWindow, nullptr);
}

TEST_F(ShellFailures, TheFatalErrorEndsTheProcessInFailureWithoutADisplayForItsAlert) {
    ChildOutcome outcome = runInChild([] {
        alarm(60);  // a hang ends the child with SIGALRM instead of stalling the suite
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        ShellTestApp app;
        app.script = [](ShellTestApp& a, int) { a.quitRequested = true; };
        int status = app.run();
        printf("initMain returned %d\n", status);  // not reached: the fatal error quits
    });
    EXPECT_TRUE(outcome.exited) << "ended by signal " << outcome.signal << "\n" << outcome.output;
    EXPECT_EQ(outcome.exitCode, 1) << outcome.output;
    EXPECT_NE(outcome.output.find("Unable to create SDL main window: "), std::string::npos) << outcome.output;
    EXPECT_EQ(outcome.output.find("initMain returned"), std::string::npos) << outcome.output;
}

TEST_F(ShellFailures, QuitNowShutsDownUnlessFastQuitIsSet) {
    struct Row {
        bool fastQuit;
        bool shutsDown;
    } rows[] = {{false, true}, {true, false}};
    for (const Row& r : rows) {
        ChildOutcome outcome = runInChild([&r] {
            alarm(60);
            defaultPrefs->setBool("fastQuit", r.fastQuit);
            ShellTestApp app;
            app.script = [](ShellTestApp& a, int) {
                a.scene()->onTerminate = [] { printf("shutdown ran\n"); };
                a.quitNow();
            };
            app.run();
            printf("quitNow returned\n");
        });
        EXPECT_TRUE(outcome.exited) << outcome.output;
        EXPECT_EQ(outcome.exitCode, 0) << "fastQuit " << r.fastQuit << "\n" << outcome.output;
        EXPECT_EQ(outcome.output.find("shutdown ran") != std::string::npos, r.shutsDown)
            << "fastQuit " << r.fastQuit << "\n"
            << outcome.output;
        EXPECT_EQ(outcome.output.find("quitNow returned"), std::string::npos);
    }
}

}  // namespace
