#include "../todolist/loaderrig.h"
#include "autostart.h"
#include "eventlog.h"
#include "fakeprocesses.h"
#include "notifier.h"
#include "scheduler.h"
#include "startviewer.h"
#include "viewerfolder.h"

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

// The boxes as the user reads them, in the default (German) message table.
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

// The tick and the loader on a real viewer database file, with a scripted process table; the
// viewer sits in a folder with blanks in its path.
struct Rig : LoaderRig {
    QTemporaryDir tmp;
    ViewerFolder folder = ViewerFolder::create(tmp.filePath("Program Files/My Orbivu"));
    FakeProcessTable table;
    FakeLauncher launcher{&table};
    ViewerProcess viewer{table, launcher};
    FakeWakeTimer wake;
    EventLog log{clock, state.settings};
    RecordingAutostart autostart;
    RecordingNotifier notifier;
    int wakeTimerClosed = 0;
    int recordingsStarted = 0;
    std::function<void()> duringPause; // what arrives in the pause after a start
    Scheduler scheduler{state, todo,  activity, db,  viewer,   prompter,
                        view,  timer, clock,    log, autostart};

    Rig() : LoaderRig(at(20, 0))
    {
        state.msg = MessageTable::forLanguage(QString());
        folder.addChannel(12, "Das Erste");
        state.orbivuExePath = folder.exe;
        state.appPath = "/opt/dorvel app";
        state.settings.saveLog = true;
        log.setPath(tmp.filePath("Dorvel.log"));
        QVERIFY(db.open(folder.db));
        Scheduler::Hooks hooks;
        // The status half of the after-recording check, as far as the tick relies on it.
        hooks.checkAfterRecording = [this] {
            state.orbivuState =
                viewer.isTaskRunning(state.orbivuTaskId, state.orbivuTaskStart, "Orbivu.exe") ? 1
                : viewer.isProcessRunning("Orbivu.exe")                                       ? 2
                                                                                              : 0;
        };
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
    // An entry on channel 12; hh:mm is on 5 December.
    void add(const QString& title, const QString& from, const QString& to)
    {
        folder.addRecord(12, "2026.12.05 " + from, "2026.12.05 " + to, title, "long");
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
        return f.open(QIODevice::ReadOnly)
                   ? QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts)
                   : QStringList();
    }
    QStringList records() const // every column
    {
        return DbFixture(folder.db, 0).texts("SELECT * FROM RECORD ORDER BY rowid");
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
        // A title can neither leave the record folder nor split a line of the log or the list.
        QTest::newRow("defaults, hostile title")
            << true << 500 << " ../../etc/\"pw\";\n2026-12-05 20:15:00  rm -rf *\x1b[2J "
            << QStringList{"/close",      "/priority=high",
                           "/streamonly", "/tray",
                           "/delay=500",  "/record=95",
                           "/channel=12", "/file=__#__#etc#\"pw\";2026-12-05_20_15_00__rm_-rf_#[2J"}
            << " ../../etc/\"pw\";\\x0a2026-12-05 20:15:00  rm -rf *\\x1b[2J ";
        QTest::newRow("switches and UseShortdesc off, negative delay")
            << false << -5 << "Nachrichten"
            << QStringList{"/close", "/priority=high", "/delay=-5", "/record=95", "/channel=12"}
            << "2026-12-05 20:15:00";
    }
    // Nothing starts at the launch time itself, the first tick after it does, once.
    void start()
    {
        QFETCH(bool, switches);
        QFETCH(int, delay);
        QFETCH(QString, title);
        QFETCH(QStringList, args);
        QFETCH(QString, shown);
        Rig rig;
        rig.state.settings.useShortdesc = rig.state.settings.streamonly = switches;
        rig.state.settings.recDelaySec = qint16(delay);
        rig.state.resumedFromStandby = true;
        rig.add(title, "20:15", "21:50");
        rig.loader.getRecordings();
        rig.tickAt(at(20, 14, 59));
        rig.tickAt(at(20, 15));
        QVERIFY(rig.launcher.starts.isEmpty());
        rig.clock.advanceMs(1);
        rig.scheduler.tick();
        QCOMPARE(rig.launcher.starts.size(), 1);
        // Recording at once, before any status check: StandBy now must wait for its end.
        QCOMPARE(rig.state.orbivuState, 1);
        QCOMPARE(rig.recordingsStarted, 1);
        const FakeLauncher::Start& s = rig.launcher.starts.first();
        QCOMPARE(s.args, args);
        QCOMPARE(s.workingDir + "/", rig.folder.root);
        QCOMPARE(rig.activity.lines().last(),
                 "2026-12-05 20:15:00   Start Rec:  " + shown + "  (95 Min)");
        QCOMPARE(rig.logLines(),
                 (QStringList{"2026-12-05 20:14:59   Timer Restarted (after StandBy)",
                              "2026-12-05 20:15:00  " + rig.folder.exe + " " + args.join(' ')}));
        QCOMPARE(rig.folder.recordCount(), 0);
        // That was the last entry: the sentinel, an empty label, and the timer runs on.
        QCOMPARE(rig.todo.nextEventTime, TodoList::kNoEventStarted);
        QCOMPARE(rig.view.nextEventText, QString());
        QVERIFY(rig.timer.active);
    }

    void wake_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QDateTime>("wakeAt"); // invalid: no wake armed
        QTest::addColumn<int>("starts");       // once that wake has fired
        const QDateTime neu = at(20, 13).addMSecs(1), danach = at(20, 40).addMSecs(1);
        QTest::newRow("a load brings an earlier entry") << "load" << neu << 1;
        QTest::newRow("fired a second early: armed again") << "early" << neu << 1;
        QTest::newRow("hours ahead, the wait is cut") << "hours" << at(19, 0).addMSecs(1) << 0;
        QTest::newRow("a start moves on to the next entry") << "start" << danach << 2;
        QTest::newRow("the last entry started") << "last start" << QDateTime() << 1;
        QTest::newRow("a resume from standby") << "resume" << neu << 1;
        QTest::newRow("resumed at the launch time itself") << "resume late" << neu << 1;
        QTest::newRow("the clock set forward") << "clock forward" << neu << 1;
        QTest::newRow("the clock set back") << "clock back" << neu << 1;
        QTest::newRow("tick stopped over the launch time") << "stopped" << danach << 2;
    }
    // Whatever changes the next event or the clock arms the wake at the new launch time; the
    // entry starts at the first wake strictly after it.
    void wake()
    {
        QFETCH(QString, change);
        QFETCH(QDateTime, wakeAt);
        Rig rig;
        rig.clock.set(change == "hours" ? at(18, 0) : at(20, 10));
        rig.add("Danach", "20:40", "21:00");
        rig.loader.getRecordings();
        if (change != "hours")
            QCOMPARE(rig.wakeAt(), at(20, 40).addMSecs(1));
        if (change != "last start") {
            rig.add("Neu", "20:13", "20:30");
            rig.loader.getRecordings();
        }
        if (change == "early") {
            rig.fireWake(1000);
            QVERIFY(rig.launcher.starts.isEmpty());
        } else if (change.endsWith("start")) {
            rig.fireWake();
            QCOMPARE(rig.launcher.starts.size(), 1);
        } else if (change.startsWith("resume")) {
            rig.timer.stop(); // standby: the wake's clock stands still meanwhile
            rig.clock.set(change == "resume" ? at(20, 12, 59).addMSecs(999) : at(20, 13));
            rig.state.resumedFromStandby = true;
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
        QTEST(int(rig.launcher.starts.size()), "starts");
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
        rig.add("Tagesschau", "20:13", "20:28");
        rig.add("Danach", "20:40", "20:55");
        rig.loader.getRecordings();
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
            // Copied first: clearing the hook destroys this closure, and nested calls must not
            // re-enter it.
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
        QCOMPARE(rig.todo.rows(), 2);
        QCOMPARE(rig.wakeAt(), at(20, 40).addMSecs(1));
    }

    // The English table's warning, word for word.
    void warningInEnglish()
    {
        Rig rig;
        rig.state.msg = MessageTable::forLanguage(QStringLiteral("eng"));
        rig.add("Erste", "20:15", "20:45");
        rig.loader.getRecordings();
        rig.userStartsViewer();
        rig.tickAt(at(20, 14, 30));
        QCOMPARE(rig.prompter.texts(),
                 QStringList{QStringLiteral("Orbivu is running! Please close it! A recording is "
                                            "scheduled in one minute!")});
    }

    // The window opens about 47.04 s before the launch time; one warning per coming start;
    // when the box is closed more than a minute after the launch time the program ends.
    void warningWindowAndExpiry()
    {
        Rig rig;
        rig.add("Erste", "20:15", "20:45");
        rig.add("Zweite", "21:00", "21:30");
        rig.loader.getRecordings();
        rig.userStartsViewer();
        rig.view.trayIcon = true;
        rig.state.settings.shutDownType = "Rule"; // without AutoRun: an autostart entry
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
        QCOMPARE(rig.todo.nextEventTime, toDaySerial(at(21, 0)));
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
        QVERIFY(!rig.view.trayIcon && !rig.timer.active);
        QCOMPARE(rig.folder.recordCount(), 1); // the entry stays in the database
    }

    // A failure is reported once, in the list, the log and (where it costs a recording) a
    // notification; an entry not started stays unchanged in the database; nothing is tried
    // every tick, and the entry after it still starts unless the fault is in its way. An
    // unreadable launch time or a next-event row outside the list leaves no next event.
    void failures_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("report"); // the one activity and log line about it
        QTest::addColumn<QString>("notice"); // in the one notification; empty: none
        QTest::addColumn<int>("early");      // starts around 20:15
        QTest::addColumn<bool>("later");     // the entry of 23:00 starts on time
        QTest::addColumn<QStringList>("kept");
        QTest::addColumn<int>("pending"); // -1: not checked
        const QStringList both{"Tatort", "Später"}, tatort{"Tatort"}, none;
        const auto row = [](const char* name, const char* fault, const char* report,
                            const char* notice, int early, bool later, const QStringList& kept,
                            int pending = -1) {
            QTest::newRow(name) << QString(fault) << QString(report) << QString(notice) << early
                                << later << kept << pending;
        };
        row("viewer cannot start", "launcher",
            "Start Rec failed: not executable; channel 12 .*2026-12-05 20:15:00"
            ".*2026-12-05 21:45:00.*\"Tatort\".*stays in the",
            "Start Rec failed: not executable", 1, true, tatort, 1);
        row("no channel", "channel", "not started.* no channel: .*\"Tatort\"", "", 0, true, tatort,
            2);
        row("unreadable launch time after it", "next", "unreadable start time \"tomorrow\"", "", 1,
            false, {"Später"}, 2);
        row("next-event row is the header", "row 0", "no entry in row 0", "", 0, false, both, 2);
        row("next-event row past the end", "row 3", "no entry in row 3", "", 0, false, both, 2);
        row("viewer ends at once", "ends", "the viewer ended 0.5 s after its start",
            "the viewer ended 0.5 s after its start", 1, true, none);
        // Told before the start; the viewer is still started.
        row("record folder missing", "missing", "does not exist: .*\"Tatort\"", "does not exist", 1,
            true, none);
        row("record folder is a file", "file", "is not a folder: .*\"Tatort\"", "is not a folder",
            1, true, none);
        // Asked every tick from 47 s before, never forced, and no box waits for its user.
        row("viewer ignores close requests", "ignores", "does not close", "does not close", 0,
            false, both);
    }
    void failures()
    {
        QFETCH(QString, fault);
        QFETCH(QString, report);
        QFETCH(QString, notice);
        QFETCH(int, early);
        QFETCH(bool, later);
        QFETCH(QStringList, kept);
        QFETCH(int, pending);
        Rig rig;
        rig.add("Tatort", "20:15", "21:45");
        rig.add("Später", "23:00", "23:30");
        rig.loader.getRecordings();
        if (fault == "launcher")
            rig.launcher.failWith = "not executable";
        else if (fault == "channel")
            rig.todo.setCell(1, TodoList::Num, "");
        else if (fault == "next")
            rig.todo.setCell(2, TodoList::RecStart, "tomorrow");
        else if (fault.startsWith("row"))
            rig.todo.nextEventRow = fault.mid(4).toInt();
        else if (fault == "missing")
            rig.state.recordDirectory = rig.tmp.filePath("gone") + "/";
        else if (fault == "file") {
            QFile f(rig.tmp.filePath("plain"));
            QVERIFY(f.open(QIODevice::WriteOnly));
            rig.state.recordDirectory = f.fileName() + "/";
        } else if (fault == "ignores") {
            rig.state.settings.autoClose = true;
            rig.table.obeysClose = false;
            rig.userStartsViewer();
            rig.tickAt(at(20, 14, 12)); // outside the window
            QVERIFY(rig.table.closeRequests.isEmpty());
        }
        const QStringList before = rig.records();
        for (int s = 1; s < 10; ++s) {
            rig.tickAt(at(20, 15, s));
            if (fault == "ends" && s == 1) {
                rig.table.remove(4000);
                rig.clock.advanceMs(500);
                rig.scheduler.tick();
            }
        }
        rig.tickAt(at(20, 20));
        QCOMPARE(rig.launcher.starts.size(), early);
        if (fault == "launcher") { // nothing records, StandBy may go ahead
            QCOMPARE(rig.state.orbivuState, 0);
            QCOMPARE(rig.recordingsStarted, 0);
        }
        QCOMPARE(rig.table.closeRequests.size() > 1, fault == "ignores");
        rig.launcher.failWith.clear();
        rig.table.remove(4000); // a recording started at 20:15 has ended
        rig.tickAt(at(23, 0));
        QCOMPARE(rig.launcher.starts.size(), early);
        rig.tickAt(at(23, 0, 1));
        QCOMPARE(rig.launcher.starts.size(), early + int(later));
        if (later)
            QVERIFY(rig.launcher.starts.last().args.contains("/record=30"));
        QStringList left;
        for (const QString& row : before) {
            if (kept.contains(row.section('|', 5, 5))) // SHORTDESC
                left << row;
        }
        QCOMPARE(rig.records(), left);
        const QStringList lines = rig.activity.lines();
        QVERIFY2(lines.filter(QRegularExpression(report)).size() == 1,
                 qPrintable(lines.join('\n')));
        QCOMPARE(rig.logLines().filter(QRegularExpression(report)).size(), 1);
        const QStringList notes = rig.notifier.shown.filter("Tatort");
        QCOMPARE(notes.size(), int(!notice.isEmpty()));
        QVERIFY2(notice.isEmpty() || notes.first().contains(notice), qPrintable(notes.join('\n')));
        QVERIFY(rig.prompter.shown.isEmpty());
        if (pending >= 0)
            QCOMPARE(rig.todo.recordingCount, pending);
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
        DbFixture other(rig.folder.db, 0);
        other.run(
            "INSERT INTO RECORD VALUES (12, 12, 12, '2026.12.05 20:15', '2026.12.05 21:00', " +
            title + ", 'long', 0, 0, 0)");
        rig.state.settings.startPendingRecord = true;
        rig.add("Später", "22:00", "22:30");
        rig.loader.getRecordings();
        QCOMPARE(rig.todo.rows(), 3);
        rig.db.setBusyTimeout(50);
        int inDbAtStart = -1;
        rig.launcher.onStart = [&] {
            inDbAtStart = other.count();
            if (locked)
                other.run("BEGIN EXCLUSIVE");
        };
        rig.tickAt(at(20, 15, 1));
        QCOMPARE(inDbAtStart, 2);
        QCOMPARE(rig.launcher.starts.size(), 1);
        if (locked) {
            QVERIFY(rig.activity.lines().last().contains("locked"));
            QVERIFY(rig.activity.lines().last().contains("trying again"));
            rig.tickAt(at(20, 15, 30)); // still locked: tried again, kept
            other.run("COMMIT");
            QCOMPARE(other.count(), 2);
            // A reload meanwhile lists the running entry again: it is not started twice.
            rig.table.remove(4000);
            rig.tickAt(at(20, 15, 31));
            rig.loader.getRecordings();
            rig.tickAt(at(20, 15, 32));
            QCOMPARE(rig.launcher.starts.size(), 1);
            rig.tickAt(at(20, 16));
            QCOMPARE(rig.activity.lines().filter("Deleted from the viewer database now").size(), 1);
        }
        QCOMPARE(other.rows("SELECT SHORTDESC FROM RECORD"), QList<QVariantList>{{"Später"}});
        QCOMPARE(rig.activity.lines().filter("could not delete").size(), int(locked));
    }

    // With overlaps ignored, two entries due in the same minute: one is recorded, and the
    // other does not wait silently for ever.
    void sameLaunchMinuteIsTold()
    {
        Rig rig;
        rig.state.settings.ignoreOverlap = true;
        rig.add("Erste", "20:15", "21:00");
        rig.add("Zweite", "20:15", "20:45");
        rig.add("Später", "22:00", "22:30");
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
        QCOMPARE(rig.todo.nextEventTime, toDaySerial(at(22, 0)));
    }

    // Names match as contained text in any case; the last match in enumeration order counts; a
    // reused pid fails on its start time; the close request waits at most 500 ms.
    void queriesAndCloseRequest()
    {
        FakeProcessTable table;
        FakeLauncher launcher;
        ViewerProcess vp(table, launcher);
        QCOMPARE(vp.findProcessId("Orbivu.exe"), 0);
        QVERIFY(!vp.closeViewer());
        table.add(0, "/o/Orbivu.EXE", 0); // a bogus entry must not make pid 0 pass
        table.add(30, "/opt/a/Orbivu.EXE", 5000);
        table.add(20, " /opt/b/orbivu.exe.BAK ", 6000);
        table.add(40, "/usr/bin/sleep", 7000);
        table.add(50, "/opt/c/Orbivu", 7000);
        QCOMPARE(vp.findProcessId("  Orbivu.exe "), 20);
        QCOMPARE(vp.findProcessId("  "), 0); // would match all, and block whoever waits for it
        QVERIFY(vp.isTaskRunning(30, 5000, "Orbivu.exe"));
        QVERIFY(!vp.isTaskRunning(30, 4999, "Orbivu.exe"));
        QVERIFY(!vp.isTaskRunning(40, 7000, "Orbivu.exe"));
        QVERIFY(!vp.isTaskRunning(0, 0, "Orbivu.exe"));

        table.obeysClose = false;
        QVERIFY(!vp.closeViewer());
        table.obeysClose = true;
        QVERIFY(vp.closeViewer());
        QCOMPARE(table.closeRequests, (QList<qint64>{20, 20}));
        QCOMPARE(table.lastWaitMs, 500);
        QCOMPARE(vp.findProcessId("Orbivu.exe"), 30);
    }

    void startByHand_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QString>("box");
        QTest::newRow("no viewer") << 0 << QString() << QString();
        QTest::newRow("viewer runs") << 2 << QString() << "Dorvel Ver 0.36 - Orbivu is recording";
        QTest::newRow("viewer missing") << 0 << "no such file"
                                        << "ERROR: %1 not found";
    }
    void startByHand()
    {
        QFETCH(int, state);
        QFETCH(QString, failure);
        QFETCH(QString, box);
        Rig rig;
        rig.launcher.failWith = failure;
        rig.view.captionText = "Dorvel Ver 0.36 - Orbivu is recording";
        rig.state.orbivuState = state;
        QCOMPARE(startViewerByHand(rig.state, rig.view, rig.prompter, rig.viewer), box.isEmpty());
        QCOMPARE(rig.prompter.texts().join(""), QString(box).replace("%1", rig.folder.exe));
        QCOMPARE(rig.launcher.starts.size(), state == 0 ? 1 : 0);
        if (state == 0) // in the viewer's folder, without switches
            QCOMPARE(rig.launcher.starts[0].workingDir + '/' + rig.launcher.starts[0].args.join(""),
                     rig.folder.root);
    }
};

QTEST_GUILESS_MAIN(TestScheduler)
#include "tst_scheduler.moc"
