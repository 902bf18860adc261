// SDL events pushed into the real main loop reach the scene as the dispatch table says: touch ids
// (left 1, right 2, middle 4, +32 from a touch device), window points turned into y-up screen
// points, SDL key codes and modifier masks unchanged, repeats and lost focus filtered, text-input
// keys, controller axes and triggers, dropped files, and nothing while the UI captures the input.
#include <string>
#include <vector>

#include "ShellTestSupport.h"

namespace {

struct Row {
    const char* what;
    std::vector<SDL_Event> events;
    std::vector<std::string> expected;  // journal lines, in order
};

// Window 64 x 48 with the design screen the same size: (x, y) in the window is (x, 48 - y) on
// screen.
std::vector<Row> mouseAndKeyRows() {
    return {
        {"left press and release",
         {mouseButton(true, SDL_BUTTON_LEFT, 10, 8), mouseButton(false, SDL_BUTTON_LEFT, 11, 9)},
         {"touchBegan 10,40 1", "touchEnded 11,39 1"}},
        {"right and middle presses",
         {mouseButton(true, SDL_BUTTON_RIGHT, 0, 0), mouseButton(true, SDL_BUTTON_MIDDLE, 63, 47)},
         {"touchBegan 0,48 2", "touchBegan 63,1 4"}},
        {"other buttons", {mouseButton(true, SDL_BUTTON_X1, 5, 5)}, {}},
        {"touch-synthesised press", {mouseButton(true, SDL_BUTTON_LEFT, 4, 4, true)}, {"touchBegan 4,44 33"}},
        {"drags by button",
         {mouseMotion(1, 2, SDL_BUTTON_LMASK), mouseMotion(3, 4, SDL_BUTTON_RMASK),
          mouseMotion(5, 6, SDL_BUTTON_MMASK), mouseMotion(7, 8, 0),
          mouseMotion(9, 10, SDL_BUTTON_LMASK, true)},
         {"touchMoved 1,46 1", "touchMoved 3,44 2", "touchMotion 5,42 0", "touchMotion 7,40 0",
          "touchMoved 9,38 33"}},
        {"wheel",
         {mouseWheel(0, 0), mouseWheel(3, 0), mouseWheel(0, -2)},
         {"touchWheel 3,0 0", "touchWheel 0,-2 0"}},
        {"key down with modifiers",
         {keyEvent(true, SDLK_a, KMOD_LSHIFT | KMOD_NUM)},
         {"keyScancode 4 97 A", "keyDown 97 " + std::to_string(KMOD_LSHIFT | KMOD_NUM)}},
        {"key repeats",
         {keyEvent(true, SDLK_b, 0, true), keyEvent(false, SDLK_b, KMOD_RCTRL, true),
          keyEvent(false, SDLK_b, KMOD_RCTRL)},
         {"keyUp 98 " + std::to_string(KMOD_RCTRL)}},
        {"lost focus",
         {windowEvent(SDL_WINDOWEVENT_FOCUS_LOST), keyEvent(true, SDLK_c, 0), keyEvent(false, SDLK_c, 0),
          mouseButton(true, SDL_BUTTON_LEFT, 1, 1), windowEvent(SDL_WINDOWEVENT_FOCUS_GAINED),
          keyEvent(true, SDLK_d, 0)},
         {"touchBegan 1,47 1", "keyScancode 7 100 D", "keyDown 100 0"}},
        {"dropped files",
         {[] {
              SDL_Event e = plainEvent(SDL_DROPFILE);
              e.drop.file = SDL_strdup("/rooms/Dock.tansy");
              return e;
          }(),
          [] {
              SDL_Event e = plainEvent(SDL_DROPFILE);
              e.drop.file = SDL_strdup("");
              return e;
          }()},
         {"dropFile /rooms/Dock.tansy", "dropFile  (shared empty)"}},
        {"low memory", {plainEvent(SDL_APP_LOWMEMORY)}, {"appLowMemory"}},
    };
}

std::vector<std::string> concatenated(const std::vector<Row>& rows) {
    std::vector<std::string> all;
    for (const Row& r : rows)
        all.insert(all.end(), r.expected.begin(), r.expected.end());
    return all;
}

// Runs the app, pushing every row's events at the first frame and quitting at the second.
std::vector<std::string> journalOf(ShellTestApp& app, const std::vector<Row>& rows,
                                   const std::function<void(ShellTestApp&)>& before = nullptr) {
    app.script = [&rows, before](ShellTestApp& a, int frame) {
        if (frame == 1) {
            if (before) before(a);
            a.journal.clear();
            for (const Row& r : rows)
                for (const SDL_Event& e : r.events)
                    push(e);
        }
        if (frame == 2) a.quitRequested = true;
    };
    EXPECT_EQ(app.run(), 0);
    std::vector<std::string> lines;
    for (const std::string& line : app.journal)
        if (line.find("appWillTerminate") == std::string::npos) lines.push_back(line);
    return lines;
}

class ShellInput : public ShellTest {};

TEST_F(ShellInput, MouseKeyFocusAndDropEventsReachTheSceneAsTheTableSays) {
    ShellTestApp app;
    std::vector<Row> rows = mouseAndKeyRows();
    std::vector<std::string> got = journalOf(app, rows);
    std::vector<std::string> expected = concatenated(rows);
    EXPECT_EQ(got, expected);
    // Name the first row that went wrong.
    size_t at = 0;
    for (const Row& r : rows) {
        for (const std::string& line : r.expected) {
            if (at >= got.size() || got[at] != line) {
                ADD_FAILURE() << "first difference in row \"" << r.what << "\": expected " << line;
                return;
            }
            at++;
        }
    }
}

TEST_F(ShellInput, TextInputKeysAndTheCommandVShortcut) {
    int gui = KMOD_LGUI;
    std::vector<Row> rows = {
        {"backspace",
         {keyEvent(true, SDLK_BACKSPACE, KMOD_LSHIFT)},
         {"keyPressed 127 1", "keyScancode 42 8 Backspace", "keyDown 8 1"}},
        {"repeated delete", {keyEvent(true, SDLK_DELETE, 0, true)}, {"keyPressed 127 0"}},
        {"return, escape and an arrow",
         {keyEvent(true, SDLK_RETURN, 0, true), keyEvent(true, SDLK_ESCAPE, 0, true),
          keyEvent(true, SDLK_LEFT, 0, true)},
         {"keyPressed 13 0", "keyPressed 27 0", "keyPressed 1073741904 0"}},
        {"command v", {keyEvent(true, SDLK_v, static_cast<uint16_t>(gui), true)}, {"keyPressed 118 3072"}},
        {"plain v", {keyEvent(true, SDLK_v, 0)}, {"keyScancode 25 118 V", "keyDown 118 0"}},
        {"other keys", {keyEvent(true, SDLK_x, 0, true)}, {}},
        {"text", {textEvent("\xc3\xa9t\xc3\xa9"), textEvent("q")}, {"keyPressed -61 0", "keyPressed 113 0"}},
    };
    ShellTestApp app;
    std::vector<std::string> got = journalOf(app, rows, [](ShellTestApp& a) { a.startTextInput(); });
    EXPECT_EQ(got, concatenated(rows));
    EXPECT_TRUE(app.textInputActive);
}

TEST_F(ShellInput, TextIsIgnoredOutsideTextInput) {
    std::vector<Row> rows = {
        {"text", {textEvent("q")}, {}},
        {"backspace", {keyEvent(true, SDLK_BACKSPACE, 0)}, {"keyScancode 42 8 Backspace", "keyDown 8 0"}},
    };
    ShellTestApp app;
    EXPECT_EQ(journalOf(app, rows), concatenated(rows));
}

TEST_F(ShellInput, NothingReachesTheSceneWhileTheUICapturesIt) {
    struct Case {
        bool mouse, keyboard;
        std::vector<std::string> expected;
    } cases[] = {
        {true, false, {"keyScancode 4 97 A", "keyDown 97 0", "keyUp 97 0"}},
        {false, true, {"touchBegan 2,46 1", "touchMotion 3,45 0", "touchWheel 0,1 0"}},
    };
    for (const Case& c : cases) {
        std::vector<Row> rows = {{"all kinds",
                                  {mouseButton(true, SDL_BUTTON_LEFT, 2, 2), mouseMotion(3, 3, 0),
                                   mouseWheel(0, 1), keyEvent(true, SDLK_a, 0), keyEvent(false, SDLK_a, 0)},
                                  {}}};
        ShellTestApp app;
        app.wantsMouse = c.mouse;
        app.wantsKeyboard = c.keyboard;
        EXPECT_EQ(journalOf(app, rows), c.expected) << "mouse captured " << c.mouse;
        ShellTest::TearDown();
        ShellTest::SetUp();
    }
}

TEST_F(ShellInput, ControllerAxesMoveTheSticksAndTriggersActOnceAtFullTravel) {
    std::vector<Row> rows = {
        {"left stick",
         {controllerAxis(0, -32768), controllerAxis(1, 100)},
         {"joystickMotion -32768,0 0,0", "joystickMotion -32768,100 0,0"}},
        {"right stick",
         {controllerAxis(2, 5), controllerAxis(3, 32767)},
         {"joystickMotion -32768,100 5,0", "joystickMotion -32768,100 5,32767"}},
        {"left trigger held",
         {controllerAxis(4, 32767), controllerAxis(4, 32767), controllerAxis(4, 20000)},
         {"joystickButton 0x4011 1", "joystickMotion -32768,100 5,32767", "joystickMotion -32768,100 5,32767",
          "joystickButton 0x4011 0", "joystickMotion -32768,100 5,32767"}},
        {"right trigger",
         {controllerAxis(5, 32767)},
         {"joystickButton 0x4010 1", "joystickMotion -32768,100 5,32767"}},
        {"buttons",
         {[] {
              SDL_Event e = plainEvent(SDL_CONTROLLERBUTTONDOWN);
              e.cbutton.button = 2;
              return e;
          }(),
          [] {
              SDL_Event e = plainEvent(SDL_JOYBUTTONUP);
              e.jbutton.button = 7;
              return e;
          }()},
         {"joystickButton 0x4002 1", "joystickButton 0x4007 0"}},
    };
    ShellTestApp app;
    EXPECT_EQ(journalOf(app, rows), concatenated(rows));
    EXPECT_EQ(app.joystickPosition(1).x, -32768);
    EXPECT_EQ(app.joystickPosition(2).y, 32767);
    EXPECT_EQ(app.joystickPosition(0x4010).x, 1);
    EXPECT_EQ(app.joystickPosition(0x4011).x, 0);
}

}  // namespace
