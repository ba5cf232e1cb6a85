// The StandBy command, the wake-tool command, the standby test and the privilege boxes.

#include "power_simulated.h"
#include "powerfakes.h"

#include <QTest>

using namespace dorvel;
using namespace dorvel::test;

namespace {

QDateTime at(const char* text)
{
    return fromDaySerial(*parseDefault(QString::fromLatin1(text)));
}

enum class Refusal { NoRecordings, UserViewer, WrongType, TimerStopped };

void arrange(Rig& r, Refusal why, bool alsoEarlier)
{
    // alsoEarlier: a later refusal's condition holds too, to check the order.
    r.todo.recordingCount = 2;
    r.setNextLaunchIn(3 * 3600);
    r.view.captionText = QStringLiteral("Dorvel Ver 0.36 - Orbivu is running started by user");
    switch (why) {
    case Refusal::NoRecordings:
        r.todo.recordingCount = 0;
        if (alsoEarlier)
            r.state.orbivuState = 2;
        break;
    case Refusal::UserViewer:
        r.state.orbivuState = 2;
        if (alsoEarlier)
            r.timer.active = false;
        break;
    case Refusal::WrongType:
        if (alsoEarlier)
            r.timer.active = false;
        break;
    case Refusal::TimerStopped:
        r.timer.active = false;
        break;
    }
}

} // namespace

class TestStandbyCommands : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void standByRefusals_data();
    void standByRefusals();
    void standBy_data();
    void standBy();
    void standByDuringRecordingWaitsForItsEnd();
    void wakeToolRefusals_data();
    void wakeToolRefusals();
    void wakeTool_data();
    void wakeTool();
    void standbyTest_data();
    void standbyTest();
    void standbyTestCancelled();
    void standbyTestWarning_data();
    void standbyTestWarning();
    void privilegeBoxesDoNotStopTheAction_data();
    void privilegeBoxesDoNotStopTheAction();
    void zeroSecondsIsBadTimeValue();
    void failedUntimedStandbyShowsBox();
    void simulatedBackendOnlyReports();
};

void TestStandbyCommands::standByRefusals_data()
{
    QTest::addColumn<int>("why");
    QTest::addColumn<bool>("alsoLater");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("box");

    const QString caption = QStringLiteral("Dorvel Ver 0.36 - Orbivu is running started by user");
    QTest::newRow("no recordings") << int(Refusal::NoRecordings) << true << "Never"
                                   << QStringLiteral("No Recordings to do...");
    QTest::newRow("viewer by user") << int(Refusal::UserViewer) << true << "Rule" << caption;
    QTest::newRow("Rule") << int(Refusal::WrongType) << true << "Rule"
                          << QStringLiteral("Not possible with Shutdown by ITime");
    QTest::newRow("overlap stopped the timer")
        << int(Refusal::TimerStopped) << false << "LastRec"
        << QStringLiteral("There is at least one overlapping record! Please check/delete");
}

void TestStandbyCommands::standByRefusals()
{
    QFETCH(QString, type);
    QFETCH(int, why);
    QFETCH(bool, alsoLater);
    QFETCH(QString, box);
    Rig r;
    r.state.settings.shutDownType = type;
    arrange(r, Refusal(why), alsoLater);
    r.state.resumedFromStandby = true;

    r.after.commands().standByCommand();

    QCOMPARE(r.prompter.texts(), QStringList{box});
    QCOMPARE(r.state.standbyMode, false);
    QCOMPARE(r.view.standbyLabel, QString());
    QVERIFY(r.power.calls.isEmpty());
    QCOMPARE(r.state.resumedFromStandby, false);
}

void TestStandbyCommands::standBy_data()
{
    QTest::addColumn<int>("minutes");
    QTest::addColumn<bool>("blocked");
    QTest::addColumn<QStringList>("power");
    QTest::addColumn<QString>("word");

    QTest::newRow("30 minutes") << 30 << false
                                << QStringList{QStringLiteral("inhibit"),
                                               QStringLiteral("standbyWithWakeup 1680")}
                                << QString();
    QTest::newRow("5 minutes") << 5 << false << QStringList{QStringLiteral("inhibit")} << QString();
    QTest::newRow("30 minutes, wait-program")
        << 30 << true << QStringList{QStringLiteral("inhibit")}
        << QStringLiteral("GoNormalStandBy");
}

void TestStandbyCommands::standBy()
{
    QFETCH(int, minutes);
    QFETCH(bool, blocked);
    Rig r;
    r.todo.recordingCount = 2;
    r.setNextLaunchIn(minutes * 60);
    r.setWaitProgramRunning(blocked);

    r.after.commands().standByCommand();

    QTEST(r.power.calls, "power");
    QTEST(r.state.pendingPowerAction, "word");
    QVERIFY(r.state.standbyMode); // stays set after the sleep
    QCOMPARE(r.view.standbyLabel, QStringLiteral("StandBy"));
    QVERIFY(r.prompter.shown.isEmpty());
    QVERIFY(r.timer.active);
}

void TestStandbyCommands::standByDuringRecordingWaitsForItsEnd()
{
    Rig r;
    r.state.settings.shutDownType = QStringLiteral("LastRec");
    r.todo.recordingCount = 3;
    r.startRecording();
    r.setNextLaunchIn(3 * 3600);
    r.after.checkAfterRecording();
    QCOMPARE(r.state.orbivuState, 1);

    r.after.commands().standByCommand();
    QCOMPARE(r.state.pendingPowerAction, pendingword::GoNormalStandBy);
    QCOMPARE(r.power.calls, QStringList{QStringLiteral("inhibit")});

    // The recording ends: standby mode sleeps until shortly before the next launch, and the
    // waiting command, run again afterwards, finds the launch too near for a second sleep.
    r.clock.advanceSecs(3600);
    r.endRecording();
    r.after.checkAfterRecording();
    QCOMPARE(r.power.calls,
             (QStringList{QStringLiteral("inhibit"), QStringLiteral("standbyWithWakeup 7080")}));
    QCOMPARE(r.state.pendingPowerAction, QString());
    QVERIFY(r.state.standbyMode);
    QCOMPARE(r.todo.recordingCount, 2);
}

void TestStandbyCommands::wakeToolRefusals_data()
{
    QTest::addColumn<int>("why");
    QTest::addColumn<bool>("alsoLater");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("box");
    QTest::addColumn<bool>("unchecked");

    const QString caption = QStringLiteral("Dorvel Ver 0.36 - Orbivu is running started by user");
    QTest::newRow("no recordings") << int(Refusal::NoRecordings) << true << "LastRec"
                                   << QStringLiteral("No Recordings to do...") << true;
    QTest::newRow("viewer by user")
        << int(Refusal::UserViewer) << true << "LastRec" << caption << false;
    QTest::newRow("LastRec") << int(Refusal::WrongType) << true << "LastRec"
                             << QStringLiteral("Only possible with Shutdown by ITime") << false;
    QTest::newRow("Never") << int(Refusal::WrongType) << false << "Never"
                           << QStringLiteral("Only possible with Shutdown by ITime") << false;
    QTest::newRow("overlap stopped the timer")
        << int(Refusal::TimerStopped) << false << "Rule"
        << QStringLiteral("There is at least one overlapping record! Please check/delete") << true;
}

void TestStandbyCommands::wakeToolRefusals()
{
    QFETCH(QString, type);
    QFETCH(int, why);
    QFETCH(bool, alsoLater);
    QFETCH(QString, box);
    QFETCH(bool, unchecked);
    Rig r;
    r.state.settings.shutDownType = type;
    arrange(r, Refusal(why), alsoLater);
    r.view.goTimerChecked = true;

    r.after.commands().wakeToolCommand();

    QCOMPARE(r.prompter.texts(), QStringList{box});
    QCOMPARE(r.view.goTimerChecked, !unchecked);
    QCOMPARE(r.state.wakeToolMode, false);
    QVERIFY(r.launcher.started.isEmpty());
    QCOMPARE(r.ended, 0);
}

void TestStandbyCommands::wakeTool_data()
{
    QTest::addColumn<int>("minutes");
    QTest::addColumn<bool>("blocked");
    QTest::addColumn<bool>("started");
    QTest::addColumn<QString>("word");
    QTest::addColumn<bool>("checked");

    QTest::newRow("61 of 60") << 61 << false << true << QString() << false;
    QTest::newRow("50 of 60") << 50 << false << false << QString() << true;
    QTest::newRow("61 of 60, wait-program")
        << 61 << true << false << QStringLiteral("StartNocturo1") << false;
}

void TestStandbyCommands::wakeTool()
{
    QFETCH(int, minutes);
    QFETCH(bool, blocked);
    QFETCH(bool, started);
    Rig r;
    r.state.settings.shutDownType = QStringLiteral("Rule");
    r.todo.recordingCount = 2;
    r.clock.set(at("2026-12-05 20:00:00"));
    r.setNextLaunchIn(minutes * 60);
    r.setWaitProgramRunning(blocked);

    r.after.commands().wakeToolCommand();

    QVERIFY(r.state.wakeToolMode);
    QCOMPARE(r.view.standbyLabel, QStringLiteral("Nocturo"));
    QTEST(r.state.pendingPowerAction, "word");
    QTEST(r.view.goTimerChecked, "checked");
    QCOMPARE(r.ended, started ? 1 : 0);
    if (started) {
        QCOMPARE(r.launcher.started,
                 (QList<QStringList>{{QStringLiteral("/opt/my dorvel/Nocturo.exe"),
                                      QStringLiteral("/wakeup=2026-12-05 20:58:00")}}));
        QCOMPARE(r.logTexts(),
                 QStringList{QStringLiteral("   Run Nocturo /wakeup=2026-12-05 20:58:00")});
        QCOMPARE(r.autostart.ops,
                 QStringList{QStringLiteral("set Dorvel: /opt/my dorvel/dorvel min cmos")});
    } else {
        QVERIFY(r.launcher.started.isEmpty());
        QVERIFY(r.autostart.ops.isEmpty());
    }
}

void TestStandbyCommands::standbyTest_data()
{
    QTest::addColumn<QDateTime>("start");
    QTest::addColumn<qint64>("away");
    QTest::addColumn<QString>("result");
    QTest::addColumn<bool>("passed");

    const QDateTime start = at("2026-12-05 20:00:00");
    QTest::newRow("110 s") << start << qint64(110) << powertext::Resumed << true;
    QTest::newRow("woken early, 59 s") << start << qint64(59) << powertext::Resumed << false;
    QTest::newRow("61 s") << start << qint64(61) << powertext::Resumed << true;
    QTest::newRow("239 s") << start << qint64(239) << powertext::Resumed << true;
    QTest::newRow("4 minutes") << start << qint64(240) << powertext::Resumed << false;
    QTest::newRow("hours") << start << qint64(7200) << powertext::Resumed << false;
    QTest::newRow("no alarm") << start << qint64(0) << powertext::CreateTimerFail << false;
    QTest::newRow("arming failed") << start << qint64(0) << powertext::SetTimerFail << false;
    QTest::newRow("suspend refused")
        << start << qint64(110) << powertext::FailToSetPowerState << false;
    // The clocks go back at 03:00 during the test: the wall clock says it went backwards.
    QTest::newRow("clocks go back")
        << QDateTime(QDate(2026, 10, 25), QTime(2, 59)).toUTC().toLocalTime() << qint64(110)
        << powertext::Resumed << true;
}

void TestStandbyCommands::standbyTest()
{
    QFETCH(QDateTime, start);
    QFETCH(qint64, away);
    QFETCH(QString, result);
    QFETCH(bool, passed);
    Rig r;
    r.clock.set(start);
    r.power.awaySecs = away;
    r.power.standbyResult = result;
    r.timer.active = false; // the settings dialog stopped it; the test starts it again
    bool timerStopped = false;
    r.power.onStandby = [&] { timerStopped = !r.timer.active; };
    r.prompter.answers.enqueue(Prompter::Answer::Ok);

    r.after.commands().standbyTest();

    QCOMPARE(r.power.calls, QStringList{QStringLiteral("standbyWithWakeup 110")});
    QVERIFY(timerStopped);
    QCOMPARE(r.prompter.shown.size(), 2);
    QCOMPARE(r.prompter.shown.at(1).text,
             passed ? QStringLiteral("OK StandBy seems to work...")
                    : QStringLiteral("Sorry, StandBy seems not to work..."));
    QCOMPARE(r.store.own(QStringLiteral("SuspendCheck")),
             passed ? QStringLiteral("1") : QStringLiteral("<absent>"));
    QCOMPARE(r.state.settings.suspendCheck, passed);
    QCOMPARE(r.view.standbyButton, passed);
    QVERIFY(r.timer.active);
}

void TestStandbyCommands::standbyTestCancelled()
{
    Rig r;
    r.prompter.answers.enqueue(Prompter::Answer::Cancel);

    r.after.commands().standbyTest();

    QCOMPARE(r.prompter.shown.size(), 1);
    const Prompter::Box& box = r.prompter.shown.first();
    QCOMPARE(box.title, QStringLiteral("Test Standby"));
    QCOMPARE(box.buttons, Prompter::Buttons::OkCancel);
    QCOMPARE(box.icon, Prompter::Icon::Warning);
    QVERIFY(r.power.calls.isEmpty());
    QVERIFY(r.timer.active);
}

void TestStandbyCommands::standbyTestWarning_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("last");

    const QString de =
        QStringLiteral("Wenn Sie jetzt OK klicken, wird der StandBy Modus getestet.");
    const QString en = QStringLiteral("If you click on OK now, the StandBy mode will be tested.");
    QTest::newRow("deu") << "deu" << de << QStringLiteral("Aufnahmen ausprobieren!");
    QTest::newRow("eng") << "eng" << en << QStringLiteral("unimportant recordings first!");
    QTest::newRow("empty") << "" << en << QStringLiteral("unimportant recordings first!");
    QTest::newRow("DEU is not deu")
        << "DEU" << en << QStringLiteral("unimportant recordings first!");
}

void TestStandbyCommands::standbyTestWarning()
{
    QFETCH(QString, language);
    Rig r;
    r.state.settings.language = language;
    r.prompter.answers.enqueue(Prompter::Answer::Cancel);
    r.after.commands().standbyTest();
    const QString text = r.prompter.shown.first().text;

    QVERIFY(!text.endsWith(QLatin1Char('\n')));
    QCOMPARE(text.count(QLatin1Char('\n')), 9);
    QCOMPARE(text.count(QStringLiteral("\r\n")), 9);
    const QStringList lines = text.split(QStringLiteral("\r\n"));
    QTEST(lines.first(), "first");
    QTEST(lines.last(), "last");
    QVERIFY(lines.at(6).endsWith(QLatin1Char(' ')));
    QCOMPARE(lines.at(8).endsWith(QLatin1Char(' ')), language == QStringLiteral("deu"));
    if (language == QStringLiteral("deu"))
        QCOMPARE(lines.at(1),
                 QStringLiteral(
                     "ACHTUNG Der Computer ist dann (2 min) nicht mehr im Netzwerk verfügbar"));
}

void TestStandbyCommands::privilegeBoxesDoNotStopTheAction_data()
{
    QTest::addColumn<int>("requestNo");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QString>("call");

    QTest::newRow("power-off") << int(PowerRequest::PowerOff)
                               << QStringList{QStringLiteral("CanPowerOff error==challenge")}
                               << QStringLiteral("powerOff");
    QTest::newRow("timed standby") << int(PowerRequest::TimedStandby)
                                   << QStringList{QStringLiteral("CanSuspend error==no"),
                                                  QStringLiteral("WakeAlarm error==not permitted")}
                                   << QStringLiteral("standbyWithWakeup 110");
    QTest::newRow("standby until user")
        << int(PowerRequest::Standby) << QStringList{QStringLiteral("CanSuspend error==na")}
        << QStringLiteral("standbyUntilUser");
}

void TestStandbyCommands::privilegeBoxesDoNotStopTheAction()
{
    QFETCH(int, requestNo);
    const auto request = PowerRequest(requestNo);
    QFETCH(QString, call);
    QFETCH(QStringList, boxes);
    Rig r;
    QList<PowerCheck> failing;
    for (const QString& b : boxes) {
        const QStringList parts = b.split(QStringLiteral(" error=="));
        failing.append({parts.at(0), parts.at(1)});
    }
    r.power.failing.insert(int(request), failing);
    // Every request is asked only for its own checks.
    for (PowerRequest other :
         {PowerRequest::PowerOff, PowerRequest::TimedStandby, PowerRequest::Standby}) {
        if (other != request)
            r.power.failing.insert(int(other), {{QStringLiteral("Other"), QStringLiteral("x")}});
    }

    switch (request) {
    case PowerRequest::PowerOff:
        r.ops.powerOff();
        break;
    case PowerRequest::TimedStandby:
        QCOMPARE(r.ops.standbyWithWakeup(110), powertext::Resumed);
        break;
    case PowerRequest::Standby:
        r.ops.standbyUntilUser();
        break;
    }

    QCOMPARE(r.prompter.texts(), boxes);
    QCOMPARE(r.power.calls, QStringList{call});
}

void TestStandbyCommands::zeroSecondsIsBadTimeValue()
{
    Rig r;
    r.power.failing.insert(int(PowerRequest::TimedStandby),
                           {{QStringLiteral("CanSuspend"), QStringLiteral("no")}});

    QCOMPARE(r.ops.standbyWithWakeup(0), QStringLiteral("Bad time value"));
    QCOMPARE(r.ops.standbyWithWakeup(-5), QStringLiteral("Bad time value"));

    QCOMPARE(r.power.checked.size(), 2); // the privilege step came first
    QCOMPARE(r.prompter.texts().size(), 2);
    QVERIFY(r.power.calls.isEmpty()); // the alarm was not touched
}

void TestStandbyCommands::failedUntimedStandbyShowsBox()
{
    Rig r;
    r.power.untilUserResult = powertext::FailToSetPowerState;
    r.after.standbyAfterLastRecording();
    QCOMPARE(r.prompter.texts(), QStringList{QStringLiteral("Fail to set power state")});
    QCOMPARE(r.listTexts(), (QStringList{QStringLiteral("   Record finished enter StandBy"),
                                         QStringLiteral("   Resumed (USER)")}));
    QVERIFY(r.timer.active);
}

void TestStandbyCommands::simulatedBackendOnlyReports()
{
    QStringList reports;
    SimulatedPower power([&](const QString& line) { reports.append(line); });
    FakePrompter prompter;
    PowerOps ops(power, prompter);

    QCOMPARE(ops.standbyWithWakeup(540), QStringLiteral("Resumed"));
    QCOMPARE(ops.standbyWithWakeup(0), QStringLiteral("Bad time value"));
    ops.standbyUntilUser();
    ops.powerOff();
    for (int i = 0; i < 3; ++i)
        ops.signalSystemRequired(true);
    ops.signalSystemRequired(false);

    QVERIFY(prompter.shown.isEmpty());
    QCOMPARE(reports.size(), 5); // one per request, the lock once on and once off
    QVERIFY(reports.at(0).contains(QStringLiteral("540 s")));
    for (const QString& line : reports)
        QVERIFY(line.contains(QStringLiteral("Simulated")));
}

QTEST_GUILESS_MAIN(TestStandbyCommands)
#include "tst_standbycommands.moc"
