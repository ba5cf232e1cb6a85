#pragma once

#include "powerops.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace dorvel {

struct AppState;
class ActivityList;
class Autostart;
class Clock;
class CountdownPresenter;
class EventLog;
class MainView;
class Notifier;
class ProcessLauncher;
class Prompter;
class SettingsStore;
class StandbyCommands;
class TickTimer;
class TodoList;
class ViewerProcess;

// The words of a power action that waits for the wait-program; compared exactly.
namespace pendingword {
inline const QString GoNormalStandBy = QStringLiteral("GoNormalStandBy");
inline const QString ShutDownLastRec = QStringLiteral("ShutDownLastRec");
inline const QString StandByLastRec = QStringLiteral("StandByLastRec");
inline const QString StartNocturo1 = QStringLiteral("StartNocturo1");
} // namespace pendingword

struct PowerServices {
    AppState& state;
    TodoList& todo;
    ActivityList& activity;
    EventLog& log;
    Prompter& prompter;
    MainView& view;
    TickTimer& timer;
    const Clock& clock;
    SettingsStore& store;
    ViewerProcess& viewer;
    PowerOps& power;
    Autostart& autostart;
    ProcessLauncher& launcher; // starts the wake-up tool
    CountdownPresenter& countdown;
};

// Everything around the end of a recording: the status of the viewer the scheduler started,
// the decision what the machine does next, and power actions that waited for the
// wait-program. checkAfterRecording() runs once at start-up and at the start of every tick.
class AfterRecording {
public:
    struct Hooks {
        // Ends the program at once: no question, no saving. In tests it only records.
        std::function<void()> endProcess = [] {};
        // The wake-up tool's check (program, arguments): empty when the tool can go ahead,
        // else the problems. Unset, the tool is started unchecked.
        std::function<QString(const QString&, const QStringList&)> checkWakeTool;
    };

    AfterRecording(PowerServices services, Hooks hooks);
    ~AfterRecording();
    AfterRecording(const AfterRecording&) = delete; // the commands keep a reference to it
    AfterRecording& operator=(const AfterRecording&) = delete;

    void checkAfterRecording();

    // With simulated power the wake-up tool runs in its dry-run mode: nothing a simulated
    // run starts may power the machine off or arm its wake-up.
    void setWakeToolDryRun(bool on) { m_wakeToolDryRun = on; }
    void setNotifier(Notifier* notifier) { m_notifier = notifier; }

    // A box of the power paths. Opened by the check after a recording, nobody may be there
    // to answer it: it waits for nobody, so that the tick goes on, and its text also goes to
    // the event log and the desktop. Opened by the user's own command, it waits as usual.
    void tellUser(const QString& text);

    // True when WaitForClose is set and the program named by WaitForProg runs. An empty
    // name never blocks: it would match every process.
    bool isWaitProgramBlocking() const;
    // Sleeps until two minutes before the next launch, when that is more than ten minutes
    // away.
    void timedStandby();
    // Starts the wake-up tool for the next launch and ends the program; stays running, and
    // says why, when the tool's check fails or the tool cannot be started.
    void runWakeTool(const QString& logLine);
    void countdownThenPowerOff();
    void standbyAfterLastRecording();

    // The StandBy command, the wake-tool command and the standby test.
    StandbyCommands& commands() { return *m_commands; }

    // NextEventTime minus three minutes, in the default text form.
    QString wakeTimeText() const;
    QString wakeToolProgram() const;
    QStringList wakeToolArguments() const;
    QString wakeToolCommandLine() const;
    // RuleMinutes as used: a value outside 15..999 (a hand-edited file) counts as 60.
    int ruleMinutes() const;
    // True once a path that ends the program has run; nothing happens after that.
    bool ended() const { return m_ended; }

    // One event line with the current date-time on the activity list / in the event log.
    void listLine(const QString& text);
    void logLine(const QString& text);

    // The sleep of a timed standby; the caller has checked the ten minutes.
    void sleepUntilShortlyBeforeNext();
    // Whether the next launch is more than the given minutes away. Real elapsed time, so
    // that a daylight-saving change in between neither hides nor invents an hour.
    bool nextLaunchFartherThan(double minutes) const;

private:
    void decideAfterRecording();
    void powerOffAfterLastRecording();
    void shutdownByRule();
    void takeUpPendingAction();
    void showStatus();
    // Whether a viewer runs that we did not start; see the .cpp for when the answer of the
    // last reading stands.
    bool viewerOfTheUserRuns();
    void endProgram();
    qint64 msToNextLaunch() const;

    PowerServices m;
    Hooks m_hooks;
    std::unique_ptr<StandbyCommands> m_commands;
    bool m_inCheck = false;
    bool m_ended = false;
    bool m_wakeToolDryRun = false;
    Notifier* m_notifier = nullptr;
    struct TableReading {
        QDateTime at; // invalid: none yet
        quint64 starts = 0;
        bool viewerFound = false;
    } m_lastReading;
};

} // namespace dorvel
