#include "standbycommands.h"

#include "afterrecording.h"
#include "appstate.h"
#include "clock.h"
#include "datetime.h"
#include "mainview.h"
#include "prompter.h"
#include "settings.h"
#include "ticktimer.h"
#include "todolist.h"

namespace dorvel {

namespace {

const QString kRule = QStringLiteral("Rule");

// The test passes when the machine was away longer than a minute and less than four.
constexpr double kTestMinAway = 0.000694444;
constexpr double kTestMaxAway = 0.002777776;

} // namespace

void StandbyCommands::standByCommand()
{
    AppState& s = m.state;
    s.resumedFromStandby = false;
    if (m.todo.recordingCount == 0) {
        m_after.tellUser(s.msg.MsgNothingToDo);
        return;
    }
    if (s.orbivuState == 2) {
        m_after.tellUser(m.view.caption());
        return;
    }
    if (s.settings.shutDownType == kRule) {
        m_after.tellUser(s.msg.MsgNotWithITime);
        return;
    }
    if (!m.timer.isActive()) { // the loader leaves it stopped after finding an overlap
        m_after.tellUser(s.msg.MsgOverlap);
        return;
    }

    m.view.setStandbyLabel(QStringLiteral("StandBy"));
    s.standbyMode = true;
    m.power.signalSystemRequired(true);
    if (m_after.nextLaunchFartherThan(10)) {
        s.pendingPowerAction = pendingword::GoNormalStandBy;
        // The check after the recording or after the wait-program runs this again.
        if (m_after.isWaitProgramBlocking() || s.orbivuState == 1)
            return;
        s.pendingPowerAction.clear();
        m_after.sleepUntilShortlyBeforeNext();
        return;
    }
    // The next launch is near: the PC sleeps after that recording.
    s.pendingPowerAction.clear();
}

void StandbyCommands::wakeToolCommand()
{
    AppState& s = m.state;
    if (m.todo.recordingCount == 0) {
        m_after.tellUser(s.msg.MsgNothingToDo);
        m.view.setGoTimerChecked(false);
        return;
    }
    if (s.orbivuState == 2) {
        m_after.tellUser(m.view.caption());
        return;
    }
    if (s.settings.shutDownType != kRule) {
        m_after.tellUser(s.msg.MsgOnlyWithITime);
        return;
    }
    if (!m.timer.isActive()) {
        m_after.tellUser(s.msg.MsgOverlap);
        m.view.setGoTimerChecked(false);
        return;
    }

    if (m_after.nextLaunchFartherThan(m_after.ruleMinutes())) {
        s.pendingPowerAction = pendingword::StartNocturo1;
        s.wakeToolMode = true;
        m.view.setStandbyLabel(QStringLiteral("Nocturo"));
        if (m_after.isWaitProgramBlocking() || s.orbivuState == 1)
            return;
        s.pendingPowerAction.clear();
        m_after.runWakeTool(QStringLiteral("   Run Nocturo /wakeup=") + m_after.wakeTimeText());
        return;
    }
    // The next launch is near: the tool runs after a later recording, by the ITime rule.
    m.view.setStandbyLabel(QStringLiteral("Nocturo"));
    s.wakeToolMode = true;
    m.view.setGoTimerChecked(true);
    s.pendingPowerAction.clear();
}

void StandbyCommands::standbyTest()
{
    AppState& s = m.state;
    const Prompter::Box warning{standbyTestWarning(s.settings.language),
                                Prompter::Buttons::OkCancel, Prompter::Icon::Warning,
                                QStringLiteral("Test Standby"), false};
    if (m.prompter.show(warning) != Prompter::Answer::Ok)
        return;
    m.timer.stop();
    const QDateTime before = m.clock.now();
    const QString result = m.power.standbyWithWakeup(110);
    const QDateTime after = m.clock.now();
    // Real elapsed time, so that a test across a daylight-saving change is judged rightly.
    const double away = double(before.msecsTo(after)) / double(kMsPerDay);
    const bool passed = result == powertext::Resumed && away > kTestMinAway && away < kTestMaxAway;
    // Back before the result box: left unanswered, it must not hold up the recordings.
    m.timer.start();
    if (passed) {
        m.prompter.message(s.msg.MsgStandbyWorks);
        ProgramSettings(m.store).saveFlag(keys::SuspendCheck, true);
        s.settings.suspendCheck = true;
        m.view.setStandbyButtonEnabled(true);
    } else {
        m.prompter.message(s.msg.MsgStandbyFails);
    }
}

QString StandbyCommands::standbyTestWarning(const QString& language)
{
    static const QStringList english{
        QStringLiteral("If you click on OK now, the StandBy mode will be tested."),
        QStringLiteral("ALERT: The Computer is no longer visible to the network for 2 min"),
        QStringLiteral("For security reasons please save all open files..."),
        QStringLiteral("For this test the Computer goes to the StandBy mode for 2 minutes"),
        QStringLiteral("During this time: DO NOT TOUCH anything (mouse, keyboard...), afterwards"),
        QStringLiteral("the computer will be 'waked up' (maybe your screensaver is"),
        QStringLiteral(
            "activ at that time - then move your mouse). If nothing happens after 3 minutes, "),
        QStringLiteral("the test appears to fail on your computer..."),
        QStringLiteral("But even if the test succeeds, please try this function with some"),
        QStringLiteral("unimportant recordings first!")};
    static const QStringList german{
        QStringLiteral("Wenn Sie jetzt OK klicken, wird der StandBy Modus getestet."),
        QStringLiteral("ACHTUNG Der Computer ist dann (2 min) nicht mehr im Netzwerk verfügbar"),
        QStringLiteral("Auch sollte sicherheitshalber alles gespeichert sein was offen ist..."),
        QStringLiteral("Der Computer fährt dann für 2 Minuten testweise in den StandBy Modus"),
        QStringLiteral(
            "In dieser Zeit: NICHTS berühren (Maus, Tastatur...), danach wird der Computer"),
        QStringLiteral("wieder 'aufgeweckt' (Möglicherweise ist danach der Bildschirmschoner / "
                       "Monitorschoner"),
        QStringLiteral("aktiviert - dann mal die Maus bewegen). Falls nach ca. 3 Minuten nichts "
                       "passiert ist, "),
        QStringLiteral("funktioniert es wohl nicht..."),
        QStringLiteral("Aber auch wenn der Test erfolgreich ist, bitte erst mit 'unwichtigen' "),
        QStringLiteral("Aufnahmen ausprobieren!")};
    return (language == QStringLiteral("deu") ? german : english).join(QStringLiteral("\r\n"));
}

} // namespace dorvel
