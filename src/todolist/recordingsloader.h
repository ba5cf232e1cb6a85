#pragma once

#include <QHash>
#include <QString>

#include <functional>
#include <utility>

namespace dorvel {

struct AppState;
class ActivityList;
class Clock;
class MainView;
class Prompter;
class SettingsStore;
class TickTimer;
class TodoList;
class ViewerDatabase;

// GetRecordings: rebuilds the to-do list from the viewer database, marks late and
// overlapping entries, finds the next event and decides whether the scheduler tick may run.
//
// Rules of this implementation where the entries themselves leave a choice:
// - An empty PRERECORD or POSTRECORD (every entry written before the upgrade) is 0 minutes.
// - An entry whose STARTTIME or ENDTIME is not a valid "yyyy.mm.dd hh:nn", or whose lead or
//   trail is not a number of minutes, cannot be scheduled: it stays listed with its texts as
//   stored, coloured as timed out, at the top of the list, with empty RECSTART and RECMINUTES
//   so that it can never become the next event; it is not counted, it can be deleted, and
//   one activity line names it. The other entries load as usual.
// - RECMINUTES is the real length of the recording: when a daylight-saving change falls
//   between recording start and end, the wall-clock difference is corrected by the change
//   (01:30 to 03:30 on the autumn night records 180 minutes, on the spring night 60), so
//   the viewer records until the programme's end. A start in the hour the spring night
//   skips happens at the jump (02:30 to 04:00 records 60 minutes from 03:00); a start in
//   the hour the autumn night repeats happens the first time (02:30 to 04:00 records 150).
//   Whole days are dropped as always.
// - An entry whose end is not after its start (or whose recording end is not after its
//   recording start) cannot be computed either: listed red, never started, one line.
// - The take-over of a late running entry takes the row that is actually still running,
//   not an earlier row that merely shares its start.
//
// When the database cannot be read (locked for longer than the busy timeout, vanished,
// damaged), a message box says what failed and that the list was kept; the list, the next
// event and the count keep their last state, the clock shows "Not started" in red and the
// tick stays OFF, so nothing is started from a list that could not be checked. A later
// successful load switches it on again. The program keeps running.
class RecordingsLoader {
public:
    RecordingsLoader(AppState& state, TodoList& todo, ActivityList& activity, ViewerDatabase& db,
                     Prompter& prompter, MainView& view, TickTimer& timer, const Clock& clock,
                     SettingsStore& store, std::function<void()> endProcess);

    void getRecordings();

    // Runs a function again after some milliseconds (a timer in the program, by hand in
    // tests). With it, a load that meets a file locked by another program says so in the
    // activity list and tries again by itself, without a box: both programs start at login,
    // and an unattended PC must not wait for a click.
    using Later = std::function<void(int ms, std::function<void()>)>;
    void setRetry(Later later) { m_later = std::move(later); }
    static constexpr int kLockRetryMs = 10000;

private:
    void loadFailed(const QString& reason);
    QString clockText() const;
    bool english() const;
    // Real minutes between two local wall-clock serials, whole days dropped.
    int recordingMinutes(double from, double to);
    // The real instant (seconds since 1970) of a local wall-clock serial. On the autumn night
    // a time shown twice is its first showing for a start and its second for an end; on the
    // spring night a time never shown starts when the clock jumps past it.
    qint64 instantOf(double serial, bool first);

    AppState& m_state;
    TodoList& m_todo;
    ActivityList& m_activity;
    ViewerDatabase& m_db;
    Prompter& m_prompter;
    MainView& m_view;
    TickTimer& m_timer;
    const Clock& m_clock;
    SettingsStore& m_store;
    std::function<void()> m_endProcess;
    Later m_later;
    bool m_retryPending = false;
    bool m_loading = false;
    // UTC offsets at the start and end of a day, so that only days with a change cost more.
    QHash<qint64, std::pair<int, int>> m_dayOffsets;
};

} // namespace dorvel
