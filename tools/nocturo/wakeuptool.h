#pragma once

#include "rtcalarm.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

namespace dorvel {

// What the wake-up tool was asked to do. Dorvel starts it with /wakeup= alone; the other
// options are for the user, for Dorvel's check before it ends, and for tests.
struct WakeUpToolOptions {
    QString wakeText;
    bool haveWake = false;
    bool check = false;   // only check; touch nothing
    bool dryRun = false;  // only say what would be done; read nothing of the machine
    bool install = false; // record the tool as installed for Dorvel
    QString nowText;      // with --dry-run: the time to compute with
    QString root;         // where /sys, /proc and /dev are; a fake folder in tests
    QString dorvelFolder; // where dorvel lives (and its event log, when writable)
};

enum WakeUpToolExit { ToolOk = 0, ToolFailed = 1, ToolBadArguments = 2, ToolAlreadyRunning = 3 };

// Parses the arguments after the program name; nothing and *problem on a usage error.
std::optional<WakeUpToolOptions> parseWakeUpToolArguments(const QStringList& args,
                                                          QString* problem);
QString wakeUpToolUsage();

// Arms the RTC's wake alarm for the wake-up time and powers the PC off through logind.
// Checks first, reads the alarm back after arming, and on every failure says so (standard
// error, Dorvel's event log, a desktop notification), disarms what it armed and starts
// "dorvel min" again, so that a scheduler keeps running.
class WakeUpTool {
public:
    explicit WakeUpTool(WakeUpToolOptions options);
    int run();

private:
    int install();
    // The problems that keep the wake-up from working; empty when it can go ahead.
    QStringList check(const QDateTime& now, bool verbose);
    int fail(const QStringList& problems);
    void disarm();
    // The line in Dorvel's event log; empty on success, else why it could not be written.
    QString writeLogLine(const QString& text);
    void notify(const QString& summary, const QString& body);
    QString restartDorvel();
    QString powerOff();

    WakeUpToolOptions m;
    std::optional<QDateTime> m_wake;
    std::optional<RtcAlarm> m_rtc;
    bool m_armed = false;
};

} // namespace dorvel
