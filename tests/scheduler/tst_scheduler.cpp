#include "activitylist.h"
#include "appstate.h"
#include "autostart.h"
#include "eventlog.h"
#include "fakeprocesses.h"
#include "fakes.h"
#include "scheduler.h"
#include "todolist.h"
#include "viewerdb.h"
#include "viewerfolder.h"

#include <QSqlQuery>
#include <QtTest>

using namespace dorvel;
using namespace dorvel::test;

namespace {

struct RecordingAutostart final : Autostart {
    void setRunEntry(const QString& name, const QString& program, const QStringList& args) override
    {
        entries.append(QStringList{name, program} + args);
    }
    void deleteRunEntry(const QString&) override {}
    QList<QStringList> entries;
};

QDateTime at(int h, int m, int s = 0)
{
    return QDateTime(QDate(2026, 12, 5), QTime(h, m, s));
}

// The tick with a real viewer database file, real lists and a scripted process table; the
// viewer sits in a folder with blanks in its path.
struct Rig {
    QTemporaryDir tmp;
    ViewerFolder folder = ViewerFolder::create(tmp.filePath("Program Files/My Orbivu"));
    AppState app;
    TodoList list;
    ActivityList activity;
    ViewerDatabase db{QUuid::createUuid().toString()};
    FakeProcessTable table;
    FakeLauncher launcher{&table};
    ViewerProcess viewer{table, launcher};
    FakePrompter prompter;
    FakeView view;
    FakeTimer timer;
    FakeClock clock;
    EventLog log{clock, app.settings};
    RecordingAutostart autostart;
    int ended = 0;
    int wakeTimerClosed = 0;
    int recordingsStarted = 0;
    Scheduler scheduler{app,  list,  activity, db,  viewer,   prompter,
                        view, timer, clock,    log, autostart};

    Rig()
    {
        folder.addChannel(12, "Das Erste");
        app.orbivuExePath = folder.exe;
        app.appPath = "/opt/dorvel app";
        app.settings.saveLog = true;
        log.setPath(tmp.filePath("Dorvel.log"));
        QVERIFY(db.open(folder.db));
        Scheduler::Hooks hooks;
        hooks.checkAfterRecording = [this] { checkAfterRecording(); };
        hooks.closeWakeTimer = [this] { ++wakeTimerClosed; };
        hooks.endProcess = [this] { ++ended; };
        hooks.recordingStarted = [this] { ++recordingsStarted; };
        scheduler.setHooks(hooks);
        timer.start();
    }
    // The status half of the after-recording check, as far as the tick relies on it.
    void checkAfterRecording()
    {
        const bool ours = viewer.isTaskRunning(app.orbivuTaskId, app.orbivuTaskStart, "Orbivu.exe");
        app.orbivuState = ours ? 1 : viewer.isProcessRunning("Orbivu.exe") ? 2 : 0;
    }
    // One entry in the database and in the list, as the loader would build it.
    void addEntry(const QString& title, const QDateTime& start, int minutes, bool inDatabase = true)
    {
        const QDateTime end = start.addSecs(minutes * 60);
        const QString dbStart = start.toString("yyyy.MM.dd HH:mm");
        const QString dbEnd = end.toString("yyyy.MM.dd HH:mm");
        if (inDatabase)
            folder.addRecord(12, dbStart, dbEnd, title, "long");
        list.appendRow(QStringLiteral("\t12\tDas Erste\t%1\t%2\t%3\tlong\t0\t0\t%4\t%5\t%6\t%1\t%7")
                           .arg(formatDefault(start), formatDefault(end), title,
                                start.toString("yyyyMMddHHmm"), dbStart, dbEnd,
                                QString::number(minutes)));
        list.nextEventRow = 1;
        list.nextEventColumn = TodoList::RecStart;
        list.nextEventTime = *parseDefault(list.cell(1, TodoList::RecStart));
        list.recordingCount = list.rows() - 1;
    }
    void userStartsViewer(qint64 pid = 900) { table.add(pid, folder.exe, 77); }
    void tickAt(const QDateTime& t)
    {
        clock.set(t);
        scheduler.tick();
    }
    QStringList logLines() const
    {
        QFile f(log.path());
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
    }
    QStringList records() const
    {
        QStringList rows;
        for (QSqlQuery q("SELECT * FROM RECORD", db.db()); q.next();) {
            QStringList v;
            for (int i = 0; i < q.record().count(); ++i)
                v << q.value(i).toString();
            rows << v.join('|');
        }
        rows.sort();
        return rows;
    }
};

} // namespace

class TestScheduler : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void start_data()
    {
        QTest::addColumn<bool>("switches"); // Streamonly and UseShortdesc
        QTest::addColumn<int>("delay");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("shown");
        const QString hostile = " ../../etc/\"pw\"; rm -rf * ";
        QTest::newRow("defaults, hostile title")
            << true << 500 << hostile
            << QStringList{"/close",      "/priority=high",
                           "/streamonly", "/tray",
                           "/delay=500",  "/record=95",
                           "/channel=12", "/file=__#__#etc#\"pw\";_rm_-rf_#"}
            << hostile;
        QTest::newRow("switches and UseShortdesc off, negative delay")
            << false << -5 << "Nachrichten"
            << QStringList{"/close", "/priority=high", "/delay=-5", "/record=95", "/channel=12"}
            << "2026-12-05 20:15:00";
    }
    // Nothing starts at the launch time itself, the first tick after it does; of two equal
    // database entries only the first goes.
    void start()
    {
        QFETCH(bool, switches);
        QFETCH(int, delay);
        QFETCH(QString, title);
        QFETCH(QStringList, args);
        QFETCH(QString, shown);
        Rig rig;
        rig.app.settings.useShortdesc = rig.app.settings.streamonly = switches;
        rig.app.settings.recDelaySec = qint16(delay);
        rig.app.resumedFromStandby = true;
        rig.addEntry(title, at(20, 15), 95);
        rig.folder.addRecord(12, "2026.12.05 20:15", "2026.12.05 21:50", title, "long");
        rig.view.nextEventText = "2026-12-05 20:15:00";
        rig.tickAt(at(20, 14, 59));
        rig.tickAt(at(20, 15));
        QVERIFY(rig.launcher.starts.isEmpty());
        rig.clock.advanceMs(1);
        rig.scheduler.tick();
        QCOMPARE(rig.launcher.starts.size(), 1);
        // Recording at once, before any status check: StandBy now must wait for its end.
        QCOMPARE(rig.app.orbivuState, 1);
        QCOMPARE(rig.recordingsStarted, 1);
        const FakeLauncher::Start& s = rig.launcher.starts.first();
        QCOMPARE(s.program, rig.folder.exe);
        QCOMPARE(s.args, args);
        QCOMPARE(s.workingDir + "/", rig.folder.root);
        QCOMPARE(rig.activity.lines().last(),
                 "2026-12-05 20:15:00   Start Rec:  " + shown + "  (95 Min)");
        QCOMPARE(rig.logLines().last(),
                 "2026-12-05 20:15:00  " + rig.folder.exe + " " + args.join(' '));
        QCOMPARE(rig.logLines().filter("   Timer Restarted (after StandBy)").size(), 1);
        QCOMPARE(rig.folder.recordCount(), 1);
        // That was the last entry: the sentinel, an empty label, and the timer runs on.
        QCOMPARE(rig.list.nextEventTime, TodoList::kNoEventStarted);
        QCOMPARE(rig.view.nextEventText, QString());
        QVERIFY(rig.timer.active);
        rig.tickAt(at(23, 0));
        QCOMPARE(rig.launcher.starts.size(), 1);
    }

    // The window opens about 47.04 s before the launch time; one warning per coming start;
    // when the box is closed more than a minute after the launch time the program ends.
    void warningWindowAndExpiry()
    {
        Rig rig;
        rig.addEntry("Erste", at(20, 15), 30);
        rig.addEntry("Zweite", at(21, 0), 30);
        rig.userStartsViewer();
        rig.view.trayIcon = true;
        rig.app.settings.shutDownType = "Rule"; // without AutoRun: an autostart entry
        QDateTime boxClosed = at(20, 15, 59);
        rig.prompter.onShow = [&](const Prompter::Box& box) {
            if (box.text == rig.app.msg.MsgCloseViewerNow)
                rig.clock.set(boxClosed);
        };
        rig.tickAt(at(20, 15).addMSecs(-47100));
        QVERIFY(rig.prompter.shown.isEmpty());
        for (int ms : {-47000, 0, 30000})
            rig.tickAt(at(20, 15).addMSecs(ms));
        QCOMPARE(rig.prompter.texts(), QStringList{rig.app.msg.MsgCloseViewerNow});
        QVERIFY(rig.prompter.shown.first().systemModal);
        QVERIFY(rig.logLines().last().endsWith("    " + rig.app.msg.MsgCloseViewerNow));
        // Closed within the minute: once the viewer is gone the entry starts, full length.
        rig.table.remove(900);
        rig.tickAt(at(20, 16));
        QCOMPARE(rig.launcher.starts.size(), 1);
        QVERIFY(rig.launcher.starts[0].args.contains("/record=30"));
        QCOMPARE(rig.list.nextEventTime, toDaySerial(at(21, 0)));
        QCOMPARE(rig.view.nextEventText, QStringLiteral("2026-12-05 21:00:00"));
        QCOMPARE(rig.autostart.entries,
                 (QList<QStringList>{{"Dorvel", "/opt/dorvel app/dorvel", "min"}}));
        QCOMPARE(rig.ended, 0);
        // The next start warns again; closed 61 s late, the start is given up.
        rig.table.remove(4000);
        rig.userStartsViewer(901);
        boxClosed = at(21, 1, 1);
        rig.tickAt(at(20, 59, 30));
        QCOMPARE(rig.prompter.texts().mid(1),
                 (QStringList{rig.app.msg.MsgCloseViewerNow, rig.app.msg.MsgRequestExpired}));
        QVERIFY(rig.logLines().last().endsWith("    " + rig.app.msg.MsgRequestExpired));
        QCOMPARE(rig.ended, 1);
        QCOMPARE(rig.wakeTimerClosed, 1);
        QVERIFY(!rig.view.trayIcon);
        QVERIFY(!rig.timer.active);
        QCOMPARE(rig.folder.recordCount(), 1); // the entry stays in the database
    }

    void autoCloseAsksEveryTick()
    {
        Rig rig;
        rig.app.settings.autoClose = true;
        rig.addEntry("Nachrichten", at(20, 15), 95);
        rig.userStartsViewer(900);
        rig.table.obeysClose = false; // the viewer asks its user first
        rig.tickAt(at(20, 14, 12));   // 48 s before: outside the window
        for (int s : {14, 59, 80})    // late as well: still only a request, never forced
            rig.tickAt(at(20, 14).addSecs(s));
        QCOMPARE(rig.table.closeRequests, QList<qint64>(3, 900));
        QVERIFY(rig.prompter.shown.isEmpty());
        rig.table.obeysClose = true;
        rig.tickAt(at(20, 15, 21)); // closes it
        rig.tickAt(at(20, 15, 22)); // sees it gone and starts
        QCOMPARE(rig.launcher.starts.size(), 1);
    }

    // The entry goes back into the database unchanged, the activity list says what failed
    // and which entry, and nothing retries every tick.
    void failedStartPutsTheEntryBack()
    {
        Rig rig;
        rig.launcher.failWith = "not executable";
        rig.addEntry("Tatort", at(20, 15), 90);
        rig.addEntry("Später", at(23, 0), 30);
        const QStringList before = rig.records();
        rig.tickAt(at(20, 15, 1));
        QCOMPARE(rig.records(), before);
        QCOMPARE(rig.list.recordingCount, 1);
        QVERIFY(rig.activity.lines().last().contains(
            QRegularExpression("Start Rec failed: not executable; channel 12 .*2026-12-05 20:15:00"
                               ".*2026-12-05 21:45:00.*\"Tatort\".*back in the")));
        QVERIFY(rig.logLines().last().contains("Start Rec failed"));
        QCOMPARE(rig.app.orbivuState, 0); // nothing records, StandBy may go ahead
        QCOMPARE(rig.recordingsStarted, 0);
        for (int s = 2; s < 10; ++s)
            rig.tickAt(at(20, 15, s));
        QCOMPARE(rig.launcher.starts.size(), 1);
        QCOMPARE(rig.list.nextEventTime, toDaySerial(at(23, 0)));
    }

    void noDoubleStartWhileABoxIsOpen_data()
    {
        QTest::addColumn<bool>("viewerRuns"); // the warning box; else the "ERROR" box
        QTest::newRow("warning") << true;
        QTest::newRow("ERROR of a failed delete") << false;
    }
    void noDoubleStartWhileABoxIsOpen()
    {
        QFETCH(bool, viewerRuns);
        Rig rig;
        // Without the viewer running, the viewer's user deleted the entry meanwhile.
        rig.addEntry("Erste", at(20, 15), 30, viewerRuns);
        rig.addEntry("Danach", at(20, 50), 30);
        if (viewerRuns)
            rig.userStartsViewer();
        int startsAtBox = -1;
        rig.prompter.onShow = [&](const Prompter::Box&) {
            startsAtBox = int(rig.launcher.starts.size());
            rig.table.remove(900); // the user closes the viewer, ticks keep coming
            for (int s = 2; s <= 10; ++s)
                rig.tickAt(at(20, 15, s));
        };
        rig.tickAt(viewerRuns ? at(20, 14, 40) : at(20, 15, 1));
        QCOMPARE(startsAtBox, viewerRuns ? 0 : 1); // a recording does not wait for a box
        QCOMPARE(rig.launcher.starts.size(), startsAtBox);
        rig.tickAt(at(20, 15, 21));
        rig.tickAt(at(20, 30));
        QCOMPARE(rig.prompter.texts(),
                 QStringList{viewerRuns ? rig.app.msg.MsgCloseViewerNow : "ERROR"});
        QCOMPARE(rig.launcher.starts.size(), 1);
        QCOMPARE(rig.folder.recordCount(), 1);
        QCOMPARE(rig.activity.lines().filter("could not delete").size(), viewerRuns ? 0 : 1);
    }
};

QTEST_GUILESS_MAIN(TestScheduler)
#include "tst_scheduler.moc"
