// Reporting at four levels: KuLog discards, KuWarning prints, KuError also writes "Log.txt" and
// ends the application unless its hook handles it, KuFatalFunc always ends it.
// Messages are formatted with the engine formatter ("%@") and cut at 4095 bytes.
#pragma once

#include <cstdarg>

void KuLog(const char* fmt, ...);
void KuLogv(const char* fmt, va_list args);
void KuLogRaw(const char* text);
void KuLogConsole(const char* fmt, ...);
void KuReleaseLog(const char* fmt, ...);
void KuLogFile(const char* fmt, ...);
void KuLogFilev(const char* fmt, va_list args);
int KuWarning(const char* fmt, ...);  // 0 when the application handled it, else -2
int KuWarningv(const char* fmt, va_list args);
int KuError(const char* fmt, ...);  // -1
int KuErrorv(const char* fmt, va_list args);
void KuFatalFunc(const char* fmt, ...);
void KuFatalFuncv(const char* fmt, va_list args);
void KuEnableLogfile(bool on);
bool KuEnableLogfile();
const char* KuDebugDateString();  // "[%H:%M:%S] " of now; overwritten by the next call
bool KuAmIBeingDebugged();
void _emitLogfileString(const char* text);

// What the application answers when reporting reaches it. The engine's lower layers only know
// this interface; the application base implements it and installs itself.
class KuLogHooks {
public:
    virtual ~KuLogHooks() = default;
    virtual int appReceivesWarning(const char*) { return 0; }  // 1: handled
    virtual int appReceivesError(const char*) { return 0; }    // 1: handled
    virtual void appReceivesFatal(const char*) {}
    virtual void fatalError(const char*) {}  // shows the critical-error alert
    virtual void quitNow() {}
    virtual void setWindowFullscreen(bool) {}
};

// With no hooks installed, messages count as unhandled and an unhandled error or fatal error
// ends the process after printing.
void KuSetLogHooks(KuLogHooks* hooks);
KuLogHooks* KuGetLogHooks();
// When on, a fatal error neither shows the alert nor quits (nor ends the process without hooks).
void KuSetIgnoreAlerts(bool on);
