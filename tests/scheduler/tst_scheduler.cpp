#include "activitylist.h"
#include "appstate.h"
#include "autostart.h"
#include "eventlog.h"
#include "fakeprocesses.h"
#include "fakes.h"
#include "linux_processes.h"
#include "scheduler.h"
#include "todolist.h"
#include "viewerdb.h"
#include "viewerfolder.h"
#include "viewerprocess.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QUuid>
#include <QtTest>

#include <memory>

using namespace dorvel;
using namespace dorvel::test;

namespace {

class RecordingAutostart final : public Autostart {
public:
    void setRunEntry(const QString& name, const QString& program, const QStringList& args) override
    {
        entries.append(QStringList{name, program} + args);
    }
    void deleteRunEntry(const QString& name) override { deleted.append(name); }
    QList<QStringList> entries;
    QStringList deleted;
};

QDateTime at(int h, int m, int s = 0, int day = 5, int month = 12, int year = 2026)
{
    return QDateTime(QDate(year, month, day), QTime(h, m, s));
}

// Everything the tick touches: a real viewer database file, a real to-do list and activity
// list, a scripted process table and launcher, fakes for clock, boxes, window and timer.
struct Rig {
    QTemporaryDir tmp;
    ViewerFolder folder;
    AppState app;
    TodoList list;
    ActivityList activity;
    ViewerDatabase db{QUuid::createUuid().toString()};
    FakeProcessTable table;
    FakeLauncher launcher{&table};
    std::unique_ptr<ViewerProcess> viewer;
    FakePrompter prompter;
    FakeView view;
    FakeTimer timer;
    FakeClock clock{at(20, 0)};
    EventLog log{clock, app.settings};
    RecordingAutostart autostart;
    std::unique_ptr<Scheduler> scheduler;
    QStringList calls;
    int ended = 0;
    int wakeTimerClosed = 0;

    explicit Rig(const QString& viewerSubfolder = QStringLiteral("Orbivu"),
                 ProcessLauncher* realLauncher = nullptr)
    {
        folder = ViewerFolder::create(tmp.filePath(viewerSubfolder));
        folder.addChannel(12, QStringLiteral("Das Erste"));
        app.orbivuExePath = folder.exe;
        app.appPath = QStringLiteral("/opt/dorvel app");
        app.recordDirectory = tmp.filePath(QStringLiteral("rec/"));
        QDir().mkpath(app.recordDirectory);
        app.settings.saveLog = true;
        log.setPath(tmp.filePath(QStringLiteral("Dorvel.log")));
        QVERIFY(db.open(folder.db));
        viewer = std::make_unique<ViewerProcess>(table, realLauncher ? *realLauncher : launcher);
        scheduler = std::make_unique<Scheduler>(app, list, activity, db, *viewer, prompter, view,
                                                timer, clock, log, autostart);
        scheduler->setHooks({[this] { checkAfterRecording(); },
                             [this] { calls << QStringLiteral("systemRequired"); },
                             [this] { ++wakeTimerClosed; },
                             [this] { ++ended; },
                             {}});
        timer.start();
    }

    // The status half of the after-recording check, as far as the tick relies on it.
    void checkAfterRecording()
    {
        calls << QStringLiteral("check");
        if (viewer->isTaskRunning(app.orbivuTaskId, app.orbivuTaskStart, "Orbivu.exe")) {
            app.orbivuState = 1;
            return;
        }
        if (app.orbivuTaskId != 0) {
            app.busyWarningShown = false;
            list.recordingCount = qMax(0, list.recordingCount - 1);
        }
        app.orbivuTaskId = 0;
        if (viewer->isProcessRunning("Orbivu.exe")) {
            app.orbivuState = 2;
        } else {
            app.orbivuState = 0;
            app.busyWarningShown = false;
        }
        if (app.settings.waitForClose)
            (void)viewer->isProcessRunning(app.settings.waitForProg);
    }

    // One entry in the database and in the list, as the loader would build it.
    void addEntry(const QString& title, const QDateTime& start, int minutes, int channel = 12,
                  const QString& longDesc = QStringLiteral("long"), bool inDatabase = true)
    {
        const QDateTime end = start.addSecs(minutes * 60);
        const QString dbStart = start.toString(QStringLiteral("yyyy.MM.dd HH:mm"));
        const QString dbEnd = end.toString(QStringLiteral("yyyy.MM.dd HH:mm"));
        if (inDatabase)
            folder.addRecord(channel, dbStart, dbEnd, title, longDesc);
        QStringList cells{QString(),
                          QString::number(channel),
                          QStringLiteral("Das Erste"),
                          formatDefault(start),
                          formatDefault(end),
                          title,
                          longDesc,
                          QStringLiteral("0"),
                          QStringLiteral("0"),
                          start.toString(QStringLiteral("yyyyMMddHHmm")),
                          dbStart,
                          dbEnd,
                          formatDefault(start),
                          QString::number(minutes)};
        list.appendRow(cells.join(QLatin1Char('\t')));
        list.nextEventRow = 1;
        list.nextEventColumn = TodoList::RecStart;
        list.nextEventTime = *parseDefault(list.cell(1, TodoList::RecStart));
        list.recordingCount = list.rows() - 1;
    }

    void userStartsViewer(qint64 pid = 900) { table.add(pid, folder.exe, 77); }
    void tickAt(const QDateTime& t)
    {
        clock.set(t);
        scheduler->tick();
    }
    QStringList logLines() const
    {
        QFile f(log.path());
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    QList<QVariantList> records() const
    {
        QList<QVariantList> rows;
        QSqlQuery q(db.db());
        q.exec(QStringLiteral("SELECT * FROM RECORD ORDER BY rowid"));
        while (q.next()) {
            QVariantList v;
            for (int i = 0; i < q.record().count(); ++i)
                v << q.value(i);
            rows << v;
        }
        return rows;
    }
};

QStringList defaultArgs(const QString& file = QStringLiteral("Nachrichten"))
{
    return {"/close",     "/priority=high", "/streamonly", "/tray",
            "/delay=500", "/record=95",     "/channel=12", "/file=" + file};
}

} // namespace

class TestScheduler : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void launchTimeIsStrictlyLater()
    {
        Rig rig;
        rig.addEntry("Nachrichten", at(20, 15), 95);
        rig.tickAt(at(20, 14, 59));
        rig.tickAt(at(20, 15, 0));
        QVERIFY(rig.launcher.starts.isEmpty());
        QCOMPARE(rig.folder.recordCount(), 1);
        rig.clock.advanceMs(1);
        rig.scheduler->tick();
        QCOMPARE(rig.launcher.starts.size(), 1);
    }

    void startOfTheLastEntry()
    {
        Rig rig;
        rig.addEntry("Nachrichten", at(20, 15), 95);
        rig.view.nextEventText = "2026-12-05 20:15:00";
        rig.tickAt(at(20, 15, 1));

        QCOMPARE(rig.launcher.starts.size(), 1);
        const FakeLauncher::Start& s = rig.launcher.starts.first();
        QCOMPARE(s.program, rig.folder.exe);
        QCOMPARE(s.args, defaultArgs());
        QCOMPARE(s.workingDir + "/", rig.folder.root);
        QCOMPARE(rig.activity.lines().last(),
                 QStringLiteral("2026-12-05 20:15:01   Start Rec:  Nachrichten  (95 Min)"));
        QCOMPARE(rig.logLines().last(),
                 "2026-12-05 20:15:01  " + rig.folder.exe + " " + defaultArgs().join(' '));
        QCOMPARE(rig.view.clockText, QStringLiteral("2026-12-05 20:15:01"));
        // Out of the database and the list; the pid and its start time are kept.
        QCOMPARE(rig.folder.recordCount(), 0);
        QCOMPARE(rig.list.rows(), 1);
        QCOMPARE(rig.app.orbivuTaskId, 4000);
        QCOMPARE(rig.app.orbivuTaskStart, quint64(50000));
        // Nothing follows: the sentinel, an empty label, and the timer runs on.
        QCOMPARE(rig.list.nextEventTime, TodoList::kNoEventStarted);
        QCOMPARE(rig.view.nextEventText, QString());
        QVERIFY(rig.timer.active);
        QCOMPARE(rig.timer.interval, 500);
        // The next ticks see the recording run and start nothing more.
        rig.tickAt(at(20, 15, 2));
        rig.tickAt(at(21, 0, 0));
        QCOMPARE(rig.app.orbivuState, 1);
        QCOMPARE(rig.launcher.starts.size(), 1);
        QVERIFY(rig.prompter.shown.isEmpty());
    }

    void commandLine_data()
    {
        QTest::addColumn<bool>("streamonly");
        QTest::addColumn<bool>("recDelay");
        QTest::addColumn<int>("delay");
        QTest::addColumn<bool>("useShortdesc");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QStringList>("existing");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("activity");
        QTest::newRow("defaults") << true << true << 500 << true << "Nachrichten" << QStringList()
                                  << defaultArgs() << "Nachrichten";
        QTest::newRow("all optional switches off")
            << false << false << 500 << false << "Nachrichten" << QStringList()
            << QStringList{"/close", "/priority=high", "/record=95", "/channel=12"}
            << "2026-12-05 20:15:00";
        QTest::newRow("negative delay passed through")
            << false << true << -5 << false << "x" << QStringList()
            << QStringList{"/close", "/priority=high", "/delay=-5", "/record=95", "/channel=12"}
            << "2026-12-05 20:15:00";
        QTest::newRow("names taken") << true << true << 500 << true << "Nachrichten"
                                     << QStringList{"Nachrichten.ts", "Nachrichten_1.ts"}
                                     << defaultArgs("Nachrichten_2") << "Nachrichten";
        QTest::newRow("hostile title")
            << false << false << 0 << true << " ../../etc/passwd; rm -rf * " << QStringList()
            << QStringList{"/close", "/priority=high", "/record=95", "/channel=12",
                           "/file=__#__#etc#passwd;_rm_-rf_#"}
            << " ../../etc/passwd; rm -rf * ";
    }
    void commandLine()
    {
        QFETCH(bool, streamonly);
        QFETCH(bool, recDelay);
        QFETCH(int, delay);
        QFETCH(bool, useShortdesc);
        QFETCH(QString, title);
        QFETCH(QStringList, existing);
        QFETCH(QStringList, args);
        QFETCH(QString, activity);
        Rig rig;
        rig.app.settings.streamonly = streamonly;
        rig.app.settings.recDelay = recDelay;
        rig.app.settings.recDelaySec = qint16(delay);
        rig.app.settings.useShortdesc = useShortdesc;
        for (const QString& f : existing) {
            QFile file(rig.app.recordDirectory + f);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        rig.addEntry(title, at(20, 15), 95);
        rig.tickAt(at(20, 16));
        QCOMPARE(rig.launcher.starts.size(), 1);
        QCOMPARE(rig.launcher.starts[0].args, args);
        QCOMPARE(rig.activity.lines().last(),
                 "2026-12-05 20:16:00   Start Rec:  " + activity + "  (95 Min)");
        QCOMPARE(rig.folder.recordCount(), 0);
    }

    void viewerPathWithBlanks()
    {
        Rig rig(QStringLiteral("Program Files/My Orbivu"));
        rig.addEntry("Nachrichten", at(20, 15), 95);
        rig.tickAt(at(20, 16));
        QCOMPARE(rig.launcher.starts.size(), 1);
        QCOMPARE(rig.launcher.starts[0].program, rig.folder.exe);
        QVERIFY(rig.launcher.starts[0].workingDir.endsWith("/Program Files/My Orbivu"));
        QCOMPARE(rig.logLines().last(),
                 "2026-12-05 20:16:00  " + rig.folder.exe + " " + defaultArgs().join(' '));
    }

    void nextEventAfterAStart_data()
    {
        QTest::addColumn<QString>("shutDownType");
        QTest::addColumn<bool>("autoRun");
        QTest::addColumn<bool>("runEntry");
        QTest::newRow("Rule without AutoRun") << "Rule" << false << true;
        QTest::newRow("Rule with AutoRun") << "Rule" << true << false;
        QTest::newRow("LastRec") << "LastRec" << false << false;
        QTest::newRow("Never") << "Never" << false << false;
        QTest::newRow("rule in other case") << "rule" << false << false;
    }
    void nextEventAfterAStart()
    {
        QFETCH(QString, shutDownType);
        QFETCH(bool, autoRun);
        QFETCH(bool, runEntry);
        Rig rig;
        rig.app.settings.shutDownType = shutDownType;
        rig.app.settings.autoRun = autoRun;
        rig.addEntry("Erste", at(20, 15), 30);
        rig.addEntry("Zweite", at(22, 0), 60);
        rig.tickAt(at(20, 15, 30));
        QCOMPARE(rig.launcher.starts.size(), 1);
        QCOMPARE(rig.list.rows(), 2);
        QCOMPARE(rig.list.cell(1, TodoList::ShortDesc), QStringLiteral("Zweite"));
        QCOMPARE(rig.list.nextEventRow, 1);
        QCOMPARE(rig.list.nextEventTime, toDaySerial(at(22, 0)));
        QCOMPARE(rig.view.nextEventText, QStringLiteral("2026-12-05 22:00:00"));
        const QList<QStringList> expected{{"Dorvel", "/opt/dorvel app/dorvel", "min"}};
        QCOMPARE(rig.autostart.entries, runEntry ? expected : QList<QStringList>());
        QCOMPARE(rig.folder.recordCount(), 1);

        // The second entry starts once the first recording is over.
        rig.table.remove(4000);
        rig.tickAt(at(22, 0, 1));
        QCOMPARE(rig.launcher.starts.size(), 2);
        QVERIFY(rig.launcher.starts[1].args.contains("/file=Zweite"));
        QCOMPARE(rig.list.nextEventTime, TodoList::kNoEventStarted);
    }

    void busyWindow_data()
    {
        QTest::addColumn<int>("msBefore");
        QTest::addColumn<bool>("viewer");
        QTest::addColumn<bool>("warned");
        QTest::newRow("47.1 s before") << 47100 << true << false;
        QTest::newRow("47.0 s before") << 47000 << true << true;
        QTest::newRow("1 s before") << 1000 << true << true;
        QTest::newRow("no viewer, 1 s before") << 1000 << false << false;
        QTest::newRow("at the launch time") << 0 << true << true;
    }
    void busyWindow()
    {
        QFETCH(int, msBefore);
        QFETCH(bool, viewer);
        QFETCH(bool, warned);
        Rig rig;
        rig.addEntry("Nachrichten", at(20, 15), 95);
        if (viewer)
            rig.userStartsViewer();
        rig.tickAt(at(20, 15).addMSecs(-msBefore));
        QCOMPARE(rig.prompter.shown.size(), warned ? 1 : 0);
        if (warned) {
            const Prompter::Box& box = rig.prompter.shown.first();
            QCOMPARE(box.text, rig.app.msg.MsgCloseViewerNow);
            QVERIFY(box.systemModal);
            QCOMPARE(box.buttons, Prompter::Buttons::Ok);
            QVERIFY(rig.logLines().last().endsWith("    " + rig.app.msg.MsgCloseViewerNow));
        }
        QVERIFY(rig.launcher.starts.isEmpty());
        QCOMPARE(rig.ended, 0);
    }

    void oneWarningPerComingStart()
    {
        Rig rig;
        rig.addEntry("Erste", at(20, 15), 30);
        rig.addEntry("Zweite", at(21, 0), 30);
        rig.userStartsViewer();
        for (int s : {-40, -30, -20, 10, 30})
            rig.tickAt(at(20, 15).addSecs(s));
        QCOMPARE(rig.prompter.shown.size(), 1);
        QVERIFY(rig.launcher.starts.isEmpty());

        // The user closes the viewer: the entry starts with its full length, late.
        rig.table.remove(900);
        rig.tickAt(at(20, 15, 45));
        QCOMPARE(rig.launcher.starts.size(), 1);
        QVERIFY(rig.launcher.starts[0].args.contains("/record=30"));
        QVERIFY(!rig.app.busyWarningShown);

        // The recording ends, the user opens the viewer again: the next start warns again.
        rig.table.remove(4000);
        rig.userStartsViewer(901);
        rig.tickAt(at(20, 59, 30));
        rig.tickAt(at(20, 59, 40));
        QCOMPARE(rig.prompter.shown.size(), 2);
        const int warnings = rig.logLines().filter(rig.app.msg.MsgCloseViewerNow).size();
        QCOMPARE(warnings, 2);
    }

    void expiryAfterTheBox_data()
    {
        QTest::addColumn<int>("closedAfterSecs"); // after the launch time
        QTest::addColumn<bool>("expired");
        QTest::newRow("closed 30 s late") << 30 << false;
        QTest::newRow("closed 59 s late") << 59 << false;
        QTest::newRow("closed 61 s late") << 61 << true;
        QTest::newRow("closed an hour late") << 3600 << true;
    }
    void expiryAfterTheBox()
    {
        QFETCH(int, closedAfterSecs);
        QFETCH(bool, expired);
        Rig rig;
        rig.addEntry("Nachrichten", at(20, 15), 95);
        rig.userStartsViewer();
        rig.view.trayIcon = true;
        rig.prompter.onShow = [&](const Prompter::Box& box) {
            if (box.text == rig.app.msg.MsgCloseViewerNow)
                rig.clock.set(at(20, 15).addSecs(closedAfterSecs));
        };
        rig.tickAt(at(20, 14, 30));
        QCOMPARE(rig.ended, expired ? 1 : 0);
        QCOMPARE(rig.wakeTimerClosed, expired ? 1 : 0);
        QCOMPARE(rig.view.trayIcon, !expired);
        QCOMPARE(rig.folder.recordCount(), 1); // the entry stays in the database either way
        QVERIFY(rig.launcher.starts.isEmpty());
        if (expired) {
            QCOMPARE(rig.prompter.texts(),
                     (QStringList{rig.app.msg.MsgCloseViewerNow, rig.app.msg.MsgRequestExpired}));
            QVERIFY(!rig.prompter.shown[1].systemModal);
            QVERIFY(rig.logLines().last().endsWith("    " + rig.app.msg.MsgRequestExpired));
            QVERIFY(!rig.timer.active);
            return;
        }
        // Nothing more while the viewer runs; the expiry test is made once only.
        rig.tickAt(at(20, 17));
        QCOMPARE(rig.prompter.shown.size(), 1);
        QCOMPARE(rig.ended, 0);
        rig.table.remove(900);
        rig.tickAt(at(20, 18));
        QCOMPARE(rig.launcher.starts.size(), 1);
        QVERIFY(rig.launcher.starts[0].args.contains("/record=95"));
    }

    void autoCloseAsksEveryTick()
    {
        Rig rig;
        rig.app.settings.autoClose = true;
        rig.addEntry("Nachrichten", at(20, 15), 95);
        rig.userStartsViewer(900);
        rig.table.obeysClose = false; // the viewer asks its user first
        rig.tickAt(at(20, 14, 12));   // 48 s before: outside the window
        QVERIFY(rig.table.closeRequests.isEmpty());
        for (int s : {14, 30, 50, 59})
            rig.tickAt(at(20, 14, s));
        rig.tickAt(at(20, 15, 20)); // late: still only a request, never forced
        QCOMPARE(rig.table.closeRequests, QList<qint64>(5, 900));
        QVERIFY(rig.prompter.shown.isEmpty());
        QVERIFY(rig.launcher.starts.isEmpty());
        QVERIFY(rig.timer.active);

        rig.table.obeysClose = true;
        rig.tickAt(at(20, 15, 21)); // closes it
        rig.tickAt(at(20, 15, 22)); // sees it gone and starts
        QCOMPARE(rig.launcher.starts.size(), 1);
        QCOMPARE(rig.ended, 0);
    }

    void oneTableReadPerTick()
    {
        Rig rig;
        rig.app.settings.autoClose = true;
        rig.app.settings.waitForClose = true;
        rig.table.obeysClose = false;
        rig.addEntry("Nachrichten", at(20, 15), 95);
        rig.userStartsViewer();
        rig.table.reads = 0;
        rig.tickAt(at(20, 14, 50)); // viewer + wait program query + close request
        QCOMPARE(rig.table.closeRequests.size(), 1);
        QCOMPARE(rig.table.reads, 1);
    }

    void failedStartPutsTheEntryBack()
    {
        Rig rig;
        rig.launcher.failWith = QStringLiteral("/x/Orbivu.EXE: not executable");
        rig.addEntry("Tatort", at(20, 15), 90, 12, QStringLiteral("Krimi"));
        rig.addEntry("Später", at(23, 0), 30);
        const QList<QVariantList> before = rig.records();
        rig.tickAt(at(20, 15, 1));

        QCOMPARE(rig.launcher.starts.size(), 1);
        QCOMPARE(rig.app.orbivuTaskId, 0);
        QCOMPARE(rig.list.recordingCount, 1);
        // Every column of the entry is back (the order of rows may differ).
        QList<QVariantList> after = rig.records();
        QCOMPARE(after.size(), before.size());
        for (const QVariantList& row : before)
            QVERIFY(after.contains(row));
        const QString line = rig.activity.lines().last();
        for (const QString& part :
             {QStringLiteral("Start Rec failed"), QStringLiteral("not executable"),
              QStringLiteral("channel 12"), QStringLiteral("2026-12-05 20:15:00"),
              QStringLiteral("2026-12-05 21:45:00"), QStringLiteral("\"Tatort\""),
              QStringLiteral("back in the")})
            QVERIFY2(line.contains(part), qPrintable(line));
        QVERIFY(rig.logLines().last().contains("Start Rec failed"));

        // No retry every 500 ms: the next event is the following entry.
        for (int s = 2; s < 30; ++s)
            rig.tickAt(at(20, 15, s));
        QCOMPARE(rig.launcher.starts.size(), 1);
        QCOMPARE(rig.list.nextEventTime, toDaySerial(at(23, 0)));
        QVERIFY(rig.prompter.shown.isEmpty());
    }

    void missingViewerWithTheRealLauncher()
    {
        LinuxProcessLauncher real;
        Rig rig(QStringLiteral("Orbivu"), &real);
        QFile::remove(rig.folder.exe);
        rig.addEntry("Nachrichten", at(20, 15), 95);
        rig.tickAt(at(20, 16));
        QCOMPARE(rig.folder.recordCount(), 1);
        QVERIFY(rig.activity.lines().last().contains("no such file"));
        QCOMPARE(rig.app.orbivuTaskId, 0);
    }

    void noDoubleStartWhileTheWarningIsOpen()
    {
        Rig rig;
        rig.addEntry("Nachrichten", at(20, 15), 95);
        rig.userStartsViewer();
        rig.prompter.onShow = [&](const Prompter::Box&) {
            // While the box is open the user closes the viewer and ticks keep coming.
            rig.table.remove(900);
            for (int s = 1; s <= 20; ++s)
                rig.tickAt(at(20, 15, s));
        };
        rig.tickAt(at(20, 14, 40));
        QCOMPARE(rig.launcher.starts.size(), 0);
        QCOMPARE(rig.prompter.shown.size(), 1);
        rig.tickAt(at(20, 15, 21));
        rig.tickAt(at(20, 15, 22));
        QCOMPARE(rig.launcher.starts.size(), 1);
        QCOMPARE(rig.folder.recordCount(), 0);
    }

    void failedDeleteStartsOnceAndMovesOn()
    {
        Rig rig;
        // The viewer's user deleted the entry meanwhile: the list still has it.
        rig.addEntry("Weg", at(20, 15), 30, 12, "x", false);
        rig.addEntry("Danach", at(20, 50), 30);
        int startsWhenBoxOpened = -1;
        rig.prompter.onShow = [&](const Prompter::Box& box) {
            QCOMPARE(box.text, QStringLiteral("ERROR"));
            startsWhenBoxOpened = int(rig.launcher.starts.size());
            for (int s = 2; s <= 10; ++s)
                rig.tickAt(at(20, 15, s));
        };
        rig.tickAt(at(20, 15, 1));
        QCOMPARE(rig.prompter.texts(), QStringList{"ERROR"});
        QCOMPARE(startsWhenBoxOpened, 1); // the recording did not wait for the box
        rig.tickAt(at(20, 15, 11));
        rig.tickAt(at(20, 30));
        QCOMPARE(rig.launcher.starts.size(), 1);
        QCOMPARE(rig.list.rows(), 2);
        QCOMPARE(rig.list.nextEventTime, toDaySerial(at(20, 50)));
        QCOMPARE(rig.folder.recordCount(), 1);
        QVERIFY(rig.activity.lines().filter("could not delete").size() == 1);
    }

    void noDoubleStartDuringThePause()
    {
        Rig rig;
        rig.addEntry("Erste", at(20, 15), 95);
        rig.addEntry("Zweite", at(20, 15), 30); // due as well, it moves up into row 1
        int nested = 0;
        rig.scheduler->setHooks({[&] { rig.checkAfterRecording(); },
                                 {},
                                 {},
                                 {},
                                 [&] {
                                     ++nested;
                                     rig.clock.advanceSecs(1);
                                     rig.scheduler->tick();
                                 }});
        rig.tickAt(at(20, 15, 1));
        QCOMPARE(nested, 1);
        QCOMPARE(rig.launcher.starts.size(), 1);
        QVERIFY(rig.launcher.starts[0].args.contains("/file=Erste"));
        // The second one waits for the first recording to end.
        rig.tickAt(at(20, 15, 3));
        QCOMPARE(rig.launcher.starts.size(), 1);
        rig.table.remove(4000);
        rig.tickAt(at(20, 15, 4));
        QCOMPARE(rig.launcher.starts.size(), 2);
    }

    void quotesInTitlesMatchTheDatabase()
    {
        Rig rig;
        rig.addEntry(QStringLiteral("Der \"Pate\""), at(20, 15), 95, 12,
                     QStringLiteral("Teil \"1\" von \"\"3\"\""));
        rig.tickAt(at(20, 16));
        QCOMPARE(rig.folder.recordCount(), 0);
        QVERIFY(rig.launcher.starts[0].args.contains("/file=Der_\"Pate\""));
        QVERIFY(rig.prompter.shown.isEmpty());
    }

    void onlyTheFirstMatchIsDeleted()
    {
        Rig rig;
        rig.folder.addRecord(12, "2026.12.05 20:15", "2026.12.05 21:50", "Nachrichten", "long");
        rig.addEntry("Nachrichten", at(20, 15), 95);
        rig.tickAt(at(20, 16));
        QCOMPARE(rig.folder.recordCount(), 1);
    }

    void missingRecordFolderKeepsScheduling()
    {
        Rig rig;
        rig.app.recordDirectory = QStringLiteral("/nonexistent/dorvel/rec/");
        rig.addEntry("Nachrichten", at(20, 15), 95);
        rig.tickAt(at(20, 16));
        QCOMPARE(rig.launcher.starts.size(), 1);
        QVERIFY(rig.launcher.starts[0].args.contains("/file=Nachrichten"));
    }

    void unusableRows()
    {
        Rig rig;
        rig.addEntry("Ohne Länge", at(20, 15), 30);
        rig.addEntry("Danach", at(20, 50), 30);
        rig.list.setCell(1, TodoList::RecMinutes, QString());
        rig.tickAt(at(20, 16));
        QVERIFY(rig.launcher.starts.isEmpty());
        QCOMPARE(rig.folder.recordCount(), 2);
        QVERIFY(rig.activity.lines().last().contains("has no length"));
        QCOMPARE(rig.list.nextEventRow, 2);
        rig.tickAt(at(20, 51));
        QCOMPARE(rig.launcher.starts.size(), 1);
        QVERIFY(rig.launcher.starts[0].args.contains("/file=Danach"));

        // A next event without a row (the loader found none) starts nothing, not the header.
        Rig other;
        other.addEntry("Nachrichten", at(20, 15), 95);
        other.list.nextEventRow = 0;
        other.tickAt(at(20, 16));
        QVERIFY(other.launcher.starts.isEmpty());
        QCOMPARE(other.folder.recordCount(), 1);
        QCOMPARE(other.list.nextEventTime, TodoList::kNoEventStarted);
    }

    // As the delete command uses it: the row goes only when the database entry went.
    void deleteStartedRecordingKeepsRowOnFailure_data()
    {
        QTest::addColumn<bool>("inDatabase");
        QTest::addColumn<int>("row");
        QTest::addColumn<bool>("deleted");
        QTest::newRow("matching entry") << true << 1 << true;
        QTest::newRow("entry gone from the database") << false << 1 << false;
        QTest::newRow("header row") << true << 0 << false;
        QTest::newRow("row past the end") << true << 2 << false;
    }
    void deleteStartedRecordingKeepsRowOnFailure()
    {
        QFETCH(bool, inDatabase);
        QFETCH(int, row);
        QFETCH(bool, deleted);
        Rig rig;
        rig.addEntry("Nachrichten", at(20, 15), 95, 12, "long", inDatabase);
        const auto taken = deleteStartedRecording(rig.list, rig.db, rig.prompter, row);
        QCOMPARE(taken.has_value(), deleted);
        QCOMPARE(rig.list.rows(), deleted ? 1 : 2);
        QCOMPARE(rig.prompter.texts(), deleted ? QStringList() : QStringList{"ERROR"});
        QCOMPARE(rig.folder.recordCount(), deleted || !inDatabase ? 0 : 1);
        if (deleted)
            QCOMPARE(taken->value("SHORTDESC").toString(), QStringLiteral("Nachrichten"));
    }

    void stepsRunInOrder()
    {
        Rig rig;
        rig.app.resumedFromStandby = true;
        rig.app.standbyMode = true;
        QString clockDuringCheck;
        rig.scheduler->setHooks({[&] {
                                     clockDuringCheck = rig.view.clockText;
                                     rig.checkAfterRecording();
                                 },
                                 [&] { rig.calls << "systemRequired"; },
                                 {},
                                 {},
                                 {}});
        rig.view.clockText = "old";
        rig.tickAt(at(20, 1));
        QCOMPARE(rig.calls, (QStringList{"systemRequired", "check"}));
        QCOMPARE(clockDuringCheck, QStringLiteral("old"));
        QCOMPARE(rig.view.clockText, QStringLiteral("2026-12-05 20:01:00"));
        QVERIFY(!rig.app.resumedFromStandby);
        QCOMPARE(rig.logLines().last(),
                 QStringLiteral("2026-12-05 20:01:00   Timer Restarted (after StandBy)"));
        rig.tickAt(at(20, 2));
        QCOMPARE(rig.logLines().filter("Timer Restarted").size(), 1);
    }

    // Wall-clock times: a launch time inside the spring-forward gap starts on the first tick
    // after the gap, and one after the gap is still not started early.
    void daylightSavingGap()
    {
        Rig rig;
        rig.addEntry("Nacht", QDateTime(QDate(2026, 3, 29), QTime(1, 50)), 60);
        rig.list.setCell(1, TodoList::RecStart, QStringLiteral("2026-03-29 02:30:00"));
        rig.list.nextEventTime = *parseDefault(QStringLiteral("2026-03-29 02:30:00"));
        rig.tickAt(QDateTime(QDate(2026, 3, 29), QTime(1, 59, 59)));
        QVERIFY(rig.launcher.starts.isEmpty());
        rig.clock.advanceSecs(1); // 03:00:00 summer time
        QCOMPARE(rig.clock.now().time(), QTime(3, 0));
        rig.scheduler->tick();
        QCOMPARE(rig.launcher.starts.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestScheduler)
#include "tst_scheduler.moc"
