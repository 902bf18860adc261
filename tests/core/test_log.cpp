// Reporting levels: what reaches standard output, the log file and the application's hooks, and
// when the process ends.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "KuFile.h"
#include "KuLog.h"
#include "KuString.h"
#include "TestSupport.h"

namespace {

const char* const kTimePrefix = R"(\[\d\d:\d\d:\d\d\] )";
// "[%x %X] " in the C locale.
const char* const kLogStamp = R"(\[\d\d/\d\d/\d\d \d\d:\d\d:\d\d\] )";

bool matches(const std::string& text, const std::string& pattern) {
    return std::regex_match(text, std::regex(pattern));
}

// Points the library folder at <root>/Mossbank/Tansy/ through SDL's XDG lookup.
void useLibraryUnder(const std::string& root) {
    setenv("XDG_DATA_HOME", root.c_str(), 1);
    KuSetCompanyAndProjectName(KuString::stringWithString("Mossbank"), KuString::stringWithString("Tansy"));
}

std::string logPathUnder(const std::string& root) {
    return root + "/Mossbank/Tansy/Log.txt";
}

class RecordingHooks : public KuLogHooks {
public:
    std::vector<std::string> calls;
    int warningAnswer = 0;
    int errorAnswer = 0;
    std::function<void()> duringWarning, duringError;

    int appReceivesWarning(const char* m) override {
        calls.push_back(std::string("warning:") + m);
        if (duringWarning) duringWarning();
        return warningAnswer;
    }
    int appReceivesError(const char* m) override {
        calls.push_back(std::string("error:") + m);
        if (duringError) duringError();
        return errorAnswer;
    }
    void appReceivesFatal(const char* m) override { calls.push_back(std::string("fatal:") + m); }
    void fatalError(const char* m) override { calls.push_back(std::string("fatalError:") + m); }
    void quitNow() override { calls.push_back("quitNow"); }
    void setWindowFullscreen(bool on) override { calls.push_back(on ? "fullscreen:1" : "fullscreen:0"); }

    std::string joined() const {
        std::string all;
        for (const std::string& c : calls)
            all += c + "|";
        return all;
    }
};

class LogTest : public KuPoolTest {
protected:
    void TearDown() override {
        KuSetLogHooks(nullptr);
        KuSetIgnoreAlerts(false);
        KuPoolTest::TearDown();
    }
};

TEST_F(LogTest, PlainLogPrintsAndWritesNothing) {
    TempFolder root;
    ChildOutcome child = runInChild([&] {
        useLibraryUnder(root.path());
        KuEnableLogfile(true);
        KuLog("secret %d", 1);
        KuLogFile("proof the file works");
    });
    ASSERT_TRUE(child.exited);
    EXPECT_EQ(child.exitCode, 0);
    EXPECT_EQ(child.output, "");
    EXPECT_TRUE(
        matches(readFile(logPathUnder(root.path())), std::string(kLogStamp) + "proof the file works\n"));
}

TEST_F(LogTest, ConsoleFunctionsPrintTheTimePrefixAndALineBreak) {
    struct Row {
        const char* name;
        std::function<void()> call;
        std::string pattern;
    } rows[] = {
        {"console", [] { KuLogConsole("count %d of %@", 3, KuString::stringWithString("ten")); },
         std::string(kTimePrefix) + "count 3 of ten\n"},
        {"release", [] { KuReleaseLog("%s!", "done"); }, std::string(kTimePrefix) + "done!\n"},
        {"raw", [] { KuLogRaw("as is %d"); }, R"(as is %d)"},
        {"null console", [] { KuLogConsole(nullptr); }, ""},
        {"null raw", [] { KuLogRaw(nullptr); }, ""},
    };
    for (const Row& row : rows) {
        testing::internal::CaptureStdout();
        row.call();
        std::string out = testing::internal::GetCapturedStdout();
        EXPECT_TRUE(matches(out, row.pattern)) << row.name << ": " << out;
    }
    EXPECT_TRUE(matches(KuDebugDateString(), kTimePrefix));
    EXPECT_FALSE(KuAmIBeingDebugged());
}

TEST_F(LogTest, WarningPrintsAndLeavesTheLogFileAlone) {
    TempFolder root;
    ChildOutcome child = runInChild([&] {
        useLibraryUnder(root.path());
        KuEnableLogfile(true);
        int result = KuWarning("careful %d", 3);
        printf("result %d\n", result);
    });
    ASSERT_TRUE(child.exited);
    EXPECT_EQ(child.exitCode, 0);
    EXPECT_TRUE(matches(child.output, std::string(kTimePrefix) + "careful 3\nresult -2\n")) << child.output;
    EXPECT_FALSE(std::filesystem::exists(logPathUnder(root.path())));
}

TEST_F(LogTest, WarningHookDecidesWhetherItIsPrinted) {
    struct Row {
        int answer;
        int expectedResult;
        bool printed;
    } rows[] = {{1, 0, false}, {0, -2, true}, {2, -2, true}, {-1, -2, true}};
    for (const Row& row : rows) {
        RecordingHooks hooks;
        hooks.warningAnswer = row.answer;
        KuSetLogHooks(&hooks);
        testing::internal::CaptureStdout();
        int result = KuWarning("w%d", row.answer);
        std::string out = testing::internal::GetCapturedStdout();
        KuSetLogHooks(nullptr);
        std::string text = "w" + std::to_string(row.answer);
        EXPECT_EQ(result, row.expectedResult) << "answer " << row.answer;
        EXPECT_EQ(hooks.joined(), "warning:" + text + "|") << "answer " << row.answer;
        EXPECT_EQ(!out.empty(), row.printed) << "answer " << row.answer << ": " << out;
        if (row.printed) {
            EXPECT_TRUE(matches(out, std::string(kTimePrefix) + text + "\n")) << out;
        }
    }
}

TEST_F(LogTest, WarningRaisedInsideTheHookIsPrintedWithoutReenteringIt) {
    RecordingHooks hooks;
    hooks.warningAnswer = 1;
    int inner = 0;
    hooks.duringWarning = [&] { inner = KuWarning("inner"); };
    KuSetLogHooks(&hooks);
    testing::internal::CaptureStdout();
    int outer = KuWarning("outer");
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(outer, 0);
    EXPECT_EQ(inner, -2);
    EXPECT_EQ(hooks.joined(), "warning:outer|");
    EXPECT_TRUE(matches(out, std::string(kTimePrefix) + "inner\n")) << out;

    // The flag is cleared again: the next warning reaches the hook.
    hooks.duringWarning = nullptr;
    EXPECT_EQ(KuWarning("again"), 0);
    EXPECT_EQ(hooks.joined(), "warning:outer|warning:again|");
}

TEST_F(LogTest, NullFormatsDoNothing) {
    RecordingHooks hooks;
    KuSetLogHooks(&hooks);
    testing::internal::CaptureStdout();
    EXPECT_EQ(KuWarning(nullptr), -2);
    EXPECT_EQ(KuError(nullptr), -1);
    KuFatalFunc(nullptr);
    KuLogFile(nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_TRUE(hooks.calls.empty()) << hooks.joined();
}

TEST_F(LogTest, HandledErrorGoesToTheLogFileOnly) {
    TempFolder root;
    root.write("Mossbank/Tansy/Log.txt", "earlier line\n");
    ChildOutcome child = runInChild([&] {
        useLibraryUnder(root.path());
        KuEnableLogfile(true);
        RecordingHooks hooks;
        hooks.errorAnswer = 1;
        KuSetLogHooks(&hooks);
        int result = KuError("disk %s on %@", "full", KuString::stringWithString("/tmp"));
        printf("result %d calls %s\n", result, hooks.joined().c_str());
        KuSetLogHooks(nullptr);
    });
    ASSERT_TRUE(child.exited);
    EXPECT_EQ(child.exitCode, 0);
    EXPECT_EQ(child.output, "result -1 calls error:disk full on /tmp|\n");
    EXPECT_TRUE(matches(readFile(logPathUnder(root.path())),
                        std::string("earlier line\n") + kLogStamp + "disk full on /tmp\n"));
}

TEST_F(LogTest, UnhandledErrorShowsTheAlertThenQuits) {
    RecordingHooks hooks;
    KuSetLogHooks(&hooks);
    testing::internal::CaptureStdout();
    int result = KuError("broken %d", 9);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(result, -1);
    EXPECT_EQ(hooks.joined(), "error:broken 9|fatalError:broken 9|quitNow|");
    EXPECT_TRUE(matches(out, std::string(kTimePrefix) + "broken 9\n")) << out;
}

TEST_F(LogTest, ErrorRaisedInsideTheErrorHookIsNotHandedToIt) {
    RecordingHooks hooks;
    hooks.errorAnswer = 1;
    hooks.duringError = [] { KuError("inner"); };
    KuSetLogHooks(&hooks);
    testing::internal::CaptureStdout();
    EXPECT_EQ(KuError("outer"), -1);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(hooks.joined(), "error:outer|fatalError:inner|quitNow|");
    EXPECT_TRUE(matches(out, std::string(kTimePrefix) + "inner\n")) << out;
}

TEST_F(LogTest, UnhandledErrorWithoutAnApplicationEndsTheProcess) {
    TempFolder root;
    ChildOutcome child = runInChild([&] {
        useLibraryUnder(root.path());
        KuEnableLogfile(true);
        KuError("gone %d", 5);
        printf("still here\n");
    });
    ASSERT_TRUE(child.exited);
    EXPECT_EQ(child.exitCode, EXIT_FAILURE);
    EXPECT_TRUE(matches(child.output, std::string(kTimePrefix) + "gone 5\n")) << child.output;
    EXPECT_TRUE(matches(readFile(logPathUnder(root.path())), std::string(kLogStamp) + "gone 5\n"));
}

TEST_F(LogTest, FatalErrorReachesTheApplicationThenQuitsUnlessAlertsAreIgnored) {
    struct Row {
        bool ignoreAlerts;
        const char* calls;
    } rows[] = {
        {false, "fullscreen:0|fatal:lost 1|fatalError:lost 1|quitNow|"},
        {true, "fullscreen:0|fatal:lost 1|"},
    };
    for (const Row& row : rows) {
        RecordingHooks hooks;
        KuSetLogHooks(&hooks);
        KuSetIgnoreAlerts(row.ignoreAlerts);
        testing::internal::CaptureStdout();
        KuFatalFunc("lost %d", 1);
        std::string out = testing::internal::GetCapturedStdout();
        KuSetLogHooks(nullptr);
        KuSetIgnoreAlerts(false);
        EXPECT_EQ(hooks.joined(), row.calls) << "ignore " << row.ignoreAlerts;
        EXPECT_TRUE(matches(out, std::string(kTimePrefix) + "lost 1\n")) << out;
    }
}

TEST_F(LogTest, FatalErrorWithoutAnApplicationEndsTheProcessAfterLogging) {
    TempFolder root;
    ChildOutcome child = runInChild([&] {
        useLibraryUnder(root.path());
        KuEnableLogfile(true);
        KuFatalFunc("no way %s", "out");
        printf("still here\n");
    });
    ASSERT_TRUE(child.exited);
    EXPECT_EQ(child.exitCode, EXIT_FAILURE);
    EXPECT_TRUE(matches(child.output, std::string(kTimePrefix) + "no way out\n")) << child.output;
    EXPECT_TRUE(matches(readFile(logPathUnder(root.path())), std::string(kLogStamp) + "no way out\n"));
}

TEST_F(LogTest, MessagesAreCutAt4095Bytes) {
    struct Row {
        size_t length;
        size_t expected;
    } rows[] = {{10, 10}, {4095, 4095}, {4096, 4095}, {5000, 4095}};
    for (const Row& row : rows) {
        std::string received;
        struct Capture : KuLogHooks {
            std::string* into;
            int appReceivesWarning(const char* m) override {
                *into = m;
                return 1;
            }
        } capture;
        capture.into = &received;
        KuSetLogHooks(&capture);
        std::string text(row.length, 'x');
        text[0] = 'a';
        KuWarning("%@", KuString::stringWithString(text.c_str()));
        KuSetLogHooks(nullptr);
        EXPECT_EQ(received.size(), row.expected) << row.length;
        EXPECT_EQ(received, text.substr(0, row.expected)) << row.length;
    }
}

TEST_F(LogTest, LogFileAppendsDatedLinesOnlyWhenEnabledAndTheFolderIsKnown) {
    TempFolder root;
    ChildOutcome child = runInChild([&] {
        KuEnableLogfile(true);
        KuLogFile("before the folder is known");
        useLibraryUnder(root.path());
        KuEnableLogfile(false);
        KuLogFile("while disabled");
        printf("enabled %d\n", KuEnableLogfile() ? 1 : 0);
        KuEnableLogfile(true);
        KuLogFile("one");
        KuLogFile("two %d", 2);
        _emitLogfileString("three");
    });
    ASSERT_TRUE(child.exited);
    EXPECT_EQ(child.exitCode, 0);
    EXPECT_EQ(child.output, "enabled 0\n");
    std::string stamp = kLogStamp;
    EXPECT_TRUE(
        matches(readFile(logPathUnder(root.path())), stamp + "one\n" + stamp + "two 2\n" + stamp + "three\n"))
        << readFile(logPathUnder(root.path()));
}

}  // namespace
