#include "scheduler.h"

#include "activitylist.h"
#include "appstate.h"
#include "autostart.h"
#include "clock.h"
#include "eventlog.h"
#include "filename.h"
#include "mainview.h"
#include "prompter.h"
#include "ticktimer.h"
#include "todolist.h"
#include "viewerdb.h"
#include "viewerprocess.h"

#include <QFileInfo>
#include <QThread>

namespace dorvel {

namespace {

void call(const std::function<void()>& hook)
{
    if (hook)
        hook();
}

// Titles may hold anything; a log line must stay one line.
QString oneLine(QString text)
{
    for (QChar& ch : text) {
        if (ch.category() == QChar::Other_Control)
            ch = QLatin1Char(' ');
    }
    return text;
}

QString viewerFolder(const QString& exePath)
{
    return QFileInfo(exePath).absolutePath();
}

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
    if (row >= 1 && row < list.rows()) {
        taken = db.takeFirstRecord(
            list.cell(row, TodoList::DbStartTime), list.cell(row, TodoList::DbEndTime),
            list.cell(row, TodoList::ShortDesc), list.cell(row, TodoList::LongDesc));
    }
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
    if (m_inTick) {
        // Delivered while a box of the running tick is open or during its pause after a
        // start. The running tick finishes its own work; this one only shows the time, so
        // that no entry is started twice and no decision is taken twice.
        m_view.setClockText(formatDefault(m_clock.now()));
        return;
    }
    m_inTick = true;
    struct Leave {
        bool& flag;
        ~Leave() { flag = false; }
    } leave{m_inTick};
    // The status check and the close request share one reading of the process table. Boxes
    // and the start come after it, and read afresh.
    std::optional<ViewerProcess::SnapshotScope> oneTableRead;
    oneTableRead.emplace(m_viewer);

    if (m_state.resumedFromStandby) {
        m_state.resumedFromStandby = false;
        m_log.writeLine(QStringLiteral("   Timer Restarted (after StandBy)"));
    }
    if (m_state.standbyMode)
        call(m_hooks.signalSystemRequired);
    call(m_hooks.checkAfterRecording);

    double now = m_clock.nowSerial();
    m_view.setClockText(formatDefault(m_clock.now()));

    if (!blockingViewer(now, oneTableRead))
        return;
    oneTableRead.reset();
    if (now > m_list.nextEventTime && m_state.orbivuState == 0)
        startEntry(now);
}

bool Scheduler::blockingViewer(double& now, std::optional<ViewerProcess::SnapshotScope>& reading)
{
    if (!(m_list.nextEventTime - kBusyWindow < now) || m_state.orbivuState == 0)
        return true;
    if (m_state.settings.autoClose) {
        m_timer.stop();
        (void)m_viewer.closeViewer(); // a viewer that is still there is asked again next tick
        m_timer.start();
        return true;
    }
    if (m_state.busyWarningShown)
        return true;

    m_state.busyWarningShown = true;
    reading.reset();
    const MessageTable& msg = m_state.msg;
    m_log.writeLine(QStringLiteral("    ") + msg.MsgCloseViewerNow);
    m_prompter.show(Prompter::Box{msg.MsgCloseViewerNow, Prompter::Buttons::Ok,
                                  Prompter::Icon::None, QString(), true});
    now = m_clock.nowSerial();
    if (m_list.nextEventTime + kExpiry < now) {
        m_prompter.show(Prompter::Box{msg.MsgRequestExpired, Prompter::Buttons::Ok,
                                      Prompter::Icon::None, QString(), false});
        m_log.writeLine(QStringLiteral("    ") + msg.MsgRequestExpired);
        m_view.removeTrayIcon();
        call(m_hooks.closeWakeTimer);
        m_timer.stop();
        call(m_hooks.endProcess);
        return false;
    }
    return true;
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

void Scheduler::moveNextEventTo(int row)
{
    const int c = m_list.nextEventColumn;
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
    const QString minutes = m_list.cell(r, c + 1).trimmed();
    const QString channel = m_list.cell(r, TodoList::Num).trimmed();
    if (minutes.isEmpty() || channel.isEmpty()) {
        // Nothing is deleted; the entry stays in the list and the database and is skipped.
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

    const std::optional<QSqlRecord> taken = m_db.takeFirstRecord(
        m_list.cell(r, TodoList::DbStartTime), m_list.cell(r, TodoList::DbEndTime),
        m_list.cell(r, TodoList::ShortDesc), m_list.cell(r, TodoList::LongDesc));
    const QString deleteError = taken ? QString() : m_db.lastError();
    // The row leaves the list even when the database kept the entry: left in, it would be
    // the next event again and be recorded a second time.
    m_list.removeRow(r);

    // Let the list repaint before the viewer takes the machine.
    m_timer.stop();
    const QDateTime pauseStart = m_clock.now();
    QThread::msleep(100);
    if (m_clock.now() < pauseStart.addMSecs(100))
        call(m_hooks.processEvents);
    m_timer.setInterval(500);
    m_timer.start();

    moveNextEventTo(r);

    m_log.writeLine(QStringLiteral("  ") + cmd.text());
    QString error;
    const std::optional<StartedProcess> started =
        m_viewer.start(cmd.program, cmd.args, viewerFolder(cmd.program), &error);
    if (started) {
        m_state.orbivuTaskId = started->pid;
        m_state.orbivuTaskStart = started->startTime;
        // Recording from this moment on, not only from the next status check: a StandBy or
        // wake-tool command in between must wait for the recording's end.
        m_state.orbivuState = 1;
        call(m_hooks.recordingStarted);
    } else {
        // The entry goes back where it was; it stays out of this run's schedule (the row
        // is gone from the list) so that a missing viewer is not started every 500 ms.
        if (m_list.recordingCount > 0)
            --m_list.recordingCount;
        QString kept;
        if (!taken)
            kept = QStringLiteral("the viewer database has no such entry");
        else if (m_db.restoreRecord(*taken))
            kept = QStringLiteral("the entry is back in the viewer database");
        else
            kept = QStringLiteral("the entry could NOT be written back to the viewer database "
                                  "(%1), please enter it again")
                       .arg(oneLine(m_db.lastError()));
        report(QStringLiteral("   Start Rec failed: %1; %2; %3. It is not started again until "
                              "the recordings are loaded again.")
                   .arg(oneLine(error), entry, kept));
    }

    if (!taken) {
        // Shown only now, so that the box does not hold the recording up.
        report(QStringLiteral("   Start Rec: could not delete the entry from the viewer "
                              "database (%1): %2")
                   .arg(oneLine(deleteError), entry));
        m_prompter.message(QStringLiteral("ERROR"));
    }
}

} // namespace dorvel
