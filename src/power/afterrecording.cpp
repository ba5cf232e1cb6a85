#include "afterrecording.h"

#include "activitylist.h"
#include "appstate.h"
#include "autostart.h"
#include "clock.h"
#include "countdownpresenter.h"
#include "eventlog.h"
#include "mainview.h"
#include "notifier.h"
#include "plaintext.h"
#include "processes.h"
#include "prompter.h"
#include "standbycommands.h"
#include "ticktimer.h"
#include "todolist.h"
#include "viewerprocess.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace dorvel {

namespace {

const QString kViewerName = QStringLiteral("Orbivu.exe");
const QString kRunEntryName = QStringLiteral("Dorvel");
const QString kNever = QStringLiteral("Never");
const QString kLastRec = QStringLiteral("LastRec");
const QString kRule = QStringLiteral("Rule");

// Sets a flag for the length of a scope, also when the scope is left early.
class FlagScope {
public:
    explicit FlagScope(bool& flag) : m_flag(flag) { m_flag = true; }
    ~FlagScope() { m_flag = false; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;

private:
    bool& m_flag;
};

// Beyond the busy warning's window before a launch, the process table may be read less often.
constexpr double kQuietBeforeLaunch = 2 * kMinute;
constexpr qint64 kQuietReadingMs = 2000;

} // namespace

AfterRecording::AfterRecording(PowerServices services, Hooks hooks)
    : m(services), m_hooks(std::move(hooks)),
      m_commands(std::make_unique<StandbyCommands>(m, *this))
{
    m.power.setBoxRoute([this](const QString& text) { tellUser(text); });
}

AfterRecording::~AfterRecording()
{
    m.power.setBoxRoute({});
}

void AfterRecording::tellUser(const QString& text)
{
    if (!m_inCheck) {
        m.prompter.message(text);
        return;
    }
    logLine(QStringLiteral("   ") + text);
    if (m_notifier)
        m_notifier->notify(QStringLiteral("Dorvel: power problem"), escapeControls(text.trimmed()));
    m.prompter.post(Prompter::Box{text, Prompter::Buttons::Ok, Prompter::Icon::None, {}, false});
}

void AfterRecording::listLine(const QString& text)
{
    m.activity.append(formatDefault(m.clock.now()) + text);
}

void AfterRecording::logLine(const QString& text)
{
    m.log.writeLine(text);
}

int AfterRecording::ruleMinutes() const
{
    const int v = m.state.settings.ruleMinutes;
    return (v >= 15 && v <= 999) ? v : 60;
}

bool AfterRecording::isWaitProgramBlocking() const
{
    const Settings& s = m.state.settings;
    if (!s.waitForClose || s.waitForProg.trimmed().isEmpty())
        return false;
    return m.viewer.isProcessRunning(s.waitForProg);
}

qint64 AfterRecording::msToNextLaunch() const
{
    return m.clock.now().msecsTo(firstInstantOf(m.todo.nextEventTime));
}

bool AfterRecording::nextLaunchFartherThan(double minutes) const
{
    return double(msToNextLaunch()) > minutes * kMinute * kMsPerDay;
}

QString AfterRecording::wakeTimeText() const
{
    // Three real minutes before the launch: a wall-clock subtraction could name a time that
    // does not exist on the day the clocks go forward.
    return formatDefault(firstInstantOf(m.todo.nextEventTime).addSecs(-180));
}

QString AfterRecording::wakeToolProgram() const
{
    return m.state.appPath + QStringLiteral("/Nocturo.exe");
}

QStringList AfterRecording::wakeToolArguments() const
{
    QStringList args{QStringLiteral("/wakeup=") + wakeTimeText()};
    if (m_wakeToolDryRun)
        args.prepend(QStringLiteral("--dry-run"));
    return args;
}

QString AfterRecording::wakeToolCommandLine() const
{
    return (QStringList{wakeToolProgram()} + wakeToolArguments()).join(QLatin1Char(' '));
}

void AfterRecording::endProgram()
{
    m_ended = true;
    m_hooks.endProcess();
}

void AfterRecording::checkAfterRecording()
{
    // A tick that arrives while a decision is under way (the countdown's own event loop, a
    // box, the wait for the resume) must not see the same ended recording again.
    if (m_inCheck || m_ended)
        return;
    FlagScope busy(m_inCheck);
    AppState& s = m.state;
    const MessageTable& msg = s.msg;

    s.resumedFromStandby = false;
    // A reload clears standby mode without a word to the power layer; the lock follows here.
    m.power.signalSystemRequired(s.standbyMode);

    if (s.orbivuTaskId != 0 &&
        m.viewer.isTaskRunning(s.orbivuTaskId, s.orbivuTaskStart, kViewerName)) {
        m.view.setCaption(s.mainCaption + QStringLiteral(" - ") + msg.MsgViewerRecording);
        s.orbivuState = 1;
        m.power.holdAwakeForRecording(true);
        m.view.setStateIcon(MainView::StateIcon::Recording);
        m.view.setTrayTip(msg.MsgViewerRecording);
    } else {
        if (s.orbivuTaskId != 0) {
            // Forget the recording before deciding, so that it is counted off only once.
            s.orbivuTaskId = 0;
            s.orbivuTaskStart = 0;
            s.orbivuState = 0;
            s.busyWarningShown = false;
            // Released before the decision: a standby or power-off must not meet our own lock.
            m.power.holdAwakeForRecording(false);
            m.view.setStateIcon(MainView::StateIcon::Idle);
            listLine(QStringLiteral("   Stop Rec"));
            m.todo.recordingCount = std::max(0, m.todo.recordingCount - 1);
            decideAfterRecording();
            if (m_ended)
                return;
        }
        showStatus();
    }
    takeUpPendingAction();
}

void AfterRecording::showStatus()
{
    AppState& s = m.state;
    const MessageTable& msg = s.msg;
    s.orbivuTaskId = 0;
    s.orbivuTaskStart = 0;
    m.power.holdAwakeForRecording(false); // a viewer the user started is not our recording
    if (viewerOfTheUserRuns()) {
        m.view.setCaption(s.mainCaption + QStringLiteral(" - ") + msg.MsgViewerStartedByUser);
        s.orbivuState = 2;
        m.view.setStateIcon(MainView::StateIcon::ViewerRunning);
        m.view.setTrayTip(msg.MsgViewerStartedByUser);
        return;
    }
    m.view.setCaption(s.mainCaption);
    s.orbivuState = 0;
    s.busyWarningShown = false;
    m.view.setStateIcon(MainView::StateIcon::Idle);
    m.view.setTrayTip(m.todo.recordingCount > 0
                          ? msg.MsgWaitingNext + formatDefault(m.todo.nextEventTime)
                          : msg.MsgWaiting);
}

bool AfterRecording::viewerOfTheUserRuns()
{
    // Reading the process table is nearly all that an idle tick costs. While nothing of ours
    // records, no viewer was found, nothing waits and no start is near, a reading that found
    // none stands for two seconds: a viewer the user starts shows in the caption that much
    // later at most. Every tick near a start, and every tick after a start of ours, reads.
    const QDateTime now = m.clock.now();
    const AppState& s = m.state;
    const TableReading& last = m_lastReading;
    const bool quiet = s.orbivuState == 0 && s.pendingPowerAction.isEmpty() &&
                       m.todo.nextEventTime - toDaySerial(now) > kQuietBeforeLaunch;
    if (quiet && last.at.isValid() && !last.viewerFound && last.starts == m.viewer.startCount() &&
        last.at <= now && last.at.msecsTo(now) < kQuietReadingMs)
        return false;
    m_lastReading = {now, m.viewer.startCount(), m.viewer.isProcessRunning(kViewerName)};
    return m_lastReading.viewerFound;
}

void AfterRecording::decideAfterRecording()
{
    AppState& s = m.state;
    const QString& type = s.settings.shutDownType;
    const int count = m.todo.recordingCount;

    // Each branch either acts or leaves its word for a later tick when the wait-program runs.
    auto actOrWait = [&](const QString& word, auto action) {
        if (isWaitProgramBlocking())
            s.pendingPowerAction = word;
        else
            action();
    };

    if (s.standbyMode && count == 0) {
        m.view.setStandbyLabel(QString());
        s.standbyMode = false;
        m.power.signalSystemRequired(false);
        if (type == kLastRec)
            actOrWait(pendingword::ShutDownLastRec, [this] { countdownThenPowerOff(); });
        else if (type == kNever)
            actOrWait(pendingword::StandByLastRec, [this] { standbyAfterLastRecording(); });
        return;
    }
    if (s.standbyMode) {
        actOrWait(pendingword::GoNormalStandBy, [this] { timedStandby(); });
        return;
    }
    if (count == 0 && (type == kLastRec || type == kRule)) {
        actOrWait(pendingword::ShutDownLastRec, [this] { powerOffAfterLastRecording(); });
        return;
    }
    if (count > 0 && type == kRule)
        actOrWait(pendingword::StartNocturo1, [this] { shutdownByRule(); });
    // "Never", "LastRec" with recordings left, and an unknown type: the PC stays on.
}

void AfterRecording::powerOffAfterLastRecording()
{
    AppState& s = m.state;
    const QString program = s.appPath + QStringLiteral("/dorvel");
    // The next start must not be in wake-tool mode.
    if (s.wakeToolMode)
        m.autostart.setRunEntry(kRunEntryName, program, {QStringLiteral("min")});
    if (s.settings.shutDownType == kRule && !s.settings.autoRun)
        m.autostart.deleteRunEntry(kRunEntryName);
    countdownThenPowerOff();
}

void AfterRecording::shutdownByRule()
{
    const double next = m.todo.nextEventTime;
    if (!nextLaunchFartherThan(ruleMinutes()))
        return;
    logLine(QStringLiteral("   Shutdown (next record at ") + formatDefault(next) +
            QLatin1Char(')'));
    if (m.state.wakeToolMode)
        runWakeTool(QStringLiteral("   Run Nocturo with ") + wakeToolCommandLine());
    else
        m.power.powerOff(); // no countdown; the shutdown ends the program
}

void AfterRecording::takeUpPendingAction()
{
    AppState& s = m.state;
    if (s.pendingPowerAction.isEmpty() || s.orbivuState != 0 || isWaitProgramBlocking())
        return;
    m.timer.stop();
    const QString word = s.pendingPowerAction;
    s.pendingPowerAction.clear();
    if (word == pendingword::StartNocturo1 && !s.wakeToolMode) {
        // The ITime rule's power-off waited for the wait-program. Without wake-tool mode the
        // tool may not even be installed, and starting it would end the program for nothing.
        m.timer.start();
        if (s.settings.shutDownType == kRule && m.todo.recordingCount > 0)
            shutdownByRule();
    } else if (word == pendingword::StartNocturo1) {
        m.timer.start();
        m_commands->wakeToolCommand();
    } else if (word == pendingword::GoNormalStandBy) {
        m.timer.start();
        m_commands->standByCommand();
    } else if (word == pendingword::ShutDownLastRec) {
        countdownThenPowerOff();
    } else if (word == pendingword::StandByLastRec) {
        standbyAfterLastRecording();
    }
    if (!m_ended)
        m.timer.start();
}

void AfterRecording::countdownThenPowerOff()
{
    AppState& s = m.state;
    s.shutdownConfirmed = true;
    s.countdownEnd = m.clock.nowSerial() + 15 * kSecond;
    m.countdown.runCountdown();
    if (!s.shutdownConfirmed) {
        // Stopped; Stop has also dropped any waiting action. Said where the user looks later.
        const QString line = QStringLiteral("   Shutdown stopped by the user");
        listLine(line);
        logLine(line);
        return;
    }
    logLine(QStringLiteral("   Shutdown after last record"));
    m.power.powerOff();
    endProgram();
}

void AfterRecording::standbyAfterLastRecording()
{
    listLine(QStringLiteral("   Record finished enter StandBy"));
    m.timer.stop();
    logLine(QStringLiteral("   Record finished enter StandBy until User - resume"));
    m.power.standbyUntilUser();
    listLine(QStringLiteral("   Resumed (USER)"));
    logLine(QStringLiteral("   Resumed by User"));
    m.timer.start();
}

void AfterRecording::timedStandby()
{
    if (!nextLaunchFartherThan(10))
        return; // the next launch is too near for a standby
    sleepUntilShortlyBeforeNext();
}

void AfterRecording::sleepUntilShortlyBeforeNext()
{
    m.timer.stop();
    // Wake two minutes before the launch, in whole seconds of real time.
    const qint64 seconds = std::llround(double(msToNextLaunch()) / 1000.0) - 120;
    const auto clamped = qint32(std::clamp<qint64>(seconds, 0, std::numeric_limits<qint32>::max()));
    const QString line =
        QStringLiteral("   StandBy for ") + QString::number(seconds) + QStringLiteral(" sek");
    listLine(line);
    logLine(line);
    if (m.power.standbyWithWakeup(clamped) != powertext::Resumed)
        tellUser(QStringLiteral("ERROR in Resume"));
    listLine(QStringLiteral("   Resumed"));
    logLine(QStringLiteral("   Resumed"));
    m.state.resumedFromStandby = true;
    m.timer.setInterval(500);
    m.timer.start();
}

void AfterRecording::runWakeTool(const QString& line)
{
    AppState& s = m.state;
    // Asked before anything changes: once Dorvel has ended, nobody would learn that the tool
    // could not do its part, and no scheduler would be left.
    if (m_hooks.checkWakeTool) {
        const QString problem = m_hooks.checkWakeTool(
            wakeToolProgram(), QStringList{QStringLiteral("--check")} + wakeToolArguments());
        if (!problem.isEmpty()) {
            const QString hint = QStringLiteral("dorvel --check-power");
            tellUser(QStringLiteral("ERROR: the wake-up tool cannot switch the PC off, so Dorvel "
                                    "keeps running: ") +
                     problem +
                     (problem.contains(hint) // the tool's own words may already point there
                          ? QString()
                          : QStringLiteral(" (") + hint +
                                QStringLiteral(" shows what the PC still needs)")));
            return;
        }
    }
    m.timer.stop();
    m.autostart.setRunEntry(kRunEntryName, s.appPath + QStringLiteral("/dorvel"),
                            {QStringLiteral("min"), QStringLiteral("cmos")});
    const QString commandLine = wakeToolCommandLine();
    logLine(line);
    QString error;
    if (!m.launcher.start(wakeToolProgram(), wakeToolArguments(), s.appPath, &error)) {
        m.timer.start();
        tellUser(QStringLiteral("ERROR: ") + commandLine + QStringLiteral(" not found"));
        return;
    }
    s.reloadRequested = false;
    m.view.removeTrayIcon();
    m.power.closeWakeTimer();
    endProgram();
}

} // namespace dorvel
