// The decision after a recording, the pending words, the timed standby, the ITime rule and
// the wake-up tool, against fakes.

#include "powerfakes.h"

#include <QTest>

using namespace dorvel;
using namespace dorvel::test;

namespace {

QDateTime at(const char* text)
{
    return fromDaySerial(*parseDefault(QString::fromLatin1(text)));
}

} // namespace

class TestAfterRecording : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void statusWithoutRecording_data();
    void statusWithoutRecording();
    void recordingStillRunning();
    void reusedPidIsNotTheRecording();
    void decisionTable_data();
    void decisionTable();
    void countAlreadyZeroStaysZero();
    void pendingWordWaitsThenActs_data();
    void pendingWordWaitsThenActs();
    void pendingWordWaitsForViewer();
    void timedStandby_data();
    void timedStandby();
    void failedTimedStandbyStillRestarts();
    void ruleShutdown_data();
    void ruleShutdown();
    void wakeToolOnRulePath_data();
    void wakeToolOnRulePath();
    void wakeToolMissing();
    void emptyWaitProgramNeverBlocks();
    void reentryDuringCountdownDecidesOnce();
    void stopInCountdownKeepsRunning();
    void stayAwakeLockEndsWithStandbyMode();
};

void TestAfterRecording::statusWithoutRecording_data()
{
    QTest::addColumn<bool>("userViewer");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("icon");
    QTest::addColumn<QString>("tip");

    const QString base = QStringLiteral("Dorvel Ver 0.36");
    QTest::newRow("idle, recordings pending")
        << false << 2 << base << 0 << int(MainView::StateIcon::Idle)
        << QStringLiteral("Waiting. Next recording at 2026-12-05 21:30:00");
    QTest::newRow("idle, nothing pending")
        << false << 0 << base << 0 << int(MainView::StateIcon::Idle) << QStringLiteral("Waiting");
    QTest::newRow("viewer started by the user")
        << true << 2 << base + QStringLiteral(" - Orbivu is running started by user") << 2
        << int(MainView::StateIcon::ViewerRunning)
        << QStringLiteral("Orbivu is running started by user");
}

void TestAfterRecording::statusWithoutRecording()
{
    QFETCH(int, state);
    QFETCH(int, icon);
    QFETCH(bool, userViewer);
    QFETCH(int, count);
    Rig r;
    r.todo.recordingCount = count;
    r.setNextLaunchIn(90 * 60);
    r.state.busyWarningShown = true;
    r.state.resumedFromStandby = true;
    if (userViewer)
        r.table.add(55, QStringLiteral("/home/u/orbivu/ORBIVU.EXE"));

    r.after.checkAfterRecording();

    QTEST(r.view.captionText, "caption");
    QCOMPARE(r.state.orbivuState, state);
    QCOMPARE(int(r.view.icon), icon);
    QTEST(r.view.trayTip, "tip");
    QCOMPARE(r.state.resumedFromStandby, false);
    QCOMPARE(r.state.busyWarningShown, userViewer); // cleared only when no viewer runs
    QVERIFY(r.activity.lines().isEmpty());
    QCOMPARE(r.todo.recordingCount, count);
}

void TestAfterRecording::recordingStillRunning()
{
    Rig r;
    r.todo.recordingCount = 1;
    r.startRecording();
    r.state.pendingPowerAction = pendingword::ShutDownLastRec;

    r.after.checkAfterRecording();

    QCOMPARE(r.view.captionText,
             QStringLiteral("Dorvel Ver 0.36 - Orbivu is recording started by Dorvel"));
    QCOMPARE(r.state.orbivuState, 1);
    QCOMPARE(r.view.icon, MainView::StateIcon::Recording);
    QCOMPARE(r.view.trayTip, QStringLiteral("Orbivu is recording started by Dorvel"));
    QCOMPARE(r.state.orbivuTaskId, qint64(321));
    QCOMPARE(r.state.pendingPowerAction, pendingword::ShutDownLastRec); // waits for the end
    QCOMPARE(r.countdown.runs, 0);
}

void TestAfterRecording::reusedPidIsNotTheRecording()
{
    Rig r;
    r.todo.recordingCount = 2;
    r.setNextLaunchIn(3600);
    r.state.orbivuTaskId = 321;
    r.state.orbivuTaskStart = 777;
    r.table.add(321, QStringLiteral("/opt/orbivu/Orbivu.EXE"), 778); // same pid, other process

    r.after.checkAfterRecording();

    QCOMPARE(Rig::texts(r.activity.lines()), QStringList{QStringLiteral("   Stop Rec")});
    QCOMPARE(r.todo.recordingCount, 1);
}

void TestAfterRecording::decisionTable_data()
{
    QTest::addColumn<bool>("standby");
    QTest::addColumn<int>("left"); // recordings left after the count has been lowered
    QTest::addColumn<QString>("type");
    QTest::addColumn<bool>("blocked");
    QTest::addColumn<int>("nextMinutes");
    QTest::addColumn<QString>("word");
    QTest::addColumn<QStringList>("power");
    QTest::addColumn<int>("countdowns");
    QTest::addColumn<bool>("ended");
    QTest::addColumn<QStringList>("list");
    QTest::addColumn<QStringList>("log");

    const QString stop = QStringLiteral("   Stop Rec");
    const QString last = QStringLiteral("   Shutdown after last record");
    const QStringList none;
    const QStringList off{QStringLiteral("powerOff")};
    const QStringList standbyLines{stop, QStringLiteral("   Record finished enter StandBy"),
                                   QStringLiteral("   Resumed (USER)")};
    const QStringList standbyLog{
        QStringLiteral("   Record finished enter StandBy until User - resume"),
        QStringLiteral("   Resumed by User")};
    const QStringList timedLines{stop, QStringLiteral("   StandBy for 1680 sek"),
                                 QStringLiteral("   Resumed")};
    const QStringList timedLog{QStringLiteral("   StandBy for 1680 sek"),
                               QStringLiteral("   Resumed")};

    auto row = [](const char* name) -> QTestData& { return QTest::newRow(name); };
    // standby mode, no recording left
    const QStringList un{QStringLiteral("uninhibit")};
    row("standby, last, LastRec") << true << 0 << "LastRec" << false << 0 << ""
                                  << QStringList{QStringLiteral("uninhibit"),
                                                 QStringLiteral("powerOff")}
                                  << 1 << true << QStringList{stop} << QStringList{last};
    row("standby, last, LastRec, waiting")
        << true << 0 << "LastRec" << true << 0 << "ShutDownLastRec" << un << 0 << false
        << QStringList{stop} << none;
    row("standby, last, Never") << true << 0 << "Never" << false << 0 << ""
                                << QStringList{QStringLiteral("uninhibit"),
                                               QStringLiteral("standbyUntilUser")}
                                << 0 << false << standbyLines << standbyLog;
    row("standby, last, Never, waiting")
        << true << 0 << "Never" << true << 0 << "StandByLastRec"
        << QStringList{QStringLiteral("uninhibit")} << 0 << false << QStringList{stop} << none;
    row("standby, last, Rule") << true << 0 << "Rule" << false << 0 << ""
                               << QStringList{QStringLiteral("uninhibit")} << 0 << false
                               << QStringList{stop} << none;
    row("standby, last, Rule, waiting")
        << true << 0 << "Rule" << true << 0 << "" << QStringList{QStringLiteral("uninhibit")} << 0
        << false << QStringList{stop} << none;
    // standby mode, recordings left
    for (const char* type : {"Never", "LastRec", "Rule"}) {
        QTest::addRow("standby, more, %s", type)
            << true << 2 << type << false << 30 << ""
            << QStringList{QStringLiteral("standbyWithWakeup 1680")} << 0 << false << timedLines
            << timedLog;
        QTest::addRow("standby, more, %s, waiting", type)
            << true << 2 << type << true << 30 << "GoNormalStandBy" << none << 0 << false
            << QStringList{stop} << none;
    }
    // no standby mode
    row("Never, last") << false << 0 << "Never" << false << 0 << "" << none << 0 << false
                       << QStringList{stop} << none;
    row("Never, more, waiting") << false << 2 << "Never" << true << 90 << "" << none << 0 << false
                                << QStringList{stop} << none;
    row("LastRec, last") << false << 0 << "LastRec" << false << 0 << "" << off << 1 << true
                         << QStringList{stop} << QStringList{last};
    row("Rule, last") << false << 0 << "Rule" << false << 0 << "" << off << 1 << true
                      << QStringList{stop} << QStringList{last};
    row("LastRec, last, waiting") << false << 0 << "LastRec" << true << 0 << "ShutDownLastRec"
                                  << none << 0 << false << QStringList{stop} << none;
    row("Rule, last, waiting") << false << 0 << "Rule" << true << 0 << "ShutDownLastRec" << none
                               << 0 << false << QStringList{stop} << none;
    row("Rule, more, far") << false << 2 << "Rule" << false << 61 << "" << off << 0 << false
                           << QStringList{stop}
                           << QStringList{QStringLiteral(
                                  "   Shutdown (next record at 2026-12-05 21:01:00)")};
    row("Rule, more, near") << false << 2 << "Rule" << false << 50 << "" << none << 0 << false
                            << QStringList{stop} << none;
    row("Rule, more, waiting") << false << 2 << "Rule" << true << 61 << "StartNocturo1" << none << 0
                               << false << QStringList{stop} << none;
    row("LastRec, more") << false << 2 << "LastRec" << false << 61 << "" << none << 0 << false
                         << QStringList{stop} << none;
    row("unknown type, last") << false << 0 << "lastrec" << false << 0 << "" << none << 0 << false
                              << QStringList{stop} << none;
}

void TestAfterRecording::decisionTable()
{
    QFETCH(bool, standby);
    QFETCH(int, left);
    QFETCH(QString, type);
    QFETCH(bool, blocked);
    QFETCH(int, nextMinutes);
    QFETCH(bool, ended);
    Rig r;
    r.state.standbyMode = standby;
    r.power.held = standby;
    r.view.standbyLabel = standby ? QStringLiteral("StandBy") : QString();
    r.state.settings.shutDownType = type;
    r.todo.recordingCount = left + 1;
    r.setNextLaunchIn(nextMinutes * 60);
    r.setWaitProgramRunning(blocked);
    r.startRecording();
    r.after.checkAfterRecording(); // still recording
    QCOMPARE(r.state.orbivuState, 1);

    r.endRecording();
    r.after.checkAfterRecording();

    QCOMPARE(r.todo.recordingCount, left);
    QTEST(r.state.pendingPowerAction, "word");
    QTEST(r.power.calls, "power");
    QTEST(r.countdown.runs, "countdowns");
    QCOMPARE(r.ended, ended ? 1 : 0);
    QTEST(r.listTexts(), "list");
    QTEST(r.logTexts(), "log");
    QCOMPARE(r.state.orbivuTaskId, qint64(0));
    QVERIFY(r.prompter.shown.isEmpty());
    if (standby && left == 0) {
        QCOMPARE(r.state.standbyMode, false);
        QCOMPARE(r.view.standbyLabel, QString());
    }
    if (!ended) {
        QCOMPARE(r.state.orbivuState, 0);
        QCOMPARE(r.view.captionText, r.state.mainCaption);
        QVERIFY(r.timer.active);
    }

    // The same ended recording never leads to a second decision.
    const QStringList powerBefore = r.power.calls;
    const int listBefore = r.activity.lines().size();
    r.after.checkAfterRecording();
    QCOMPARE(r.power.calls, powerBefore);
    QCOMPARE(r.activity.lines().size(), listBefore);
    QCOMPARE(r.todo.recordingCount, left);
}

void TestAfterRecording::countAlreadyZeroStaysZero()
{
    Rig r;
    r.state.settings.shutDownType = QStringLiteral("LastRec");
    r.todo.recordingCount = 0;
    r.startRecording();
    r.endRecording();

    r.after.checkAfterRecording();

    QCOMPARE(r.todo.recordingCount, 0);
    QCOMPARE(r.countdown.runs, 1); // decided as for the last recording
}

void TestAfterRecording::pendingWordWaitsThenActs_data()
{
    QTest::addColumn<QString>("word");
    QTest::addColumn<QString>("type");
    QTest::addColumn<bool>("wakeToolMode");
    QTest::addColumn<int>("nextMinutes");
    QTest::addColumn<QStringList>("power");
    QTest::addColumn<int>("countdowns");
    QTest::addColumn<int>("launches");
    QTest::addColumn<bool>("ended");

    QTest::newRow("ShutDownLastRec")
        << "ShutDownLastRec"
        << "LastRec" << false << 0 << QStringList{QStringLiteral("powerOff")} << 1 << 0 << true;
    QTest::newRow("StandByLastRec")
        << "StandByLastRec"
        << "Never" << false << 0 << QStringList{QStringLiteral("standbyUntilUser")} << 0 << 0
        << false;
    QTest::newRow("GoNormalStandBy")
        << "GoNormalStandBy"
        << "LastRec" << false << 30
        << QStringList{QStringLiteral("inhibit"), QStringLiteral("standbyWithWakeup 1680")} << 0
        << 0 << false;
    QTest::newRow("StartNocturo1, wake-tool mode")
        << "StartNocturo1"
        << "Rule" << true << 61 << QStringList{QStringLiteral("closeWakeTimer")} << 0 << 1 << true;
    QTest::newRow("StartNocturo1, no wake-tool mode: the ITime rule's power-off")
        << "StartNocturo1"
        << "Rule" << false << 61 << QStringList{QStringLiteral("powerOff")} << 0 << 0 << false;
    QTest::newRow("StartNocturo1, no wake-tool mode, next launch near")
        << "StartNocturo1"
        << "Rule" << false << 30 << QStringList{} << 0 << 0 << false;
    QTest::newRow("unknown word") << "ShutDown"
                                  << "LastRec" << false << 0 << QStringList{} << 0 << 0 << false;
}

void TestAfterRecording::pendingWordWaitsThenActs()
{
    QFETCH(QString, type);
    QFETCH(bool, wakeToolMode);
    QFETCH(int, nextMinutes);
    QFETCH(QString, word);
    QFETCH(bool, ended);
    Rig r;
    r.state.settings.shutDownType = type;
    r.state.wakeToolMode = wakeToolMode;
    r.todo.recordingCount = 2;
    r.setNextLaunchIn(nextMinutes * 60);
    r.state.pendingPowerAction = word;
    r.setWaitProgramRunning(true);

    for (int i = 0; i < 5; ++i)
        r.after.checkAfterRecording();
    QCOMPARE(r.state.pendingPowerAction, word); // no time-out
    QVERIFY(r.power.calls.isEmpty());

    r.setWaitProgramRunning(false);
    r.after.checkAfterRecording();

    QTEST(r.power.calls, "power");
    QTEST(r.countdown.runs, "countdowns");
    QTEST(int(r.launcher.started.size()), "launches");
    QCOMPARE(r.ended, ended ? 1 : 0);
    QVERIFY(r.prompter.shown.isEmpty());
    if (!ended) {
        QCOMPARE(r.state.pendingPowerAction, QString());
        QVERIFY(r.timer.active);
    }
}

void TestAfterRecording::pendingWordWaitsForViewer()
{
    Rig r;
    r.state.settings.shutDownType = QStringLiteral("LastRec");
    r.state.pendingPowerAction = pendingword::ShutDownLastRec;
    r.table.add(60, QStringLiteral("/opt/orbivu/Orbivu.EXE")); // started by the user

    r.after.checkAfterRecording();
    QCOMPARE(r.countdown.runs, 0);

    r.endRecording();
    r.after.checkAfterRecording();
    QCOMPARE(r.countdown.runs, 1);
}

void TestAfterRecording::timedStandby_data()
{
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QDateTime>("next");
    QTest::addColumn<int>("seconds"); // 0: no standby

    QTest::newRow("9 minutes") << at("2026-12-05 20:00:00") << at("2026-12-05 20:09:00") << 0;
    QTest::newRow("11 minutes") << at("2026-12-05 20:00:00") << at("2026-12-05 20:11:00") << 540;
    QTest::newRow("over midnight")
        << at("2026-12-05 23:55:00") << at("2026-12-06 01:10:30") << 4410;
    QTest::newRow("two days") << at("2026-12-05 20:00:00") << at("2026-12-07 20:00:00") << 172680;
    // The clocks go forward at 02:00: 03:06 is eleven real minutes after 01:55. By the wall
    // clock it would be 71, and the PC would wake an hour after the launch.
    QTest::newRow("clocks go forward")
        << at("2026-03-29 01:55:00") << at("2026-03-29 03:06:00") << 540;
    // ... and back at 03:00: 03:05 is 130 real minutes after 01:55.
    QTest::newRow("clocks go back")
        << at("2026-10-25 01:55:00") << at("2026-10-25 03:05:00") << 7680;
    QTest::newRow("9 minutes over the change")
        << at("2026-03-29 01:55:00") << at("2026-03-29 03:04:00") << 0;
}

void TestAfterRecording::timedStandby()
{
    QFETCH(QDateTime, now);
    QFETCH(QDateTime, next);
    QFETCH(int, seconds);
    Rig r;
    r.clock.set(now);
    r.todo.nextEventTime = toDaySerial(next);

    r.after.timedStandby();

    if (seconds == 0) {
        QVERIFY(r.power.calls.isEmpty());
        QVERIFY(r.activity.lines().isEmpty());
        QVERIFY(r.timer.active);
        return;
    }
    const QString line = QStringLiteral("   StandBy for %1 sek").arg(seconds);
    QCOMPARE(r.power.calls, QStringList{QStringLiteral("standbyWithWakeup %1").arg(seconds)});
    QCOMPARE(r.listTexts(), (QStringList{line, QStringLiteral("   Resumed")}));
    QCOMPARE(r.logTexts(), (QStringList{line, QStringLiteral("   Resumed")}));
    QVERIFY(r.state.resumedFromStandby);
    QVERIFY(r.timer.active);
    QCOMPARE(r.timer.interval, 500);
    // Woken two minutes before the launch.
    QCOMPARE(r.clock.now().secsTo(fromDaySerial(r.todo.nextEventTime)), 120);
}

void TestAfterRecording::failedTimedStandbyStillRestarts()
{
    Rig r;
    r.setNextLaunchIn(60 * 60);
    r.power.standbyResult = powertext::SetTimerFail;
    r.power.awaySecs = 0;
    bool timerStoppedDuringStandby = false;
    r.power.onStandby = [&] { timerStoppedDuringStandby = !r.timer.active; };

    r.after.timedStandby();

    QVERIFY(timerStoppedDuringStandby);
    QCOMPARE(r.prompter.texts(), QStringList{QStringLiteral("ERROR in Resume")});
    QCOMPARE(r.listTexts().last(), QStringLiteral("   Resumed"));
    QVERIFY(r.state.resumedFromStandby);
    QVERIFY(r.timer.active);
}

void TestAfterRecording::ruleShutdown_data()
{
    QTest::addColumn<int>("ruleMinutes");
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QDateTime>("next");
    QTest::addColumn<bool>("powerOff");

    const QDateTime now = at("2026-12-05 20:00:00");
    QTest::newRow("50 of 60") << 60 << now << now.addSecs(50 * 60) << false;
    QTest::newRow("59:59") << 60 << now << now.addSecs(60 * 60 - 1) << false;
    // The system's minute constant is a hair short of 60 s, so exactly 60 minutes is "more".
    QTest::newRow("exactly 60") << 60 << now << now.addSecs(60 * 60) << true;
    QTest::newRow("61 of 60") << 60 << now << now.addSecs(61 * 60) << true;
    QTest::newRow("20 of 15") << 15 << now << now.addSecs(20 * 60) << true;
    // Hand-edited values out of 15..999 count as 60.
    QTest::newRow("5 means 60, 50 away") << 5 << now << now.addSecs(50 * 60) << false;
    QTest::newRow("0 means 60, 61 away") << 0 << now << now.addSecs(61 * 60) << true;
    QTest::newRow("1000 means 60, 61 away") << 1000 << now << now.addSecs(61 * 60) << true;
    QTest::newRow("-3 means 60, 50 away") << -3 << now << now.addSecs(50 * 60) << false;
    // 03:00 summer time is one real minute after 01:59 winter time, not 61.
    QTest::newRow("clocks go forward")
        << 60 << at("2026-03-29 01:59:00") << at("2026-03-29 03:00:00") << false;
}

void TestAfterRecording::ruleShutdown()
{
    QFETCH(int, ruleMinutes);
    QFETCH(QDateTime, now);
    QFETCH(QDateTime, next);
    QFETCH(bool, powerOff);
    Rig r;
    r.state.settings.shutDownType = QStringLiteral("Rule");
    r.state.settings.ruleMinutes = qint16(ruleMinutes);
    r.clock.set(now);
    r.todo.nextEventTime = toDaySerial(next);
    r.todo.recordingCount = 3;
    r.startRecording();
    r.endRecording();

    r.after.checkAfterRecording();

    QCOMPARE(r.power.calls, powerOff ? QStringList{QStringLiteral("powerOff")} : QStringList{});
    QCOMPARE(r.countdown.runs, 0); // never a countdown on this path
    QCOMPARE(r.ended, 0);          // the shutdown ends the program
    QCOMPARE(r.logTexts().size(), powerOff ? 1 : 0);
}

void TestAfterRecording::wakeToolOnRulePath_data()
{
    QTest::addColumn<QDateTime>("next");
    QTest::addColumn<QString>("wake");

    QTest::newRow("plain") << at("2026-12-05 21:01:00") << QStringLiteral("2026-12-05 20:58:00");
    QTest::newRow("over midnight")
        << at("2026-12-06 00:01:30") << QStringLiteral("2026-12-05 23:58:30");
    // Three real minutes before 03:01 summer time is 01:58 winter time; 02:58 does not exist.
    QTest::newRow("clocks go forward")
        << at("2026-03-29 03:01:00") << QStringLiteral("2026-03-29 01:58:00");
}

void TestAfterRecording::wakeToolOnRulePath()
{
    QFETCH(QDateTime, next);
    QFETCH(QString, wake);
    Rig r;
    r.clock.set(next.addSecs(-3 * 3600));
    r.state.settings.shutDownType = QStringLiteral("Rule");
    r.state.wakeToolMode = true;
    r.state.reloadRequested = true;
    r.view.trayIcon = true;
    r.todo.recordingCount = 2;
    r.todo.nextEventTime = toDaySerial(next);
    r.startRecording();
    r.endRecording();

    r.after.checkAfterRecording();

    const QString program = QStringLiteral("/opt/my dorvel/Nocturo.exe");
    QCOMPARE(r.launcher.started,
             (QList<QStringList>{{program, QStringLiteral("/wakeup=") + wake}}));
    QCOMPARE(r.autostart.ops,
             QStringList{QStringLiteral("set Dorvel: /opt/my dorvel/dorvel min cmos")});
    QCOMPARE(
        r.logTexts(),
        (QStringList{QStringLiteral("   Shutdown (next record at %1)").arg(formatDefault(next)),
                     QStringLiteral("   Run Nocturo with ") + program +
                         QStringLiteral(" /wakeup=") + wake}));
    QCOMPARE(r.power.calls,
             QStringList{QStringLiteral("closeWakeTimer")}); // no power-off of its own
    QCOMPARE(r.ended, 1);
    QCOMPARE(r.state.reloadRequested, false);
    QCOMPARE(r.view.trayIcon, false);
    QCOMPARE(r.timer.active, false);
    QVERIFY(r.prompter.shown.isEmpty());

    r.after.checkAfterRecording(); // nothing happens after the end
    QCOMPARE(r.launcher.started.size(), 1);
}

void TestAfterRecording::wakeToolMissing()
{
    Rig r;
    r.state.settings.shutDownType = QStringLiteral("Rule");
    r.state.wakeToolMode = true;
    r.todo.recordingCount = 2;
    r.todo.nextEventTime = toDaySerial(at("2026-12-05 23:00:00"));
    r.launcher.fail = true;
    r.startRecording();
    r.endRecording();

    r.after.checkAfterRecording();

    QCOMPARE(r.prompter.texts(),
             QStringList{QStringLiteral(
                 "ERROR: /opt/my dorvel/Nocturo.exe /wakeup=2026-12-05 22:57:00 not found")});
    QCOMPARE(r.ended, 1); // the program ends all the same
}

void TestAfterRecording::emptyWaitProgramNeverBlocks()
{
    Rig r;
    r.state.settings.shutDownType = QStringLiteral("LastRec");
    r.state.settings.waitForClose = true;
    r.state.settings.waitForProg = QStringLiteral("   ");
    r.table.add(1, QStringLiteral("/sbin/init"));
    QVERIFY(!r.after.isWaitProgramBlocking());
    r.startRecording();
    r.endRecording();

    r.after.checkAfterRecording();

    QCOMPARE(r.countdown.runs, 1);
    QCOMPARE(r.state.pendingPowerAction, QString());

    // A name that matches, with WaitForClose off, does not block either.
    Rig r2;
    r2.table.add(900, QStringLiteral("/usr/bin/TMPGenc.exe"));
    QVERIFY(!r2.after.isWaitProgramBlocking());
    r2.state.settings.waitForClose = true;
    QVERIFY(r2.after.isWaitProgramBlocking());
}

void TestAfterRecording::reentryDuringCountdownDecidesOnce()
{
    Rig r;
    r.state.settings.shutDownType = QStringLiteral("LastRec");
    r.todo.recordingCount = 1;
    r.startRecording();
    r.endRecording();
    // Ticks keep arriving while the countdown window runs its own event loop.
    r.countdown.onRun = [&] {
        for (int i = 0; i < 30; ++i)
            r.after.checkAfterRecording();
    };

    r.after.checkAfterRecording();

    QCOMPARE(r.countdown.runs, 1);
    QCOMPARE(r.power.calls, QStringList{QStringLiteral("powerOff")});
    QCOMPARE(r.listTexts(), QStringList{QStringLiteral("   Stop Rec")});
    QCOMPARE(r.logTexts(), QStringList{QStringLiteral("   Shutdown after last record")});
    QCOMPARE(r.ended, 1);
}

void TestAfterRecording::stopInCountdownKeepsRunning()
{
    Rig r;
    r.state.settings.shutDownType = QStringLiteral("LastRec");
    r.state.pendingPowerAction = pendingword::ShutDownLastRec;
    r.setWaitProgramRunning(false);
    int ticksDuringCountdown = 0;
    r.countdown.onRun = [&] {
        QVERIFY(r.state.shutdownConfirmed);
        QCOMPARE(r.state.countdownEnd, r.clock.nowSerial() + 15 * kSecond);
        r.after.checkAfterRecording(); // a tick
        ++ticksDuringCountdown;
        r.state.pendingPowerAction.clear(); // what Stop does
        r.state.shutdownConfirmed = false;
    };

    r.after.checkAfterRecording();

    QCOMPARE(ticksDuringCountdown, 1);
    QCOMPARE(r.countdown.runs, 1);
    QVERIFY(r.power.calls.isEmpty());
    QCOMPARE(r.ended, 0);
    QCOMPARE(r.state.pendingPowerAction, QString());
    QVERIFY(r.timer.active);
    QVERIFY(r.logTexts().isEmpty());

    r.after.checkAfterRecording();
    QCOMPARE(r.countdown.runs, 1);
}

void TestAfterRecording::stayAwakeLockEndsWithStandbyMode()
{
    Rig r;
    r.state.settings.shutDownType = QStringLiteral("Never");
    r.todo.recordingCount = 2;
    r.setNextLaunchIn(5 * 60);
    r.after.commands().standByCommand(); // near: no sleep now, standby mode on
    QVERIFY(r.state.standbyMode);
    QCOMPARE(r.power.calls, QStringList{QStringLiteral("inhibit")});

    // A tick calls this on every turn; the lock is still taken only once.
    for (int i = 0; i < 3; ++i)
        r.ops.signalSystemRequired(r.state.standbyMode);
    QCOMPARE(r.power.calls, QStringList{QStringLiteral("inhibit")});

    r.todo.recordingCount = 1;
    r.startRecording();
    r.endRecording();
    r.after.checkAfterRecording(); // the last one: standby until the user
    QCOMPARE(r.power.calls, (QStringList{QStringLiteral("inhibit"), QStringLiteral("uninhibit"),
                                         QStringLiteral("standbyUntilUser")}));
    QVERIFY(!r.state.standbyMode);
}

QTEST_GUILESS_MAIN(TestAfterRecording)
#include "tst_afterrecording.moc"
