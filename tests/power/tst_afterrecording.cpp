// The decision after a recording (power-off, standby, the ITime rule, the wake-up tool), the
// StandBy and wake-tool commands, the standby test and the boxes for missing rights.

#include "notifier.h"
#include "powerfakes.h"

#include <QTest>

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
} // namespace

class TestAfterRecording : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void reusedPidIsNotTheRecording()
    {
        Rig r;
        r.todo.recordingCount = 2;
        r.setNextLaunchIn(3600);
        r.state.orbivuTaskId = 321;
        r.state.orbivuTaskStart = 777;
        r.sys.add(321, "/opt/orbivu/Orbivu.EXE", 778); // same pid, another process
        r.after.checkAfterRecording();
        QCOMPARE(r.listTexts(), "   Stop Rec");
        QCOMPARE(r.todo.recordingCount, 1);
    }

    void decisionTable_data()
    {
        // in: standby mode (S), wake-tool mode (T) or neither (-), recordings left,
        // ShutDownType, the wait-program runs (w), runs with a blank name (b) or not (-),
        // minutes to the next launch, [RuleMinutes, [now]].
        QTest::addColumn<QString>("in");
        // The word left while the wait-program runs, ">" and the power calls once it ended.
        QTest::addColumn<QString>("word");
        QTest::addColumn<QString>("power");
        QTest::addColumn<bool>("ended"); // the countdown ran and the program ended
        QTest::addColumn<QString>("list");
        QTest::addColumn<QString>("log");
        const QString last = "   Shutdown after last record";
        auto timed = [](int s) { return QString("   StandBy for %1 sek|   Resumed").arg(s); };
        auto rule = [](const char* at) {
            return "   Shutdown (next record at 2026-12-05 " + QString(at) + ')';
        };
        auto row = [](const char* in, const char* word, const char* power, bool ended = false,
                      const QString& list = "", const QString& log = "") {
            QTest::newRow(in) << QString(in) << QString(word) << QString(power) << ended << list
                              << log;
        };
        row("S 0 LastRec - 0", "", "uninhibit|powerOff", true, "", last);
        row("S 0 LastRec w 0", "ShutDownLastRec>powerOff", "uninhibit");
        row("S 0 Never - 0", "", "uninhibit|standbyUntilUser", false,
            "|   Record finished enter StandBy|   Resumed (USER)",
            "   Record finished enter StandBy until User - resume|   Resumed by User");
        row("S 0 Never w 0", "StandByLastRec>standbyUntilUser", "uninhibit");
        row("S 0 Rule - 0", "", "uninhibit");
        row("S 2 Rule - 30", "", "standbyWithWakeup 1680", false, '|' + timed(1680), timed(1680));
        // Woken two minutes before the launch, when that is more than ten minutes away.
        row("S 2 Never - 9", "", "");
        row("S 2 Never - 11", "", "standbyWithWakeup 540", false, '|' + timed(540), timed(540));
        // Real minutes: 03:06 is 11 minutes after 01:55 as the clocks go forward, not 71.
        row("S 2 Never - 11 60 2026-03-29T01:55:00", "", "standbyWithWakeup 540", false,
            '|' + timed(540), timed(540));
        // 02:35 comes twice as the clocks go back: the first, 40 minutes after 01:55.
        row("S 2 Never - 40 60 2026-10-25T01:55:00", "", "standbyWithWakeup 2280", false,
            '|' + timed(2280), timed(2280));
        row("S 2 Never w 30", "GoNormalStandBy>standbyWithWakeup 1680", "");
        row("- 0 Never - 0", "", "");
        row("- 0 LastRec - 0", "", "powerOff", true, "", last);
        row("- 0 Rule - 0", "", "powerOff", true, "", last);
        row("- 0 LastRec w 0", "ShutDownLastRec>powerOff", "");
        row("- 0 LastRec b 0", "", "powerOff", true, "", last);  // a blank name matches nothing
        row("- -1 LastRec - 0", "", "powerOff", true, "", last); // the count stays at zero
        row("- 2 Rule - 50", "", "");
        // The system's minute is a hair short of 60 s, so exactly 60 minutes is "more".
        row("- 2 Rule - 60", "", "powerOff", false, "", rule("21:00:00"));
        row("- 2 Rule - 20 15", "", "powerOff", false, "", rule("20:20:00"));
        row("- 2 Rule - 50 5", "", ""); // hand-edited values outside 15..999 count as 60
        // Without wake-tool mode the word stands for the ITime rule's power-off.
        row("- 2 Rule w 61", "StartNocturo1>powerOff", "");
        row("T 2 Rule w 61", "StartNocturo1>closeWakeTimer", ""); // and the tool is started
        row("- 2 LastRec - 61", "", "");
        row("- 0 lastrec - 0", "", ""); // an unknown type: the PC stays on
    }
    void decisionTable()
    {
        QFETCH(QString, in);
        QFETCH(bool, ended);
        QFETCH(QString, list);
        QFETCH(QString, word);
        QFETCH(QString, power);
        const QStringList i = in.split(' ');
        // Outside standby mode the recording alone holds the stay-awake lock; it is let go
        // before anything else happens.
        if (i[0] != "S")
            power = power.isEmpty() ? "uninhibit" : "uninhibit|" + power;
        Rig r;
        r.state.standbyMode = r.power.held = i[0] == "S";
        r.state.wakeToolMode = i[0] == "T";
        r.view.standbyLabel = r.state.standbyMode ? "StandBy" : "";
        r.todo.recordingCount = i[1].toInt() + 1;
        r.state.settings.shutDownType = i[2];
        r.setWaitProgramRunning(i[3] != "-");
        r.state.settings.waitForProg = i[3] == "b" ? "  " : "TMPGenc.exe";
        if (i.size() > 6)
            r.clock.set(QDateTime::fromString(i[6], Qt::ISODate));
        r.setNextLaunchIn(i[4].toInt() * 60);
        r.state.settings.ruleMinutes = qint16(i.value(5, "60").toInt());
        r.startRecording();
        r.after.checkAfterRecording(); // still recording: nothing is decided
        QCOMPARE(r.view.captionText, "Dorvel Ver 0.36 - Orbivu is recording started by Dorvel");
        QCOMPARE(r.powerCalls(), i[0] == "S" ? "" : "inhibit");
        QVERIFY(r.power.held); // the desktop's idle suspend cannot cut the recording short
        r.power.calls.clear();

        r.endRecording();
        for (int tick = 0; tick < 2; ++tick) { // the same end never leads to a second decision
            r.after.checkAfterRecording();
            QCOMPARE(r.todo.recordingCount, qMax(0, i[1].toInt()));
            QCOMPARE(r.state.pendingPowerAction, word.section('>', 0, 0));
            QCOMPARE(r.powerCalls(), power);
            QCOMPARE(r.sys.countdowns, ended ? 1 : 0);
            QCOMPARE(r.ended, ended ? 1 : 0);
            QCOMPARE(r.listTexts(), "   Stop Rec" + list);
            QTEST(r.logTexts(), "log");
        }
        QVERIFY(r.prompter.shown.isEmpty());
        QCOMPARE(r.state.standbyMode, i[0] == "S" && i[1].toInt() > 0);
        QCOMPARE(r.view.standbyLabel, r.state.standbyMode ? "StandBy" : "");
        QVERIFY(r.timer.active || ended);
        if (!word.contains('>'))
            return;
        r.setWaitProgramRunning(false); // the hand-over
        r.after.checkAfterRecording();
        QCOMPARE(r.state.pendingPowerAction, QString());
        const QString then = word.section('>', 1);
        QCOMPARE(r.powerCalls(), power.isEmpty() ? then : power + '|' + then);
        QCOMPARE(r.sys.started.size(), i[0] == "T" ? 1 : 0);
    }

    // The lock follows the state at every check: a reload clears standby mode and forgets
    // the recording, and a viewer the user started holds nothing.
    void stayAwakeLockFollowsTheState()
    {
        Rig r;
        r.todo.recordingCount = 2;
        r.setNextLaunchIn(3600);
        r.state.standbyMode = true;
        r.after.checkAfterRecording();
        r.state.standbyMode = false; // as the reload leaves it
        r.after.checkAfterRecording();
        QCOMPARE(r.powerCalls(), "inhibit|uninhibit");
        r.startRecording();
        r.after.checkAfterRecording();
        QVERIFY(r.power.held);
        r.state.orbivuTaskId = 0; // the reload forgets it; it now counts as the user's viewer
        r.after.checkAfterRecording();
        QCOMPARE(r.state.orbivuState, 2);
        QVERIFY(!r.power.held);
    }

    void viewerOfTheUserShows_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<qint64>("launchInMs");
        QTest::addColumn<int>("ticks"); // of 500 ms until the caption shows it
        QTest::addRow("user starts it, nothing due for an hour") << "user starts" << 3600000LL << 4;
        QTest::addRow("user starts it, a start in 100 s") << "user starts" << 100000LL << 1;
        QTest::addRow("user starts it, two minutes come near") << "user starts" << 120750LL << 2;
        QTest::addRow("started with our button") << "button" << 3600000LL << 1;
        QTest::addRow("user closes it") << "user closes" << 3600000LL << 1;
    }
    // Far from any start the table is read every two seconds only; a change the user makes
    // still shows within them, and at once near a start or after a start of ours.
    void viewerOfTheUserShows()
    {
        QFETCH(QString, change);
        QFETCH(qint64, launchInMs);
        Rig r;
        r.todo.recordingCount = 1;
        r.todo.nextEventTime = toDaySerial(r.clock.now().addMSecs(launchInMs));
        const bool closes = change == "user closes";
        if (closes)
            r.sys.add(900, "/opt/orbivu/Orbivu.EXE");
        r.after.checkAfterRecording();
        const int before = r.state.orbivuState;
        QCOMPARE(before, closes ? 2 : 0);
        QString error;
        if (closes)
            r.sys.remove("Orbivu");
        else if (change == "button")
            QVERIFY(r.viewer.start("/opt/orbivu/Orbivu.EXE", {}, "/opt/orbivu", &error));
        if (!closes)
            r.sys.add(4711, "/opt/orbivu/Orbivu.EXE");
        int n = 0;
        for (; r.state.orbivuState == before && n < 10; ++n) {
            r.clock.advanceMs(500);
            r.after.checkAfterRecording();
        }
        QTEST(n, "ticks");
        QCOMPARE(r.view.caption().endsWith(r.state.msg.MsgViewerStartedByUser), !closes);
    }

    void wakeToolOnRulePath_data()
    {
        QTest::addColumn<QString>("next");
        QTest::addColumn<QString>("wake"); // three real minutes before
        QTest::addColumn<QString>("how");  // dry: simulated power; missing; refused: check fails
        auto row = [](const char* name, const char* next, const char* wake, const char* how = "") {
            QTest::addRow("%s", name) << QString(next) << QString(wake) << QString(how);
        };
        row("plain", "2026-12-05 21:01:00", "2026-12-05 20:58:00");
        row("simulated", "2026-12-05 21:01:00", "2026-12-05 20:58:00", "dry");
        row("clocks go forward", "2026-03-29 03:01:00", "2026-03-29 01:58:00"); // no 02:58
        row("clocks go back", "2026-10-25 02:01:00", "2026-10-25 01:58:00");    // the first 02:01
        row("tool missing", "2026-12-05 23:00:00", "2026-12-05 22:57:00", "missing");
        row("tool's check fails", "2026-12-05 23:00:00", "2026-12-05 22:57:00", "refused");
        // The tool's own text already names the readiness check: it is not named twice.
        row("tool's check fails with hint", "2026-12-05 23:00:00", "2026-12-05 22:57:00",
            "refused hinted");
    }
    void wakeToolOnRulePath()
    {
        QFETCH(QString, next);
        QFETCH(QString, wake);
        QFETCH(QString, how);
        const bool missing = how == "missing", simulated = how == "dry";
        const bool refused = how.startsWith("refused"), hinted = how.endsWith("hinted");
        Rig r;
        if (refused)
            r.toolProblem = "the wake alarm /sys/class/rtc/rtc0/wakealarm is not writable";
        if (hinted)
            r.toolProblem += " (dorvel --check-power shows what is missing)";
        r.after.setWakeToolDryRun(simulated);
        r.todo.nextEventTime = *parseDefault(next);
        r.clock.set(fromDaySerial(r.todo.nextEventTime).addSecs(-3 * 3600));
        r.state.settings.shutDownType = "Rule";
        r.state.wakeToolMode = r.state.reloadRequested = r.view.trayIcon = true;
        r.todo.recordingCount = 2;
        r.sys.startFails = missing;
        r.startRecording();
        r.endRecording();
        for (int tick = 0; tick < 2; ++tick) // nothing happens after the end
            r.after.checkAfterRecording();

        const QString options = simulated ? "--dry-run " : "";
        const QString tool = "/opt/my dorvel/Nocturo.exe ";
        const QString command = tool + options + "/wakeup=" + wake;
        // Asked first, dry in a simulated run, so that it reads nothing of the machine.
        QCOMPARE(r.toolChecks, QStringList{tool + "--check " + options + "/wakeup=" + wake});
        QCOMPARE(r.sys.started, refused ? QStringList{} : QStringList{command});
        QCOMPARE(r.sys.runEntries,
                 refused ? QStringList{} : QStringList{"Dorvel: /opt/my dorvel/dorvel min cmos"});
        const QString box =
            refused
                ? "ERROR: the wake-up tool cannot switch the PC off, so Dorvel keeps running: " +
                      r.toolProblem +
                      (hinted ? "" : " (dorvel --check-power shows what the PC still needs)")
            : missing ? "ERROR: " + command + " not found"
                      : "";
        QCOMPARE(r.logTexts(), "   Shutdown (next record at " + next + ")" +
                                   (refused ? "" : "|   Run Nocturo with " + command) +
                                   (box.isEmpty() ? "" : "|   " + box));
        QCOMPARE(r.prompter.texts(), box.isEmpty() ? QStringList{} : QStringList{box});
        // A tool that cannot do its part leaves the scheduler running, ticking, in the tray.
        const bool ends = !refused && !missing;
        QCOMPARE(r.powerCalls(), ends ? "closeWakeTimer" : ""); // no power-off of its own
        QCOMPARE(r.ended, int(ends));
        QCOMPARE(r.state.reloadRequested, !ends);
        QCOMPARE(r.view.trayIcon, !ends);
        QCOMPARE(r.timer.active, !ends);
    }

    void powerBoxLeftOpen_data()
    {
        QTest::addColumn<bool>("standby"); // standby mode; else the ITime rule's power-off
        QTest::addColumn<QString>("box");
        QTest::newRow("power-off check fails") << false << "Sessions error==2 users logged in";
        QTest::newRow("resume fails") << true << "ERROR in Resume";
    }
    // A box of the power paths after a recording stays open without holding up the next
    // start, and its text is in the event log and on the desktop.
    void powerBoxLeftOpen()
    {
        QFETCH(bool, standby);
        QFETCH(QString, box);
        Rig r;
        r.setNextLaunchIn(90 * 60);
        r.todo.recordingCount = 2;
        r.state.settings.shutDownType = standby ? "Never" : "Rule";
        r.state.standbyMode = standby;
        r.power.failing[int(PowerRequest::PowerOff)] = {{"Sessions", "2 users logged in"}};
        r.power.standbyResult = powertext::FailToSetPowerState;
        RecordingNotifier notifier;
        r.after.setNotifier(&notifier);
        r.startRecording();
        r.endRecording();
        r.after.checkAfterRecording();
        QCOMPARE(r.powerCalls(), standby ? "inhibit|standbyWithWakeup 5280" : "powerOff");
        QCOMPARE(r.prompter.open.size(), 1); // posted, not waited for
        QCOMPARE(r.prompter.texts(), QStringList{box});
        QVERIFY(r.logTexts().contains("|   " + box));
        QCOMPARE(notifier.shown, QStringList{"Dorvel: power problem | " + box});
        QVERIFY(r.timer.active);
        QCOMPARE(r.ended, 0);
    }

    void standbyAndToolCommands_data()
    {
        // in: StandBy (S) or the wake tool (T), minutes to the next launch, held back by the
        // wait-program (w), a recording (r) or nothing (-).
        QTest::addColumn<QString>("in");
        QTest::addColumn<QString>("power");
        QTest::addColumn<QString>("word");
        auto row = [](const char* in, const char* power, const char* word = "") {
            QTest::newRow(in) << QString(in) << QString(power) << QString(word);
        };
        row("S 30 -", "inhibit|standbyWithWakeup 1680");
        row("S 5 -", "inhibit"); // the PC sleeps after the next recording
        row("S 30 w", "inhibit", "GoNormalStandBy");
        row("S 30 r", "inhibit", "GoNormalStandBy");
        row("T 61 -", "closeWakeTimer");
        row("T 50 -", ""); // the ITime rule starts the tool after a later recording
        row("T 61 w", "", "StartNocturo1");
    }
    void standbyAndToolCommands()
    {
        QFETCH(QString, in);
        const QStringList i = in.split(' ');
        const bool standBy = i[0] == "S";
        Rig r;
        r.state.settings.shutDownType = standBy ? "LastRec" : "Rule";
        r.todo.recordingCount = 2;
        r.setNextLaunchIn(i[1].toInt() * 60);
        r.setWaitProgramRunning(i[2] == "w");
        if (i[2] == "r") {
            r.startRecording();
            r.after.checkAfterRecording();
        }

        standBy ? r.after.commands().standByCommand() : r.after.commands().wakeToolCommand();

        QTEST(r.powerCalls(), "power");
        QTEST(r.state.pendingPowerAction, "word");
        QVERIFY(standBy ? r.state.standbyMode : r.state.wakeToolMode); // stays set
        QCOMPARE(r.view.standbyLabel, standBy ? "StandBy" : "Nocturo");
        QVERIFY(r.prompter.shown.isEmpty());
        const bool started = in == "T 61 -";
        const QString wake = "/wakeup=2026-12-05 20:58:00";
        QCOMPARE(r.sys.started.join(""), started ? "/opt/my dorvel/Nocturo.exe " + wake : "");
        QCOMPARE(r.logTexts(), started          ? "   Run Nocturo " + wake
                               : in == "S 30 -" ? "   StandBy for 1680 sek|   Resumed"
                                                : "");
        QCOMPARE(r.ended, started ? 1 : 0);
        QCOMPARE(r.view.goTimerChecked, in == "T 50 -");
        if (i[2] != "r")
            return;
        // The recording ends: one sleep until shortly before the next launch; the waiting
        // command, run again afterwards, finds the launch too near for a second one.
        r.clock.advanceSecs(10 * 60);
        r.endRecording();
        r.after.checkAfterRecording();
        QCOMPARE(r.powerCalls(), "inhibit|standbyWithWakeup 1080");
        QCOMPARE(r.state.pendingPowerAction, QString());
    }

    // Each command refuses in a fixed order, with no other effect than the box.
    void commandRefusals_data()
    {
        QTest::addColumn<bool>("standBy");
        QTest::addColumn<QString>("failing"); // the conditions that fail: c, u, t, o
        QTest::addColumn<QString>("box");
        auto row = [](bool standBy, const char* failing, const char* box) {
            QTest::addRow("%s: %s", standBy ? "StandBy" : "tool", failing)
                << standBy << QString(failing) << QString(box);
        };
        for (bool standBy : {true, false}) {
            row(standBy, "cuto", "No Recordings to do...");
            row(standBy, "uto", "Dorvel Ver 0.36 - Orbivu is running started by user");
            row(standBy, "to",
                standBy ? "Not possible with Shutdown by ITime"
                        : "Only possible with Shutdown by ITime");
            row(standBy, "o", "There is at least one overlapping record! Please check/delete");
        }
    }
    void commandRefusals()
    {
        QFETCH(bool, standBy);
        QFETCH(QString, failing);
        QFETCH(QString, box);
        Rig r;
        // "t": the type the command does not accept.
        r.state.settings.shutDownType = (failing.contains('t') == standBy) ? "Rule" : "LastRec";
        r.todo.recordingCount = failing.contains('c') ? 0 : 2;
        r.setNextLaunchIn(120 * 60);
        if (failing.contains('u')) {
            r.sys.add(55, "/opt/orbivu/Orbivu.EXE", 1);
            r.after.checkAfterRecording();
        }
        r.timer.active = !failing.contains('o');
        r.view.goTimerChecked = true;

        standBy ? r.after.commands().standByCommand() : r.after.commands().wakeToolCommand();

        QCOMPARE(r.prompter.texts(), QStringList{box});
        QCOMPARE(r.powerCalls(), QString());
        QVERIFY(!r.state.standbyMode && !r.state.wakeToolMode);
        QCOMPARE(r.state.pendingPowerAction, QString());
        QCOMPARE(r.ended, 0);
        // The wake tool's refusals for an empty list and an overlap also untick the menu item.
        QCOMPARE(r.view.goTimerChecked, standBy || !(failing == "cuto" || failing == "o"));
    }

    void standbyTest_data()
    {
        QTest::addColumn<QDateTime>("start");
        QTest::addColumn<qint64>("away");
        QTest::addColumn<QString>("result");
        QTest::addColumn<bool>("passed");
        auto row = [](const char* name, qint64 away, bool passed, const char* result = "Resumed",
                      const char* start = "2026-12-05T19:00:00Z") {
            QTest::newRow(name) << QDateTime::fromString(start, Qt::ISODate).toLocalTime() << away
                                << QString(result) << passed;
        };
        // Passed only when away more than one minute and less than four.
        row("59 s: woken early", 59, false);
        row("61 s", 61, true);
        row("240 s", 240, false);
        row("alarm not armed", 110, false, "SetTimer fail");
        // The clocks go back at 03:00 during the test: the wall clock says it went backwards.
        row("clocks go back", 110, true, "Resumed", "2026-10-25T00:59:00Z");
    }
    void standbyTest()
    {
        QFETCH(QDateTime, start);
        QFETCH(qint64, away);
        QFETCH(QString, result);
        QFETCH(bool, passed);
        Rig r;
        r.clock.set(start);
        r.power.awaySecs = away;
        r.power.standbyResult = result;
        r.timer.active = false;        // the settings dialog stopped it; the test starts it again
        QList<bool> tickingWhileShown; // the result box, left open, must not hold up recordings
        r.prompter.onShow = [&](const Prompter::Box&) { tickingWhileShown << r.timer.active; };

        r.after.commands().standbyTest(); // the warning is answered with OK
        QCOMPARE(tickingWhileShown, (QList<bool>{false, true}));

        QCOMPARE(r.powerCalls(), "standbyWithWakeup 110");
        QVERIFY(!r.power.timerDuringStandby && r.timer.active);
        QCOMPARE(r.prompter.texts().value(1),
                 passed ? "OK StandBy seems to work..." : "Sorry, StandBy seems not to work...");
        QCOMPARE(r.store.own("SuspendCheck"), passed ? "1" : "<absent>");
        QCOMPARE(r.state.settings.suspendCheck, passed);
        QCOMPARE(r.view.standbyButton, passed);
    }

    void powerChecksAndFailures()
    {
        Rig r; // each request is asked only for its own checks, and still goes ahead
        r.power.failing.insert(int(PowerRequest::PowerOff), {{"CanPowerOff", "challenge"}});
        r.power.failing.insert(int(PowerRequest::TimedStandby),
                               {{"CanSuspend", "no"}, {"WakeAlarm", "not permitted"}});
        QCOMPARE(r.ops.standbyWithWakeup(110), "Resumed");
        r.ops.powerOff();
        QCOMPARE(r.prompter.texts(),
                 (QStringList{"CanSuspend error==no", "WakeAlarm error==not permitted",
                              "CanPowerOff error==challenge"}));
        QCOMPARE(r.powerCalls(), "standbyWithWakeup 110|powerOff");

        QCOMPARE(r.ops.standbyWithWakeup(0), "Bad time value"); // and the alarm not touched

        r.power.standbyResult = powertext::SetTimerFail; // reported; the scheduler goes on
        r.setNextLaunchIn(3600);
        r.after.timedStandby();
        QCOMPARE(r.prompter.texts().last(), "ERROR in Resume");
        QVERIFY(!r.power.timerDuringStandby && r.timer.active && r.state.resumedFromStandby);
        r.power.untilUser = powertext::FailToSetPowerState;
        r.after.standbyAfterLastRecording();
        QCOMPARE(r.prompter.texts().last(), "Fail to set power state");
        QVERIFY(r.listTexts().endsWith("|   Record finished enter StandBy|   Resumed (USER)"));
    }
};

QTEST_GUILESS_MAIN(TestAfterRecording)
#include "tst_afterrecording.moc"
