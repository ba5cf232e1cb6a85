#pragma once

#include "viewerprocess.h"

#include <QSqlRecord>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace dorvel {

struct AppState;
class ActivityList;
class Autostart;
class Clock;
class EventLog;
class MainView;
class Prompter;
class TickTimer;
class TodoList;
class ViewerDatabase;

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

    void setHooks(Hooks hooks) { m_hooks = std::move(hooks); }

    void tick();

    // The command line that starts the recording of a to-do row (unique file name included).
    ViewerCommand commandFor(int row) const;

    // True while a tick runs, boxes included; a tick arriving then only updates the clock.
    bool inTick() const { return m_inTick; }

private:
    // Steps 5 and 6 of the tick; false when the tick ended the program.
    bool blockingViewer(double& now, std::optional<ViewerProcess::SnapshotScope>& reading);
    void startEntry(double now);
    void moveNextEventTo(int row);
    void report(const QString& text); // activity list and log
    QString describeEntry(int row) const;

    AppState& m_state;
    TodoList& m_list;
    ActivityList& m_activity;
    ViewerDatabase& m_db;
    ViewerProcess& m_viewer;
    Prompter& m_prompter;
    MainView& m_view;
    TickTimer& m_timer;
    const Clock& m_clock;
    EventLog& m_log;
    Autostart& m_autostart;
    Hooks m_hooks;
    bool m_inTick = false;
};

} // namespace dorvel
