// The frame loop of the real application: quitting through isAppQuitOK, frame pacing by
// "frameDelay", the clamped time step and the clock, a hidden window that neither updates nor
// jumps, the pool drained every frame, and timed callbacks firing in the right update.
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "KuEventManager.h"
#include "KuUserPrefs.h"
#include "ShellTestSupport.h"

namespace {

class ShellFrames : public ShellTest {};

TEST_F(ShellFrames, AQuitEventAsksTheSceneAndARefusalKeepsTheLoopRunning) {
    ShellTestApp app;
    int framesAfterRefusal = 0;
    app.script = [&](ShellTestApp& a, int frame) {
        RecordingScene* scene = a.scene();
        if (frame == 1) {
            scene->quitAnswer = false;
            push(plainEvent(SDL_QUIT));
        }
        if (frame > 1 && scene->quitQuestions == 1 && !scene->quitAnswer) framesAfterRefusal++;
        if (frame == 5) {
            scene->quitAnswer = true;
            push(plainEvent(SDL_QUIT));
        }
    };
    EXPECT_EQ(app.run(), 0);
    EXPECT_EQ(framesAfterRefusal, 4) << "frames 2 to 5 ran after the refusal";
    EXPECT_EQ(app.frame, 6) << "the accepted quit ends the loop after the frame that follows it";
    std::vector<std::string> questions;
    for (const std::string& line : app.journal)
        if (line.rfind("isAppQuitOK", 0) == 0) questions.push_back(line);
    EXPECT_EQ(questions, (std::vector<std::string>{"isAppQuitOK no", "isAppQuitOK yes"}));
}

TEST_F(ShellFrames, QuitEventsAreNotEvenAskedAboutWhenIgnored) {
    ShellTestApp app;
    app.canvasFlags = kKuCanvasIgnoreQuit;
    int asked = -1;
    app.script = [&](ShellTestApp& a, int frame) {
        if (frame == 1) push(plainEvent(SDL_QUIT));
        if (frame == 3) {
            asked = a.scene()->quitQuestions;
            a.quitRequested = true;
        }
    };
    EXPECT_EQ(app.run(), 0);
    EXPECT_EQ(asked, 0);
}

TEST_F(ShellFrames, FramesArePacedByTheFrameDelayAndTheTimeStepIsClamped) {
    defaultPrefs->setInt("frameDelay", 30);
    ShellTestApp app;
    std::vector<double> clock;
    app.script = [&](ShellTestApp& a, int frame) {
        clock.push_back(_globalTime);
        if (frame == 6) a.lastFrameTime -= static_cast<uint64_t>(3e9);  // a three-second stall
        if (frame == 7) a.quitRequested = true;
    };
    EXPECT_EQ(app.run(), 0);
    defaultPrefs->remove("frameDelay");
    ASSERT_EQ(app.timeSteps.size(), 7u);
    EXPECT_EQ(app.frameDelay, 30);
    for (size_t i = 1; i < 6; i++) {
        EXPECT_GE(app.timeSteps[i], 0.0285f) << "frame " << i + 1;
        EXPECT_LT(app.timeSteps[i], 0.25f) << "frame " << i + 1;
    }
    EXPECT_EQ(app.timeSteps[6], 0.25f) << "a stall counts as a quarter of a second";
    for (size_t i = 1; i < clock.size(); i++)
        EXPECT_NEAR(clock[i] - clock[i - 1], app.timeSteps[i], 1e-5) << "the clock advances by each step";
    EXPECT_NEAR(app.framesPerSecond, 4.0, 1e-6);
    EXPECT_GT(app.smoothedFramesPerSecond, 0);
}

TEST_F(ShellFrames, AHiddenWindowNeitherUpdatesNorCountsTheHiddenTime) {
    defaultPrefs->setInt("frameDelay", 5);
    ShellTestApp app;
    int framesAtHide = -1, framesAtShow = -1;
    auto hiddenFor = std::chrono::milliseconds(300);
    app.onLowMemory = [&] {
        framesAtShow = app.frame;
        SDL_ShowWindow(app.sdlWindow);
    };
    app.script = [&](ShellTestApp& a, int frame) {
        if (frame == 3) {
            framesAtHide = frame;
            SDL_HideWindow(a.sdlWindow);
            // Another thread brings the window back; the main loop turns that into appLowMemory.
            SDL_AddTimer(
                static_cast<Uint32>(hiddenFor.count()),
                [](Uint32, void*) -> Uint32 {
                    SDL_Event e = plainEvent(SDL_APP_LOWMEMORY);
                    SDL_PushEvent(&e);
                    return 0;
                },
                nullptr);
        }
        if (frame == 5) a.quitRequested = true;
    };
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(app.run(), 0);
    defaultPrefs->remove("frameDelay");
    EXPECT_GE(std::chrono::steady_clock::now() - start, hiddenFor);
    EXPECT_EQ(framesAtShow, framesAtHide) << "no update ran while hidden";
    ASSERT_EQ(app.timeSteps.size(), 5u);
    EXPECT_LT(app.timeSteps[3], 0.1f) << "the first frame back has a small step, not the hidden time";
}

// Set by its destructor.
class Tracer : public KuObject {
public:
    bool* gone;
    explicit Tracer(bool* g) : gone(g) {}
    ~Tracer() override { *gone = true; }
};

TEST_F(ShellFrames, TheAutoreleasePoolIsDrainedEveryFrame) {
    ShellTestApp app;
    std::vector<bool> goneAtFrame(4, false);
    bool gone[3] = {false, false, false};
    app.script = [&](ShellTestApp& a, int frame) {
        if (frame <= 3) {
            KuAutorelease(new Tracer(&gone[frame - 1]));
            goneAtFrame[frame] = gone[frame - 1];
        }
        if (frame >= 2) {
            EXPECT_TRUE(gone[frame - 2]) << "made in frame " << frame - 1 << ", seen in frame " << frame;
        }
        if (frame == 4) a.quitRequested = true;
    };
    EXPECT_EQ(app.run(), 0);
    for (int f = 1; f <= 3; f++)
        EXPECT_FALSE(goneAtFrame[f]) << "alive through the frame that made it";
}

TEST_F(ShellFrames, TimedCallbacksFireInTheUpdateWhereTheirDelayRunsOut) {
    defaultPrefs->setInt("frameDelay", 20);
    ShellTestApp app;
    int firedNow = 0, firedLater = 0, firedPaused = 0;
    app.script = [&](ShellTestApp& a, int frame) {
        if (frame == 1) {
            // Added after this frame's update: counted from the next one.
            eventManager->addCallback(0, [&] { firedNow = a.frame; });
            eventManager->addCallback(0.1f, [&] { firedLater = a.frame; });
            eventManager->addCallbackWithGUID(42, 0, [&] { firedPaused = a.frame; });
            for (KuListIterator<KuCallbackObject*> it = eventManager->callbacks->begin(); it; it = it->next)
                if (it->object->callbackID == 42) it->object->pauseCount = 1;
        }
        if (frame == 12) a.quitRequested = true;
    };
    EXPECT_EQ(app.run(), 0);
    defaultPrefs->remove("frameDelay");
    EXPECT_EQ(firedNow, 2);
    EXPECT_EQ(firedPaused, 0);
    int expected = 0;
    float left = 0.1f;
    for (size_t i = 1; i < app.timeSteps.size() && !expected; i++) {
        left -= app.timeSteps[i];
        if (left <= 0) expected = static_cast<int>(i) + 1;
    }
    ASSERT_NE(expected, 0) << "the steps never added up to 0.1 s";
    EXPECT_EQ(firedLater, expected);
}

}  // namespace
