// The StandBy and wake-tool commands, the standby test and the boxes for missing rights.

#include "powerfakes.h"

#include <QTest>

using namespace dorvel;
using namespace dorvel::test;

class TestStandbyCommands : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void commands_data()
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
    void commands()
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
    void refusals_data()
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
    void refusals()
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

    void failures()
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

QTEST_GUILESS_MAIN(TestStandbyCommands)
#include "tst_standbycommands.moc"
