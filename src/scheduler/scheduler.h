#pragma once

#include "viewerdb.h"
#include "viewerprocess.h"

#include <QDateTime>
#include <QSqlRecord>
#include <QString>
#include <QStringList>

#include <QSet>

#include <functional>
#include <optional>

namespace dorvel {

struct AppState;
class ActivityList;
class Autostart;
class Clock;
class EventLog;
class MainView;
class Notifier;
class Prompter;
class TickTimer;
class TodoList;
class WakeTimer;

// The viewer's command line for one recording: the program and one argument per switch.
struct ViewerCommand {
    QString program;
    QStringList args;
    // As the log shows it: the program, then each switch after one blank.
    QString text() const;
};

// Time margins of the tick, in days.
inline constexpr double kBusyWindow = 0.00054444; // about 47.04 s before the launch time
inline constexpr double kExpiry = 0.000694444;    // a start later than this is given up

// DeleteStartedRecording as the delete command uses it: takes the first viewer-database entry
// that matches the row (start, end, short and long description) out of the database and the
// row out of the list, and returns the entry. When nothing matches or the database refuses,
// shows "ERROR" and keeps the row.
std::optional<QSqlRecord> deleteStartedRecording(TodoList& list, ViewerDatabase& db,
                                                 Prompter& prompter, int row);

// The scheduler tick: run every 500 ms by the main window's timer.
class Scheduler {
public:
    struct Hooks {
        std::function<void()> checkAfterRecording;
        std::function<void()> signalSystemRequired;
        std::function<void()> closeWakeTimer;
        std::function<void()> endProcess;
        std::function<void()> processEvents;    // lets pending window events run once
        std::function<void()> recordingStarted; // right after the viewer has been started
    };

    Scheduler(AppState& state, TodoList& list, ActivityList& activity, ViewerDatabase& db,
              ViewerProcess& viewer, Prompter& prompter, MainView& view, TickTimer& timer,
              const Clock& clock, EventLog& log, Autostart& autostart, Hooks hooks = {});
    ~Scheduler();
    Scheduler(const Scheduler&) = delete;
    Scheduler& operator=(const Scheduler&) = delete;

    void setHooks(Hooks hooks) { m_hooks = std::move(hooks); }
    // Where failed recordings are announced on the desktop; none by default.
    void setNotifier(Notifier* notifier) { m_notifier = notifier; }

    void tick();

    // The wake at the next launch time. Armed again at the end of every tick and whenever the
    // tick timer starts (after a load, a start, a resume); none by default.
    void setWakeTimer(WakeTimer* wake);
    // The wake has fired: a tick when the next event is due, else (fired early, or the clock
    // was set back) the wake is armed again. Nothing while the tick is stopped on purpose.
    void wake();

    // The command line that starts the recording of a to-do row (unique file name included).
    ViewerCommand commandFor(int row) const;

    // True while a tick runs; a tick arriving then (from a nested event loop such as the
    // pause after a start) only updates the clock. Boxes of the tick do not block: they are
    // answered later, with the timer running.
    bool inTick() const { return m_inTick; }

    // What tells one entry apart from every other: its database row and stored texts.
    static QString entryKey(const TodoList& list, int row);

private:
    // Step 5 of the tick.
    void blockingViewer(double now);
    // The busy warning was closed: the start it warned of is given up when it is still due
    // and more than a minute late.
    void busyWarningClosed(const QString& key, double launch);
    void startEntry(double now);
    // Deletes of started entries that failed for a passing reason (a lock, a full disk) are
    // tried again until they succeed: left in the database, the entry would be taken over
    // and recorded a second time after a restart.
    void retryDeletes();
    // The next event: the first row from `row` on that is still pending.
    void moveNextEventTo(int row);
    // Wakes the scheduler the first millisecond after the next launch time.
    void armWake();
    void report(const QString& text); // activity list and log
    // A recording that failed or cannot be made: activity list, log and the desktop.
    void alert(const QString& text);
    // Whether the record folder can take a new file; the reason when not.
    QString recordFolderProblem() const;
    // A viewer we started that has ended at once recorded nothing.
    void watchStartedViewer();
    QString describeEntry(int row) const;

    AppState& m_state;
    TodoList& m_list;
    ActivityList& m_activity;
    ViewerDatabase& m_db;
    ViewerProcess& m_viewer;
    Prompter& m_prompter;
    MainView& m_view;
    TickTimer& m_timer;
    WakeTimer* m_wake = nullptr;
    const Clock& m_clock;
    EventLog& m_log;
    Autostart& m_autostart;
    Hooks m_hooks;
    Notifier* m_notifier = nullptr;
    bool m_inTick = false;
    bool m_ended = false;
    // Entries started in this run: none is started twice, whatever brings it back.
    QSet<QString> m_started;
    QSet<QString> m_skippedTold; // pending entries that cannot start any more, told once
    struct PendingDelete {
        ViewerDatabase::RecordKey key;
        QString entry; // as the activity list names it
        double nextTry = 0;
    };
    QList<PendingDelete> m_pendingDeletes;
    struct Watch {
        qint64 pid = 0;
        QDateTime startedAt;
        QString entry;
    } m_watch;
    QString m_closeIgnoredFor; // the entry whose wait for a viewer that will not close was told
};

} // namespace dorvel
