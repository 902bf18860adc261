// Sections: >>state >>plain >>logfile >>warning >>error >>fatal
#include "KuLog.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "KuFile.h"
#include "KuObject.h"
#include "KuString.h"

// >>state

namespace {
constexpr int kMessageBufferSize = 4096;  // a message is cut at 4095 bytes

bool _logfileEnabled = false;
KuString* _logfileName = nullptr;  // formed on the first write attempt, then kept
char dateString[50];
bool inWarningHook = false;
bool inErrorHook = false;
bool _ignoreAlerts = false;
KuLogHooks* logHooks = nullptr;

struct Message {
    char text[kMessageBufferSize];
};

void formatMessage(Message& m, const char* fmt, va_list args) {
    m.text[0] = 0;
    KuVSPrintf(m.text, kMessageBufferSize, fmt, args);
    m.text[kMessageBufferSize - 1] = 0;
}

void printWithTime(const char* text) {
    fprintf(stdout, "%s%s\n", KuDebugDateString(), text);
    fflush(stdout);
}

// Without an application to show the alert and quit, an unhandled report ends the process here.
// _Exit skips static destructors and the leak check, which would only report the objects a
// running program holds at the moment it is stopped.
[[noreturn]] void endProcess() {
    fflush(stdout);
    fflush(stderr);
    std::_Exit(EXIT_FAILURE);
}
}  // namespace

void KuSetLogHooks(KuLogHooks* hooks) {
    logHooks = hooks;
}
KuLogHooks* KuGetLogHooks() {
    return logHooks;
}
void KuSetIgnoreAlerts(bool on) {
    _ignoreAlerts = on;
}

void KuEnableLogfile(bool on) {
    _logfileEnabled = on;
}
bool KuEnableLogfile() {
    return _logfileEnabled;
}
bool KuAmIBeingDebugged() {
    return false;
}

const char* KuDebugDateString() {
    time_t now = time(nullptr);
    struct tm local;
    if (!localtime_r(&now, &local) || strftime(dateString, sizeof dateString, "[%H:%M:%S] ", &local) == 0)
        dateString[0] = 0;
    return dateString;
}

// >>plain

void KuLog(const char*, ...) {}
void KuLogv(const char*, va_list) {}

void KuLogRaw(const char* text) {
    if (!text) return;
    fputs(text, stdout);
    fflush(stdout);
}

static void logConsolev(const char* fmt, va_list args) {
    if (!fmt) return;
    Message m;
    formatMessage(m, fmt, args);
    printWithTime(m.text);
}

void KuLogConsole(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    logConsolev(fmt, args);
    va_end(args);
}

void KuReleaseLog(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    logConsolev(fmt, args);
    va_end(args);
}

// >>logfile

void _emitLogfileString(const char* text) {
    KuString* folder = KuLibraryFolder();
    if (!folder) return;
    if (!_logfileName) {
        std::string name = std::string(folder->c_str()) + "/Log.txt";
        _logfileName = new KuString(name.c_str());
        _logfileName->makeImmortal();
    }
    if (!_logfileEnabled) return;

    char stamp[128];
    time_t now = time(nullptr);
    struct tm local;
    if (!localtime_r(&now, &local) || strftime(stamp, sizeof stamp, "[%x %X] ", &local) == 0) stamp[0] = 0;
    const char* body = text ? text : "";
    KuAppendFileBytes(_logfileName, stamp, static_cast<int>(strlen(stamp)));
    KuAppendFileBytes(_logfileName, body, static_cast<int>(strlen(body)));
    KuAppendFileBytes(_logfileName, "\n", 1);
}

void KuLogFilev(const char* fmt, va_list args) {
    if (!fmt) return;
    Message m;
    formatMessage(m, fmt, args);
    _emitLogfileString(m.text);
}

void KuLogFile(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    KuLogFilev(fmt, args);
    va_end(args);
}

// >>warning

int KuWarningv(const char* fmt, va_list args) {
    if (!fmt) return -2;
    Message m;
    formatMessage(m, fmt, args);
    if (!inWarningHook && logHooks) {
        inWarningHook = true;
        int handled = logHooks->appReceivesWarning(m.text);
        inWarningHook = false;
        if (handled == 1) return 0;
    }
    printWithTime(m.text);
    return -2;
}

int KuWarning(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    int result = KuWarningv(fmt, args);
    va_end(args);
    return result;
}

// >>error

int KuErrorv(const char* fmt, va_list args) {
    if (!fmt) return -1;
    Message m;
    formatMessage(m, fmt, args);
    _emitLogfileString(m.text);
    if (!inErrorHook && logHooks) {
        inErrorHook = true;
        int handled = logHooks->appReceivesError(m.text);
        inErrorHook = false;
        if (handled == 1) return -1;
    }
    printWithTime(m.text);
    if (!logHooks) endProcess();
    logHooks->fatalError(m.text);
    logHooks->quitNow();
    return -1;
}

int KuError(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    int result = KuErrorv(fmt, args);
    va_end(args);
    return result;
}

// >>fatal

void KuFatalFuncv(const char* fmt, va_list args) {
    if (!fmt) return;
    Message m;
    formatMessage(m, fmt, args);
    printWithTime(m.text);
    _emitLogfileString(m.text);
    if (logHooks) {
        logHooks->setWindowFullscreen(false);
        logHooks->appReceivesFatal(m.text);
    }
    if (_ignoreAlerts) return;
    if (!logHooks) endProcess();
    logHooks->fatalError(m.text);
    logHooks->quitNow();
}

void KuFatalFunc(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    KuFatalFuncv(fmt, args);
    va_end(args);
}
