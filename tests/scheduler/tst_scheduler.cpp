#include "activitylist.h"
#include "appstate.h"
#include "autostart.h"
#include "eventlog.h"
#include "fakeprocesses.h"
#include "fakes.h"
#include "notifier.h"
#include "recordingsloader.h"
#include "scheduler.h"
#include "todolist.h"
#include "viewerdb.h"
#include "viewerfolder.h"

#include <QSqlQuery>
#include <QtTest>

using namespace dorvel;
using namespace dorvel::test;

namespace {

struct RecordingNotifier final : Notifier {
    void notify(const QString& summary, const QString& body) override
    {
        shown << summary + " | " + body;
    }
    QStringList shown;
};

struct RecordingAutostart final : Autostart {
    void setRunEntry(const QString& name, const QString& program, const QStringList& args) override
    {
        entries.append(QStringList{name, program} + args);
    }
    void deleteRunEntry(const QString&) override {}
    QList<QStringList> entries;
};

// The boxes as the user reads them; the rig's message table is the German one.
const QString kCloseViewerNow = QStringLiteral(
    "Orbivu läuft gerade! Bitte schließen! Eine Aufnahme soll in einer Minute gestartet werden!");
const QString kRequestExpired =
    QStringLiteral("Aufnahmestart ist abgelaufen. Diese Sendung bitte 'von Hand' aufnehmen "
                   "(Zukünftige Versionen werden das vielleicht besser handhaben...) Programm "
                   "schließt jetzt!");

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
    FakeWakeTimer wake;
    FakeClock clock;
    EventLog log{clock, app.settings};
    RecordingAutostart autostart;
    MemorySettingsStore store;
    RecordingNotifier notifier;
    int ended = 0;
    int wakeTimerClosed = 0;
    int recordingsStarted = 0;
    std::function<void()> duringPause; // what arrives in the pause after a start
    Scheduler scheduler{app,  list,  activity, db,  viewer,   prompter,
                        view, timer, clock,    log, autostart};
    RecordingsLoader loader{app,  list,  activity, db,    prompter,
                            view, timer, clock,    store, [this] { ++ended; }};

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
        hooks.processEvents = [this] {
            if (duringPause)
                duringPause();
        };
        scheduler.setHooks(hooks);
        scheduler.setNotifier(&notifier);
        scheduler.setWakeTimer(&wake);
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
    // Where the wake is armed for, on the wall clock; invalid when it is not armed.
    QDateTime wakeAt() const
    {
        return wake.armedMs < 0 ? QDateTime() : clock.now().addMSecs(wake.armedMs);
    }
    // The wake fires `early` ms before its time.
    void fireWake(qint64 early = 0)
    {
        clock.advanceMs(wake.armedMs - early);
        scheduler.wake();
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

    void wakeOnTheDot_data()
    {
        QTest::addColumn<QDateTime>("armedAt");
        QTest::addColumn<QDateTime>("firstWake");
        QTest::addColumn<int>("early"); // the first wake comes this many ms before its time
        QTest::addColumn<int>("wakes"); // until the start
        const QDateTime onTheDot = at(20, 13).addMSecs(1);
        QTest::newRow("a minute before") << at(20, 12) << onTheDot << 0 << 1;
        QTest::newRow("one ms before") << at(20, 12, 59).addMSecs(999) << onTheDot << 0 << 1;
        QTest::newRow("at the launch time itself") << at(20, 13) << onTheDot << 0 << 1;
        QTest::newRow("fired early") << at(20, 12) << onTheDot << 3 << 2;
        QTest::newRow("fired early by a whole second") << at(20, 12) << onTheDot << 1000 << 2;
        QTest::newRow("hours ahead, the wait is cut")
            << at(18, 0) << at(19, 0).addMSecs(1) << 0 << 3;
    }
    // The entry due at 20:13:00 starts at the first wake strictly after 20:13:00, once; a
    // wake before that only arms the next one.
    void wakeOnTheDot()
    {
        QFETCH(QDateTime, armedAt);
        QFETCH(QDateTime, firstWake);
        QFETCH(int, early);
        QFETCH(int, wakes);
        Rig rig;
        rig.clock.set(armedAt);
        rig.addEntry("Tagesschau", at(20, 13), 15);
        rig.addEntry("Danach", at(20, 40), 15);
        rig.timer.start();
        QCOMPARE(rig.wakeAt(), firstWake);
        int fired = 0;
        for (; rig.launcher.starts.isEmpty() && fired < 10; ++fired) {
            QVERIFY(rig.wakeAt().isValid());
            rig.fireWake(fired == 0 ? early : 0);
            if (rig.launcher.starts.isEmpty())
                QVERIFY(rig.clock.now() <= at(20, 13));
        }
        QCOMPARE(fired, wakes);
        QCOMPARE(rig.clock.now(), at(20, 13).addMSecs(1));
        QCOMPARE(rig.launcher.starts.size(), 1);
        QVERIFY(rig.launcher.starts[0].args.contains("/file=Tagesschau"));
        QCOMPARE(rig.recordingsStarted, 1);
        QCOMPARE(rig.activity.lines().last(),
                 "2026-12-05 20:13:00   Start Rec:  Tagesschau  (15 Min)");
        QCOMPARE(rig.wakeAt(), at(20, 40).addMSecs(1));
    }

    void wakeFollowsNextEvent_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QDateTime>("wakeAt"); // invalid: no wake armed
        QTest::addColumn<int>("starts");       // once that wake has fired
        const QDateTime neu = at(20, 13).addMSecs(1), danach = at(20, 40).addMSecs(1);
        QTest::newRow("a load brings an earlier entry") << "load" << neu << 1;
        QTest::newRow("a start moves on to the next entry") << "start" << danach << 2;
        QTest::newRow("the last entry started") << "last start" << QDateTime() << 1;
        QTest::newRow("a resume from standby") << "resume" << neu << 1;
        QTest::newRow("the clock set forward") << "clock forward" << neu << 1;
        QTest::newRow("the clock set back") << "clock back" << neu << 1;
        QTest::newRow("tick stopped over the launch time") << "stopped" << danach << 2;
    }
    // Whatever changes the next event or the clock arms the wake at the new launch time.
    void wakeFollowsNextEvent()
    {
        QFETCH(QString, change);
        QFETCH(QDateTime, wakeAt);
        QFETCH(int, starts);
        Rig rig;
        rig.clock.set(at(20, 10));
        rig.folder.addRecord(12, "2026.12.05 20:40", "2026.12.05 21:00", "Danach");
        rig.loader.getRecordings();
        QCOMPARE(rig.wakeAt(), at(20, 40).addMSecs(1));
        if (change != "last start") {
            rig.folder.addRecord(12, "2026.12.05 20:13", "2026.12.05 20:30", "Neu");
            if (change != "load") // else the load itself is the change
                rig.loader.getRecordings();
        }
        if (change == "load") {
            rig.loader.getRecordings();
        } else if (change.endsWith("start")) {
            rig.fireWake();
            QCOMPARE(rig.launcher.starts.size(), 1);
        } else if (change == "resume") {
            rig.timer.stop(); // standby: the wake's clock stands still meanwhile
            rig.clock.set(at(20, 12, 59).addMSecs(999));
            rig.app.resumedFromStandby = true;
            rig.timer.start();
        } else if (change.startsWith("clock")) {
            rig.tickAt(change == "clock forward" ? at(20, 12, 30) : at(20, 5));
        } else if (change == "stopped") {
            // A box that stops the tick is open at the launch time: the wake starts nothing,
            // the first tick after it does.
            rig.timer.stop();
            rig.fireWake();
            QVERIFY(rig.launcher.starts.isEmpty());
            rig.clock.set(at(20, 13, 5));
            rig.timer.start();
            QVERIFY(!rig.wakeAt().isValid());
            rig.tickAt(at(20, 13, 5).addMSecs(500));
            QCOMPARE(rig.launcher.starts.size(), 1);
        }
        QCOMPARE(rig.wakeAt(), wakeAt);
        rig.table.remove(4000); // the recording started above has ended
        if (wakeAt.isValid()) {
            rig.fireWake();
            QCOMPARE(rig.clock.now(), wakeAt);
        }
        QCOMPARE(rig.launcher.starts.size(), starts);
    }

    void tickAndWakeTogether_data()
    {
        QTest::addColumn<QString>("order");
        QTest::newRow("wake, then tick") << "wake tick";
        QTest::newRow("tick, then wake") << "tick wake";
        QTest::newRow("wake in the pause of the tick's start") << "tick(wake)";
        QTest::newRow("tick in the pause of the wake's start") << "wake(tick)";
        QTest::newRow("wake and tick in the pause") << "wake(wake tick)";
    }
    // Both timers due in the same millisecond: one start, and the wake moves on.
    void tickAndWakeTogether()
    {
        QFETCH(QString, order);
        Rig rig;
        rig.clock.set(at(20, 12));
        rig.addEntry("Tagesschau", at(20, 13), 15);
        rig.addEntry("Danach", at(20, 40), 15);
        rig.timer.start();
        rig.clock.set(at(20, 13).addMSecs(1));
        const QStringList outer = order.section('(', 0, 0).split(' ', Qt::SkipEmptyParts);
        const QStringList inner = order.section('(', 1).remove(')').split(' ', Qt::SkipEmptyParts);
        const auto run = [&rig](const QString& which) {
            if (which == "wake")
                rig.scheduler.wake();
            else
                rig.scheduler.tick();
        };
        rig.duringPause = [&rig, &inner, &run] {
            // Taken out first: the nested calls must not re-enter it, and clearing it destroys
            // this closure, so nothing of it may be used afterwards.
            const QStringList calls = inner;
            const auto call = run;
            rig.duringPause = nullptr;
            for (const QString& w : calls)
                call(w);
        };
        for (const QString& w : outer)
            run(w);
        QCOMPARE(rig.launcher.starts.size(), 1);
        QCOMPARE(rig.folder.recordCount(), 1); // only the started entry left the database
        QCOMPARE(rig.list.rows(), 2);
        QCOMPARE(rig.wakeAt(), at(20, 40).addMSecs(1));
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
        rig.tickAt(at(20, 15).addMSecs(-47100));
        QVERIFY(rig.prompter.shown.isEmpty());
        for (int ms : {-47000, 0, 30000})
            rig.tickAt(at(20, 15).addMSecs(ms));
        QCOMPARE(rig.prompter.texts(), QStringList{kCloseViewerNow});
        QVERIFY(rig.prompter.shown.first().systemModal);
        QVERIFY(rig.logLines().last().endsWith("    " + kCloseViewerNow));
        // Closed within the minute: once the viewer is gone the entry starts, full length.
        rig.clock.set(at(20, 15, 59));
        QVERIFY(rig.prompter.answerOpen());
        QCOMPARE(rig.ended, 0);
        rig.table.remove(900);
        rig.tickAt(at(20, 16));
        QCOMPARE(rig.launcher.starts.size(), 1);
        QVERIFY(rig.launcher.starts[0].args.contains("/record=30"));
        QCOMPARE(rig.list.nextEventTime, toDaySerial(at(21, 0)));
        QCOMPARE(rig.view.nextEventText, QStringLiteral("2026-12-05 21:00:00"));
        QCOMPARE(rig.autostart.entries,
                 (QList<QStringList>{{"Dorvel", "/opt/dorvel app/dorvel", "min"}}));
        // The next start warns again; closed 61 s late, the start is given up.
        rig.table.remove(4000);
        rig.userStartsViewer(901);
        rig.tickAt(at(20, 59, 30));
        rig.tickAt(at(21, 1, 1));
        QCOMPARE(rig.ended, 0);
        QVERIFY(rig.prompter.answerOpen());
        QCOMPARE(rig.prompter.texts().mid(1), (QStringList{kCloseViewerNow, kRequestExpired}));
        QVERIFY(rig.logLines().last().endsWith("    " + kRequestExpired));
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

    // An entry that cannot be started is reported once, stays in the database (a failed start
    // puts it back unchanged) and does not hold up the entry after it; nothing is tried again
    // every tick. An unreadable launch time or a next-event row outside the list leaves no
    // next event until the list is loaded again.
    void entryThatCannotStart_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("report"); // the one activity line about it
        QTest::addColumn<int>("early");      // start attempts around 20:15
        QTest::addColumn<bool>("later");     // the entry of 23:00 starts on time
        QTest::addColumn<QStringList>("kept");
        QTest::addColumn<int>("pending");
        QTest::newRow("viewer cannot start")
            << "launcher"
            << "Start Rec failed: not executable; channel 12 .*2026-12-05 20:15:00"
               ".*2026-12-05 21:45:00.*\"Tatort\".*stays in the"
            << 1 << true << QStringList{"Tatort"} << 1;
        QTest::newRow("no channel")
            << "channel"
            << "not started.* no channel: .*\"Tatort\"" << 0 << true << QStringList{"Tatort"} << 2;
        QTest::newRow("no length")
            << "length"
            << "not started.* no length: .*\"Tatort\"" << 0 << true << QStringList{"Tatort"} << 2;
        QTest::newRow("unreadable launch time after it")
            << "next"
            << "unreadable start time \"tomorrow\"" << 1 << false << QStringList{"Später"} << 2;
        QTest::newRow("next-event row is the header")
            << "row 0"
            << "no entry in row 0" << 0 << false << QStringList{"Tatort", "Später"} << 2;
        QTest::newRow("next-event row past the end")
            << "row 3"
            << "no entry in row 3" << 0 << false << QStringList{"Tatort", "Später"} << 2;
    }
    void entryThatCannotStart()
    {
        QFETCH(QString, fault);
        QFETCH(QString, report);
        QFETCH(int, early);
        QFETCH(bool, later);
        QFETCH(QStringList, kept);
        Rig rig;
        rig.addEntry("Tatort", at(20, 15), 90);
        rig.addEntry("Später", at(23, 0), 30);
        if (fault == "launcher")
            rig.launcher.failWith = "not executable";
        else if (fault == "channel")
            rig.list.setCell(1, TodoList::Num, "");
        else if (fault == "length")
            rig.list.setCell(1, TodoList::RecMinutes, " ");
        else if (fault == "next")
            rig.list.setCell(2, TodoList::RecStart, "tomorrow");
        else
            rig.list.nextEventRow = fault.mid(4).toInt();
        const QStringList before = rig.records();
        for (int s = 1; s < 10; ++s)
            rig.tickAt(at(20, 15, s));
        if (fault == "launcher") { // nothing records, StandBy may go ahead
            QCOMPARE(rig.app.orbivuState, 0);
            QCOMPARE(rig.recordingsStarted, 0);
        }
        rig.launcher.failWith.clear();
        rig.tickAt(at(23, 0));
        QCOMPARE(rig.launcher.starts.size(), early);
        rig.tickAt(at(23, 0, 1));
        QCOMPARE(rig.launcher.starts.size(), early + int(later));
        if (later)
            QVERIFY(rig.launcher.starts.last().args.contains("/record=30"));

        QStringList left;
        for (const QString& title : kept)
            left += before.filter('|' + title + '|');
        left.sort();
        QCOMPARE(rig.records(), left);
        const QStringList lines = rig.activity.lines();
        QVERIFY2(lines.filter(QRegularExpression(report)).size() == 1,
                 qPrintable(lines.join('\n')));
        QCOMPARE(rig.logLines().filter(QRegularExpression(report)).size(), 1);
        QVERIFY(rig.prompter.shown.isEmpty());
        QTEST(rig.list.recordingCount, "pending");
    }

    void boxesDoNotStopRecordings_data()
    {
        QTest::addColumn<bool>("viewerRuns"); // the warning box; else the "ERROR" box
        QTest::newRow("busy warning") << true;
        QTest::newRow("ERROR of a failed delete") << false;
    }
    // A box opened by the tick and left unanswered all night: the entry it is about starts
    // once the viewer has gone, the end of that recording is noticed, the next entry starts
    // on time, and nothing starts twice.
    void boxesDoNotStopRecordings()
    {
        QFETCH(bool, viewerRuns);
        Rig rig;
        // Without the viewer running, the viewer's user deleted the entry meanwhile.
        rig.addEntry("Erste", at(20, 15), 30, viewerRuns);
        rig.addEntry("Danach", at(20, 50), 30);
        if (viewerRuns)
            rig.userStartsViewer();
        bool nightDone = false;
        const auto night = [&] {
            nightDone = true;
            rig.table.remove(900); // the user closes the viewer
            for (int s = 2; s <= 10; ++s)
                rig.tickAt(at(20, 15, s));
            rig.table.remove(4000); // the first recording ends
            for (const QDateTime& t : {at(20, 46), at(20, 50), at(20, 50, 1), at(21, 30)})
                rig.tickAt(t);
        };
        rig.prompter.onShow = [&](const Prompter::Box&) {
            if (!nightDone)
                night(); // the ticks that arrive while a waiting box is open
        };
        rig.tickAt(viewerRuns ? at(20, 14, 40) : at(20, 15, 1));
        if (!nightDone)
            night();
        QCOMPARE(rig.prompter.texts(), QStringList{viewerRuns ? kCloseViewerNow : "ERROR"});
        QCOMPARE(rig.prompter.open.size(), 1); // never answered
        QCOMPARE(rig.launcher.starts.size(), 2);
        QVERIFY(rig.launcher.starts[0].args.contains("/file=Erste"));
        QVERIFY(rig.launcher.starts[1].args.contains("/file=Danach"));
        QCOMPARE(rig.app.orbivuTaskId, 4001);
        QCOMPARE(rig.folder.recordCount(), 0);
        QCOMPARE(rig.activity.lines().filter("could not delete").size(), viewerRuns ? 0 : 1);
        // Answered in the morning: the warned entry has long been started, nothing ends.
        rig.clock.set(at(23, 0));
        QVERIFY(rig.prompter.answerOpen());
        QCOMPARE(rig.ended, 0);
    }

    void nextEventAfterTakeOver_data()
    {
        QTest::addColumn<bool>("autoClose");
        QTest::newRow("AutoClose off") << false;
        QTest::newRow("AutoClose on") << true;
    }
    // Loaded at 20:30: Film runs since 19:00 and is taken over, News is over. After Film's
    // start the next event is Late, never the timed-out News.
    void nextEventAfterTakeOver()
    {
        QFETCH(bool, autoClose);
        Rig rig;
        rig.app.settings.startPendingRecord = true;
        rig.app.settings.autoClose = autoClose;
        rig.folder.addRecord(12, "2026.12.05 19:00", "2026.12.05 22:00", "Film");
        rig.folder.addRecord(12, "2026.12.05 20:00", "2026.12.05 20:15", "News");
        rig.folder.addRecord(12, "2026.12.05 23:00", "2026.12.05 23:30", "Late");
        rig.clock.set(at(20, 30));
        rig.loader.getRecordings();
        rig.tickAt(at(20, 30, 1));
        QCOMPARE(rig.launcher.starts.size(), 1);
        QVERIFY(rig.launcher.starts[0].args.contains("/record=90"));
        QCOMPARE(rig.list.nextEventTime, toDaySerial(at(23, 0)));
        QCOMPARE(rig.view.nextEventText, QStringLiteral("2026-12-05 23:00:00"));
        for (const QDateTime& t : {at(20, 30, 2), at(20, 31, 2), at(21, 0)})
            rig.tickAt(t);
        QVERIFY(rig.prompter.shown.isEmpty());
        QVERIFY(rig.table.closeRequests.isEmpty());
        QCOMPARE(rig.ended, 0);
        rig.table.remove(4000); // Film ends
        rig.tickAt(at(22, 0));
        rig.tickAt(at(23, 0, 1));
        QCOMPARE(rig.launcher.starts.size(), 2);
        QVERIFY(rig.launcher.starts[1].args.contains("/file=Late"));
        QCOMPARE(rig.folder.recordCount(), 1); // News stays for the user to delete
    }

    void noEntryRecordedTwiceOrLost_data()
    {
        QTest::addColumn<QString>("title"); // an SQL expression
        QTest::addColumn<bool>("locked");   // another program holds the file while we start
        QTest::newRow("plain") << "'Tatort'" << false;
        QTest::newRow("title not UTF-8") << "CAST(X'43616FE92031' AS TEXT)" << false;
        QTest::newRow("title a BLOB") << "X'5469746C65'" << false;
        QTest::newRow("locked at the start") << "'Tatort'" << true;
    }
    // The viewer is started while the entry is still in the database, so a kill at any
    // moment leaves it there or being recorded; the delete finds the very row that was
    // loaded, and a delete that meets a lock is tried again until it succeeds.
    void noEntryRecordedTwiceOrLost()
    {
        QFETCH(QString, title);
        QFETCH(bool, locked);
        Rig rig;
        {
            QSqlQuery q(rig.db.db());
            QVERIFY(q.exec("INSERT INTO RECORD (NID, SID, SOURCEID, STARTTIME, ENDTIME, SHORTDESC, "
                           "LONGDESC, CHARID, PRERECORD, POSTRECORD) VALUES (12, 12, 12, "
                           "'2026.12.05 20:15', '2026.12.05 21:00', " +
                           title + ", 'long', 0, 0, 0)"));
        }
        rig.app.settings.startPendingRecord = true;
        rig.folder.addRecord(12, "2026.12.05 22:00", "2026.12.05 22:30", "Später");
        rig.clock.set(at(20, 0));
        rig.loader.getRecordings();
        QCOMPARE(rig.list.rows(), 3);
        rig.db.setBusyTimeout(50);
        const QString lockName = QUuid::createUuid().toString();
        QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", lockName);
        other.setDatabaseName(rig.folder.db);
        QVERIFY(other.open());
        QSqlQuery lock(other);
        int inDbAtStart = -1;
        rig.launcher.onStart = [&] {
            inDbAtStart = rig.folder.recordCount();
            if (locked)
                QVERIFY(lock.exec("BEGIN EXCLUSIVE"));
        };
        rig.tickAt(at(20, 15, 1));
        QCOMPARE(inDbAtStart, 2);
        QCOMPARE(rig.launcher.starts.size(), 1);
        if (locked) {
            QVERIFY(rig.activity.lines().last().contains("locked"));
            QVERIFY(rig.activity.lines().last().contains("trying again"));
            rig.tickAt(at(20, 15, 30)); // still locked: tried again, kept
            QVERIFY(lock.exec("COMMIT"));
            QCOMPARE(rig.folder.recordCount(), 2);
            // A reload meanwhile lists the running entry again: it is not started twice.
            rig.table.remove(4000);
            rig.tickAt(at(20, 15, 31));
            rig.loader.getRecordings();
            rig.tickAt(at(20, 15, 32));
            QCOMPARE(rig.launcher.starts.size(), 1);
            rig.tickAt(at(20, 16));
            QVERIFY(rig.activity.lines().filter("Deleted from the viewer database now").size() ==
                    1);
        }
        QCOMPARE(rig.folder.recordCount(), 1);
        QSqlQuery left(rig.db.db());
        QVERIFY(left.exec("SELECT SHORTDESC FROM RECORD") && left.next());
        QCOMPARE(left.value(0).toString(), QStringLiteral("Später"));
        QVERIFY(rig.activity.lines().filter("could not delete").size() == (locked ? 1 : 0));
        lock = QSqlQuery();
        other.close();
        other = QSqlDatabase();
        QSqlDatabase::removeDatabase(lockName);
    }

    void failedRecordingIsReported_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QString>("cause"); // in the activity line, the log and the notification
        QTest::newRow("viewer ends at once") << "ends"
                                             << "the viewer ended 0.5 s after its start";
        QTest::newRow("record folder missing") << "missing"
                                               << "does not exist";
        QTest::newRow("record folder is a file") << "file"
                                                 << "is not a folder";
        QTest::newRow("viewer ignores close requests") << "ignores"
                                                       << "does not close";
        QTest::newRow("viewer cannot start") << "nostart"
                                             << "Start Rec failed: no such file";
    }
    void failedRecordingIsReported()
    {
        QFETCH(QString, failure);
        QFETCH(QString, cause);
        Rig rig;
        if (failure == "missing")
            rig.app.recordDirectory = rig.tmp.filePath("gone") + "/";
        if (failure == "file") {
            QFile f(rig.tmp.filePath("plain"));
            QVERIFY(f.open(QIODevice::WriteOnly));
            rig.app.recordDirectory = f.fileName() + "/";
        }
        if (failure == "nostart")
            rig.launcher.failWith = "no such file";
        rig.addEntry("Tatort", at(20, 15), 90);
        if (failure == "ignores") {
            rig.app.settings.autoClose = true;
            rig.table.obeysClose = false;
            rig.userStartsViewer();
            rig.tickAt(at(20, 14, 50)); // before the launch time: not yet a delay
            QVERIFY(rig.notifier.shown.isEmpty());
        }
        rig.tickAt(at(20, 15, 1));
        if (failure == "ends") {
            rig.table.remove(4000);
            rig.clock.advanceMs(500);
            rig.scheduler.tick();
        }
        rig.tickAt(at(20, 15, 2));
        rig.tickAt(at(20, 20)); // told once
        QCOMPARE(rig.notifier.shown.size(), 1);
        QVERIFY2(rig.notifier.shown.first().contains(cause),
                 qPrintable(rig.notifier.shown.first()));
        QVERIFY(rig.notifier.shown.first().contains("Tatort"));
        const QStringList lines = rig.activity.lines().filter(cause);
        QCOMPARE(lines.size(), 1);
        QVERIFY(lines.first().contains("Tatort"));
        QCOMPARE(rig.logLines().filter(cause).size(), 1);
        // A missing folder is told before the start; the viewer is still started.
        QCOMPARE(rig.launcher.starts.size(), failure == "ignores" ? 0 : 1);
    }

    // With overlaps ignored, two entries due in the same minute: one is recorded, and the
    // other does not wait silently for ever.
    void sameLaunchMinuteIsTold()
    {
        Rig rig;
        rig.app.settings.ignoreOverlap = true;
        rig.folder.addRecord(12, "2026.12.05 20:15", "2026.12.05 21:00", "Erste");
        rig.folder.addRecord(12, "2026.12.05 20:15", "2026.12.05 20:45", "Zweite");
        rig.folder.addRecord(12, "2026.12.05 22:00", "2026.12.05 22:30", "Später");
        rig.clock.set(at(20, 0));
        rig.loader.getRecordings();
        rig.tickAt(at(20, 15, 1));
        rig.tickAt(at(20, 15, 2));
        QCOMPARE(rig.launcher.starts.size(), 1);
        const QString started = rig.launcher.starts[0].args.last().mid(6);
        const QString left = started == "Erste" ? "Zweite" : "Erste";
        const QStringList lines = rig.activity.lines().filter("Not recorded");
        QCOMPARE(lines.size(), 1);
        QVERIFY(lines.first().contains(left) && lines.first().contains(started));
        QCOMPARE(rig.logLines().filter("Not recorded").size(), 1);
        QCOMPARE(rig.list.nextEventTime, toDaySerial(at(22, 0)));
    }

    // A title or channel from the database cannot split a line of the log or the activity
    // list (and so cannot forge one); the viewer gets the text unchanged.
    void controlCharactersCannotForgeLines()
    {
        Rig rig;
        rig.app.settings.useShortdesc = true;
        const QString title = "Krimi\n2026-12-05 20:15:00  /bin/evil /record=999\x1b[2J";
        rig.folder.addRecord(12, "2026.12.05 19:00", "2026.12.05 19:30", title);
        rig.folder.addRecord(12, "2026.12.05 20:15", "2026.12.05 21:00", title);
        rig.clock.set(at(20, 0));
        rig.loader.getRecordings();
        rig.tickAt(at(20, 15, 1));
        QCOMPARE(rig.launcher.starts.size(), 1);
        for (const QString& line : rig.logLines())
            QVERIFY2(line.startsWith("2026-12-05 20:15:01  "), qPrintable(line));
        QCOMPARE(rig.logLines().size(), 1);
        for (const QString& line : rig.activity.lines()) {
            QVERIFY(!line.contains('\n') && !line.contains(QChar(0x1b)));
            QVERIFY(!line.startsWith("2026-12-05 20:15:00  /bin/evil"));
        }
        QCOMPARE(rig.activity.lines().filter("Krimi\\x0a2026-12-05").size(), 2);
        QVERIFY(rig.activity.lines().last().endsWith("\\x1b[2J  (45 Min)"));
    }
};

QTEST_GUILESS_MAIN(TestScheduler)
#include "tst_scheduler.moc"
