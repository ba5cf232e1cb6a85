#include "scheduler.h"

#include "activitylist.h"
#include "appstate.h"
#include "autostart.h"
#include "clock.h"
#include "eventlog.h"
#include "filename.h"
#include "mainview.h"
#include "notifier.h"
#include "plaintext.h"
#include "prompter.h"
#include "ticktimer.h"
#include "todolist.h"
#include "viewerdb.h"
#include "viewerprocess.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>
#include <QThread>

#include <cmath>

#include <unistd.h>

namespace dorvel {

namespace {

void call(const std::function<void()>& hook)
{
    if (hook)
        hook();
}

// Titles may hold anything; a log line must stay one line.
QString oneLine(const QString& text)
{
    return escapeControls(text);
}

QString viewerFolder(const QString& exePath)
{
    return QFileInfo(exePath).absolutePath();
}

ViewerDatabase::RecordKey recordKey(const TodoList& list, int row)
{
    return {list.rowId(row),
            list.fingerprint(row),
            list.cell(row, TodoList::DbStartTime),
            list.cell(row, TodoList::DbEndTime),
            list.cell(row, TodoList::ShortDesc),
            list.cell(row, TodoList::LongDesc)};
}

constexpr qint64 kAtOnceMs = 2000;           // a viewer gone this soon has recorded nothing
constexpr qint64 kMinFreeBytes = 1 << 20;    // a record folder with less than this is full
constexpr int kRetryBusyMs = 200;            // a retried delete waits this long for a lock
constexpr double kRetryEvery = 10 * kSecond; // and is tried again this often
// A longer wait is cut short (a timer takes an int); every tick arms the wake afresh anyway.
constexpr qint64 kLongestWakeMs = 3600 * 1000;

} // namespace

QString ViewerCommand::text() const
{
    QString t = program;
    for (const QString& a : args)
        t += QLatin1Char(' ') + a;
    return t;
}

std::optional<QSqlRecord> deleteStartedRecording(TodoList& list, ViewerDatabase& db,
                                                 Prompter& prompter, int row)
{
    std::optional<QSqlRecord> taken;
    if (row >= 1 && row < list.rows())
        taken = db.takeRecord(recordKey(list, row));
    if (!taken) {
        prompter.message(QStringLiteral("ERROR"));
        return std::nullopt;
    }
    list.removeRow(row);
    return taken;
}

Scheduler::Scheduler(AppState& state, TodoList& list, ActivityList& activity, ViewerDatabase& db,
                     ViewerProcess& viewer, Prompter& prompter, MainView& view, TickTimer& timer,
                     const Clock& clock, EventLog& log, Autostart& autostart, Hooks hooks)
    : m_state(state), m_list(list), m_activity(activity), m_db(db), m_viewer(viewer),
      m_prompter(prompter), m_view(view), m_timer(timer), m_clock(clock), m_log(log),
      m_autostart(autostart), m_hooks(std::move(hooks))
{}

void Scheduler::tick()
{
    if (m_inTick || m_ended) {
        // Delivered from a nested event loop of the running tick (its pause after a start, a
        // power action of the status check). The running tick finishes its own work; this one
        // only shows the time, so that no decision is taken twice.
        m_view.setClockText(formatDefault(m_clock.now()));
        return;
    }
    m_inTick = true;
    struct Leave {
        bool& flag;
        ~Leave() { flag = false; }
    } leave{m_inTick};
    // The status check and the close request share one reading of the process table. The
    // start comes after it, and reads afresh.
    std::optional<ViewerProcess::SnapshotScope> oneTableRead;
    oneTableRead.emplace(m_viewer);

    if (m_state.resumedFromStandby) {
        m_state.resumedFromStandby = false;
        m_log.writeLine(QStringLiteral("   Timer Restarted (after StandBy)"));
    }
    if (m_state.standbyMode)
        call(m_hooks.signalSystemRequired);
    // Before the status check: that may decide on a power action for the ended recording.
    watchStartedViewer();
    call(m_hooks.checkAfterRecording);
    if (!m_pendingDeletes.isEmpty())
        retryDeletes();

    const double now = m_clock.nowSerial();
    m_view.setClockText(formatDefault(m_clock.now()));

    blockingViewer(now);
    oneTableRead.reset();
    if (now > m_list.nextEventTime && m_state.orbivuState == 0)
        startEntry(now);
    // Also after a clock change or a resume: the wake runs on a clock that knows neither.
    armWake();
}

Scheduler::~Scheduler()
{
    if (m_wake)
        m_timer.setStartListener({});
}

void Scheduler::setWakeTimer(WakeTimer* wake)
{
    m_wake = wake;
    m_timer.setStartListener([this] { armWake(); });
    armWake();
}

void Scheduler::wake()
{
    // Inside a tick (its pause after a start) the running tick arms the next wake itself; a
    // stopped tick arms it when it starts again.
    if (!m_wake || m_inTick || m_ended || !m_timer.isActive())
        return;
    if (m_clock.nowSerial() > m_list.nextEventTime)
        tick();
    else
        armWake();
}

void Scheduler::armWake()
{
    if (!m_wake)
        return;
    const double launch = m_list.nextEventTime;
    // Both are whole milliseconds of the wall clock; one more is strictly after the launch.
    const qint64 ahead = std::llround((launch - m_clock.nowSerial()) * kMsPerDay);
    if (m_ended || launch >= TodoList::kNoEventLoaded || ahead < 0) {
        // Nothing to wait for, or due already: the tick starts it once the viewer has gone.
        m_wake->cancel();
        return;
    }
    m_wake->wakeIn(std::min(ahead, kLongestWakeMs) + 1);
}

QString Scheduler::entryKey(const TodoList& list, int row)
{
    if (row < 1 || row >= list.rows())
        return {};
    const QChar sep(0x1f);
    return QString::number(list.rowId(row)) + sep + list.fingerprint(row) + sep +
           list.cell(row, TodoList::DbStartTime) + sep + list.cell(row, TodoList::DbEndTime) + sep +
           list.cell(row, TodoList::ShortDesc) + sep + list.cell(row, TodoList::LongDesc);
}

void Scheduler::blockingViewer(double now)
{
    if (!(m_list.nextEventTime - kBusyWindow < now) || m_state.orbivuState == 0)
        return;
    if (m_state.settings.autoClose) {
        m_timer.stop();
        const bool closed = m_viewer.closeViewer(); // still there: asked again next tick
        m_timer.start();
        const QString key = entryKey(m_list, m_list.nextEventRow);
        if (!closed && now > m_list.nextEventTime && m_closeIgnoredFor != key) {
            m_closeIgnoredFor = key;
            alert(QStringLiteral("   Recording delayed: the running viewer does not close when "
                                 "asked; the entry waits until it has gone: %1")
                      .arg(describeEntry(m_list.nextEventRow)));
        }
        return;
    }
    if (m_state.busyWarningShown)
        return;

    m_state.busyWarningShown = true;
    const MessageTable& msg = m_state.msg;
    m_log.writeLine(QStringLiteral("    ") + msg.MsgCloseViewerNow);
    // Left open at night, the box must not hold up the next ticks: the entry still starts as
    // soon as the viewer has gone, and the end of a running recording is still noticed.
    const QString key = entryKey(m_list, m_list.nextEventRow);
    const double launch = m_list.nextEventTime;
    m_prompter.post(Prompter::Box{msg.MsgCloseViewerNow, Prompter::Buttons::Ok,
                                  Prompter::Icon::None, QString(), true},
                    [this, key, launch](Prompter::Answer) { busyWarningClosed(key, launch); });
}

void Scheduler::busyWarningClosed(const QString& key, double launch)
{
    // Started meanwhile, or no longer the next event (a reload, a later warning): nothing to
    // give up.
    if (m_ended || m_started.contains(key) || m_list.nextEventTime != launch ||
        entryKey(m_list, m_list.nextEventRow) != key)
        return;
    if (!(launch + kExpiry < m_clock.nowSerial()))
        return;
    const MessageTable& msg = m_state.msg;
    m_ended = true;
    m_timer.stop();
    m_prompter.show(Prompter::Box{msg.MsgRequestExpired, Prompter::Buttons::Ok,
                                  Prompter::Icon::None, QString(), false});
    m_log.writeLine(QStringLiteral("    ") + msg.MsgRequestExpired);
    m_view.removeTrayIcon();
    call(m_hooks.closeWakeTimer);
    call(m_hooks.endProcess);
}

ViewerCommand Scheduler::commandFor(int row) const
{
    const Settings& s = m_state.settings;
    const int c = m_list.nextEventColumn;
    ViewerCommand cmd;
    cmd.program = m_state.orbivuExePath;
    cmd.args << QStringLiteral("/close") << QStringLiteral("/priority=high");
    if (s.streamonly)
        cmd.args << QStringLiteral("/streamonly") << QStringLiteral("/tray");
    if (s.recDelay)
        cmd.args << QStringLiteral("/delay=") + QString::number(s.recDelaySec);
    cmd.args << QStringLiteral("/record=") + m_list.cell(row, c + 1);
    cmd.args << QStringLiteral("/channel=") + m_list.cell(row, TodoList::Num);
    if (s.useShortdesc) {
        // Without a record folder the viewer writes into its working folder, its own.
        const QString dir = m_state.recordDirectory.isEmpty()
                                ? viewerFolder(m_state.orbivuExePath) + QLatin1Char('/')
                                : m_state.recordDirectory;
        cmd.args << QStringLiteral("/file=") +
                        uniqueRecordingName(m_list.cell(row, TodoList::ShortDesc), dir);
    }
    return cmd;
}

QString Scheduler::describeEntry(int row) const
{
    return oneLine(QStringLiteral("channel %1 %2, %3 to %4, \"%5\"")
                       .arg(m_list.cell(row, TodoList::Num), m_list.cell(row, TodoList::Channel),
                            m_list.cell(row, TodoList::StartTime),
                            m_list.cell(row, TodoList::EndTime),
                            m_list.cell(row, TodoList::ShortDesc)));
}

void Scheduler::report(const QString& text)
{
    m_activity.append(formatDefault(m_clock.now()) + text);
    m_log.writeLine(text);
}

void Scheduler::alert(const QString& text)
{
    report(text);
    if (m_notifier)
        m_notifier->notify(QStringLiteral("Dorvel: recording problem"),
                           escapeControls(text.trimmed()));
}

QString Scheduler::recordFolderProblem() const
{
    // Without a record folder the viewer writes into its working folder, its own.
    const QString dir = m_state.recordDirectory.isEmpty() ? viewerFolder(m_state.orbivuExePath)
                                                          : m_state.recordDirectory;
    const QFileInfo fi(QDir::cleanPath(dir));
    if (!fi.exists())
        return QStringLiteral("the record folder %1 does not exist").arg(dir);
    if (!fi.isDir())
        return QStringLiteral("the record folder %1 is not a folder").arg(dir);
    if (::access(QFile::encodeName(fi.absoluteFilePath()).constData(), W_OK | X_OK) != 0)
        return QStringLiteral("the record folder %1 is not writable").arg(dir);
    const QStorageInfo storage(fi.absoluteFilePath());
    if (storage.isValid() && storage.bytesAvailable() >= 0 &&
        storage.bytesAvailable() < kMinFreeBytes)
        return QStringLiteral("the disk of the record folder %1 is full").arg(dir);
    return {};
}

void Scheduler::watchStartedViewer()
{
    if (m_watch.pid == 0)
        return;
    if (m_state.orbivuTaskId != m_watch.pid) {
        m_watch = {};
        return;
    }
    const qint64 ms = m_watch.startedAt.msecsTo(m_clock.now());
    if (ms > kAtOnceMs) {
        m_watch = {};
        return;
    }
    if (m_viewer.isTaskRunning(m_watch.pid, m_state.orbivuTaskStart, QStringLiteral("Orbivu.exe")))
        return;
    alert(QStringLiteral("   Recording failed: the viewer ended %1 s after its start: %2")
              .arg(QString::number(double(qMax<qint64>(ms, 0)) / 1000.0, 'f', 1), m_watch.entry));
    m_watch = {};
}

void Scheduler::moveNextEventTo(int row)
{
    const int c = m_list.nextEventColumn;
    // Rows that timed out at the load (or could not be computed) are never started; the
    // next event is the next row that is still pending.
    while (row >= 1 && row < m_list.rows() && !m_list.isPending(row))
        ++row;
    m_list.nextEventRow = row;
    if (row >= 1 && row < m_list.rows()) {
        if (const std::optional<double> t = parseDefault(m_list.cell(row, c))) {
            m_list.nextEventTime = *t;
            m_view.setNextEventText(formatDefault(*t));
            // Brings the program back after the shutdown that the "Rule" action may take.
            if (m_state.settings.shutDownType == QLatin1String("Rule") &&
                !m_state.settings.autoRun) {
                m_autostart.setRunEntry(QStringLiteral("Dorvel"),
                                        m_state.appPath + QStringLiteral("/dorvel"),
                                        {QStringLiteral("min")});
            }
            return;
        }
        report(QStringLiteral("   Next Rec: unreadable start time \"%1\" in the to-do list; "
                              "load the recordings again")
                   .arg(oneLine(m_list.cell(row, c))));
    }
    m_list.nextEventTime = TodoList::kNoEventStarted;
    m_view.setNextEventText(QString());
}

void Scheduler::startEntry(double now)
{
    const int r = m_list.nextEventRow;
    const int c = m_list.nextEventColumn;
    m_state.busyWarningShown = false;

    if (r < 1 || r >= m_list.rows() || c < 1 || c + 1 >= TodoList::ColumnCount) {
        report(QStringLiteral("   Start Rec: no entry in row %1 of the to-do list, nothing started")
                   .arg(r));
        m_list.nextEventTime = TodoList::kNoEventStarted;
        m_view.setNextEventText(QString());
        return;
    }
    const QString key = entryKey(m_list, r);
    if (m_started.contains(key)) {
        // Loaded again while its delete was still failing: it is (or was) recorded already.
        report(QStringLiteral("   Start Rec: not started again, already started in this run: %1")
                   .arg(describeEntry(r)));
        if (m_list.recordingCount > 0)
            --m_list.recordingCount;
        m_list.removeRow(r);
        moveNextEventTo(r);
        return;
    }
    const QString minutes = m_list.cell(r, c + 1).trimmed();
    const QString channel = m_list.cell(r, TodoList::Num).trimmed();
    if (minutes.isEmpty() || channel.isEmpty()) {
        // Nothing is deleted; the entry stays in the list and the database and is skipped.
        m_skippedTold.insert(key);
        report(QStringLiteral("   Start Rec: not started, the entry has no %1: %2")
                   .arg(minutes.isEmpty() ? QStringLiteral("length") : QStringLiteral("channel"),
                        describeEntry(r)));
        moveNextEventTo(r + 1);
        return;
    }

    const ViewerCommand cmd = commandFor(r);
    const QString entry = describeEntry(r);
    const QString shown = m_state.settings.useShortdesc ? m_list.cell(r, TodoList::ShortDesc)
                                                        : m_list.cell(r, TodoList::StartTime);
    m_activity.append(formatDefault(now) + QStringLiteral("   Start Rec:  ") + shown +
                      QStringLiteral("  (") + m_list.cell(r, c + 1) + QStringLiteral(" Min)"));

    // Rows above this one that are still pending share its launch minute (the overlap was
    // ignored): only one of them can be recorded, the others would wait silently for ever.
    for (int above = 1; above < r; ++above) {
        const QString aboveKey = entryKey(m_list, above);
        if (!m_list.isPending(above) || m_skippedTold.contains(aboveKey))
            continue;
        m_skippedTold.insert(aboveKey);
        report(QStringLiteral("   Not recorded: it is due at the same time as the entry started "
                              "now (%1): %2")
                   .arg(m_list.cell(r, TodoList::ShortDesc), describeEntry(above)));
    }

    // The viewer would start and record nothing; say why before it starts.
    if (const QString problem = recordFolderProblem(); !problem.isEmpty())
        alert(QStringLiteral("   Recording fails: %1: %2").arg(problem, entry));

    // The viewer starts before the entry leaves the database: killed at any moment, the
    // program leaves the entry either in the database or being recorded, never lost.
    m_log.writeLine(QStringLiteral("  ") + cmd.text());
    QString error;
    const std::optional<StartedProcess> started =
        m_viewer.start(cmd.program, cmd.args, viewerFolder(cmd.program), &error);
    const ViewerDatabase::RecordKey dbKey = recordKey(m_list, r);
    if (started) {
        m_state.orbivuTaskId = started->pid;
        m_state.orbivuTaskStart = started->startTime;
        m_started.insert(key);
        m_watch = {started->pid, m_clock.now(), entry};
        // Recording from this moment on, not only from the next status check: a StandBy or
        // wake-tool command in between must wait for the recording's end.
        m_state.orbivuState = 1;
        call(m_hooks.recordingStarted);
    } else if (m_list.recordingCount > 0) {
        --m_list.recordingCount;
    }
    // At once, so that the viewer's own timer never sees the entry it is recording.
    const bool deleted = started && m_db.takeRecord(dbKey).has_value();
    const bool gone = !deleted && m_db.lastFailure() == ViewerDatabase::Failure::NotFound;
    const QString deleteError = deleted ? QString() : m_db.lastError();
    // The row leaves the list in either case: left in, a failed start would be tried every
    // 500 ms, and a started entry whose delete failed would be recorded a second time.
    m_list.removeRow(r);

    // Let the list repaint.
    m_timer.stop();
    const QDateTime pauseStart = m_clock.now();
    QThread::msleep(100);
    if (m_clock.now() < pauseStart.addMSecs(100))
        call(m_hooks.processEvents);
    m_timer.setInterval(500);
    m_timer.start();

    moveNextEventTo(r);

    if (!started) {
        alert(QStringLiteral("   Start Rec failed: %1; %2; the entry stays in the viewer "
                             "database. It is not started again until the recordings are "
                             "loaded again.")
                  .arg(oneLine(error), entry));
        return;
    }
    if (deleted)
        return;
    report(
        QStringLiteral("   Start Rec: could not delete the entry from the viewer "
                       "database (%1)%2: %3")
            .arg(oneLine(deleteError), gone ? QString() : QStringLiteral(", trying again"), entry));
    if (!gone)
        m_pendingDeletes.append({dbKey, entry, m_clock.nowSerial() + kRetryEvery});
    // Shown only now, and without waiting, so that the box holds nothing up.
    m_prompter.post(Prompter::Box{QStringLiteral("ERROR"), Prompter::Buttons::Ok,
                                  Prompter::Icon::None, QString(), false});
}

void Scheduler::retryDeletes()
{
    const double now = m_clock.nowSerial();
    for (qsizetype i = 0; i < m_pendingDeletes.size();) {
        PendingDelete& d = m_pendingDeletes[i];
        if (now < d.nextTry) {
            ++i;
            continue;
        }
        // A lock is waited for only briefly here: the tick must go on.
        m_db.setBusyTimeout(kRetryBusyMs);
        const bool taken = m_db.takeRecord(d.key).has_value();
        const bool gone = !taken && m_db.lastFailure() == ViewerDatabase::Failure::NotFound;
        m_db.setBusyTimeout(ViewerDatabase::kBusyTimeoutMs);
        if (taken || gone) {
            report(taken
                       ? QStringLiteral("   Deleted from the viewer database now: %1").arg(d.entry)
                       : QStringLiteral("   No longer in the viewer database: %1").arg(d.entry));
            m_pendingDeletes.removeAt(i);
            continue;
        }
        d.nextTry = now + kRetryEvery;
        ++i;
    }
}

} // namespace dorvel
