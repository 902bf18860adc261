// Start-up and shutdown of the real application: the window's size and position preferences read
// at creation and written when it moves, the arguments handed to initWithOptions, the device
// identifier store, the clipboard, and the timed shutdown steps in their order.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "KuFile.h"
#include "KuUserPrefs.h"
#include "ShellTestSupport.h"

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class ShellWindow : public ShellTest {};

TEST_F(ShellWindow, SizeAndPositionPreferencesAreReadAtCreationAndWrittenOnMove) {
    defaultPrefs->setPoint("windowSize", KuPoint{150, 90});
    defaultPrefs->setPoint("windowPosition", KuPoint{40, 30});
    ShellTestApp app;
    int w = 0, h = 0, x = 0, y = 0;
    KuPoint storedAfterOrigin{-1, -1};
    app.script = [&](ShellTestApp& a, int frame) {
        if (frame == 1) {
            SDL_GetWindowSize(a.sdlWindow, &w, &h);
            SDL_GetWindowPosition(a.sdlWindow, &x, &y);
            SDL_SetWindowPosition(a.sdlWindow, 70, 60);
            push(windowEvent(SDL_WINDOWEVENT_MOVED, 70, 60));
        }
        if (frame == 3) {
            SDL_SetWindowPosition(a.sdlWindow, 0, 0);
            push(windowEvent(SDL_WINDOWEVENT_MOVED, 0, 0));
        }
        if (frame == 5) {
            storedAfterOrigin = defaultPrefs->getPoint("windowPosition", KuPoint{-1, -1});
            a.quitRequested = true;
        }
    };
    EXPECT_EQ(app.run(), 0);
    EXPECT_EQ(w, 150);
    EXPECT_EQ(h, 90);
    EXPECT_EQ(x, 40);
    EXPECT_EQ(y, 30);
    EXPECT_TRUE(storedAfterOrigin == (KuPoint{70, 60}))
        << "a move to (0, 0) is not stored; got " << storedAfterOrigin.x << "," << storedAfterOrigin.y;
    // Quitting syncs the store: the file holds the new position.
    std::string prefs = readFile(shellLibraryFolder() + "Prefs.json");
    EXPECT_NE(prefs.find("(70,60)"), std::string::npos) << prefs;
    defaultPrefs->remove("windowSize");
    defaultPrefs->remove("windowPosition");
}

TEST_F(ShellWindow, WithoutPreferencesTheWindowHasTheGivenSizeAndTheLayoutFollows) {
    defaultPrefs->remove("windowSize");
    defaultPrefs->remove("windowPosition");
    ShellTestApp app;
    app.windowSize = {96, 40};
    int w = 0, h = 0;
    KuPoint screen{0, 0};
    app.script = [&](ShellTestApp& a, int) {
        SDL_GetWindowSize(a.sdlWindow, &w, &h);
        screen = currentScene->translateTouchLocation(KuPoint{10, 0});
        a.quitRequested = true;
    };
    EXPECT_EQ(app.run(), 0);
    EXPECT_EQ(w, 96);
    EXPECT_EQ(h, 40);
    EXPECT_EQ(screen.y, 40) << "the window's top row is the screen's top";
}

TEST_F(ShellWindow, StartUpHandsOverTheArgumentsAndKeepsTheDeviceIdentifier) {
    std::string store =
        shellDataHome() + "/" + kKuIdentityOrganisation + "/" + kKuIdentityFolder + "/db.sqlite";
    std::filesystem::remove(store);
    std::string identifiers[2];
    for (std::string& id : identifiers) {
        ShellTestApp app;
        app.script = [](ShellTestApp& a, int) { a.quitRequested = true; };
        EXPECT_EQ(app.run({"Dock.tansy", ""}), 0);
        ASSERT_EQ(app.receivedArgs.size(), 2u);
        EXPECT_STREQ(app.receivedArgs[0]->c_str(), "Dock.tansy");
        EXPECT_EQ(app.receivedArgs[1], KUSTR_EMPTY);
        EXPECT_STREQ(app.controllerName->c_str(), "NONE");
        id = KuDeviceIdentifier()->c_str();
        ShellTest::TearDown();
        ShellTest::SetUp();
    }
    EXPECT_EQ(identifiers[0].size(), 20u);
    EXPECT_EQ(identifiers[0], identifiers[1]) << "the second start reads the stored seed";
    std::string bytes = readFile(store);
    ASSERT_FALSE(bytes.empty()) << store;
    EXPECT_EQ(bytes.find("seed"), std::string::npos) << "the store is enciphered";
    EXPECT_EQ(bytes.find(identifiers[0]), std::string::npos);

    ShellTestApp plain;
    plain.script = [](ShellTestApp& a, int) { a.quitRequested = true; };
    EXPECT_EQ(plain.run(), 0);
    EXPECT_TRUE(plain.optionsWereNull) << "no arguments: no options";
    EXPECT_EQ(plain.frameDelay, 10) << "the default frame delay";
    EXPECT_GT(defaultPrefs->getInt("booted", 0), 1600000000) << "the start time is stored";
}

TEST_F(ShellWindow, TheClipboardRoundTrips) {
    ShellTestApp app;
    std::string text;
    bool emptyIsShared = false;
    app.script = [&](ShellTestApp& a, int) {
        a.setClipboard(KuString::stringWithString("walkbox 3"));
        KuString* got = a.getClipboard();
        text = got ? got->c_str() : "(null)";
        a.setClipboard(nullptr);
        emptyIsShared = a.getClipboard() == KUSTR_EMPTY;
        a.quitRequested = true;
    };
    EXPECT_EQ(app.run(), 0);
    EXPECT_EQ(text, "walkbox 3");
    EXPECT_TRUE(emptyIsShared);
}

TEST_F(ShellWindow, ShutdownRunsItsStepsInOrderAndLogsASlowOne) {
    std::string log = shellLibraryFolder() + "Log.txt";
    std::filesystem::remove(log);
    ShellTestApp app;
    app.script = [](ShellTestApp& a, int) {
        a.scene()->onTerminate = [] { std::this_thread::sleep_for(std::chrono::milliseconds(260)); };
        a.quitRequested = true;
    };
    EXPECT_EQ(app.run(), 0);
    std::vector<std::string> ends;
    for (const std::string& line : app.journal)
        if (line.find("appWillTerminate") != std::string::npos) ends.push_back(line);
    EXPECT_EQ(ends, (std::vector<std::string>{"scene appWillTerminate", "app appWillTerminate"}));
    EXPECT_EQ(app.sdlWindow, nullptr);
    EXPECT_EQ(KuSharedRvRenderer(), nullptr) << "the graphics layer is shut down";

    std::string text = readFile(log);
    size_t at = text.find("'Shutdown Current Scene' took ");
    ASSERT_NE(at, std::string::npos) << text;
    double seconds = std::atof(text.c_str() + at + std::strlen("'Shutdown Current Scene' took "));
    EXPECT_GE(seconds, 0.26);
    EXPECT_LT(seconds, 5);
    EXPECT_NE(text.find("s to complete (expected < 0.2).", at), std::string::npos) << text;
    EXPECT_EQ(text.find("'Shutdown Sound'"), std::string::npos) << "quick steps are not logged";
}

}  // namespace
