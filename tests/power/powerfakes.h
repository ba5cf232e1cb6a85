#pragma once

// Stand-ins for the power tests and a rig that wires the after-recording logic to them.

#include "activitylist.h"
#include "afterrecording.h"
#include "appstate.h"
#include "autostart.h"
#include "countdownpresenter.h"
#include "eventlog.h"
#include "fakes.h"
#include "powerops.h"
#include "standbycommands.h"
#include "todolist.h"
#include "viewerprocess.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>

namespace dorvel::test {

// Records every call; a timed standby moves the clock on by the time away.
class FakePower final : public Power {
public:
    explicit FakePower(FakeClock& clock) : m_clock(clock) {}
    QList<PowerCheck> failedChecks(PowerRequest r) override { return failing.value(int(r)); }
    void powerOff() override { calls.append("powerOff"); }
    QString standbyWithWakeup(qint32 seconds) override
    {
        calls.append(QStringLiteral("standbyWithWakeup %1").arg(seconds));
        timerDuringStandby = timer->isActive();
        m_clock.advanceSecs(awaySecs >= 0 ? awaySecs : seconds);
        return standbyResult;
    }
    QString standbyUntilUser() override
    {
        calls.append("standbyUntilUser");
        return untilUser;
    }
    void setSystemRequired(bool on) override
    {
        if (on != held)
            calls.append(on ? "inhibit" : "uninhibit");
        held = on;
    }
    bool systemRequired() const override { return held; }
    void closeWakeTimer() override { calls.append("closeWakeTimer"); }

    QStringList calls;
    QMap<int, QList<PowerCheck>> failing;
    QString standbyResult = powertext::Resumed, untilUser = powertext::Resumed;
    qint64 awaySecs = -1; // -1: as long as asked
    bool held = false;
    const TickTimer* timer = nullptr;
    bool timerDuringStandby = true;

private:
    FakeClock& m_clock;
};

// The process table, the launcher, the autostart entry and the countdown window in one.
class FakeSystem final : public ProcessTable,
                         public ProcessLauncher,
                         public Autostart,
                         public CountdownPresenter {
public:
    QList<ProcessInfo> processes() const override { return list; }
    std::optional<ProcessInfo> process(qint64 pid) const override
    {
        auto it = std::find_if(list.begin(), list.end(), [&](auto& p) { return p.pid == pid; });
        return it == list.end() ? std::nullopt : std::optional(*it);
    }
    bool requestClose(qint64, int) override { return false; }
    void add(qint64 pid, const QString& exe, quint64 start = 1) { list.append({pid, start, exe}); }
    void remove(const QString& part)
    {
        list.removeIf([&](const ProcessInfo& p) { return p.exePath.contains(part); });
    }
    std::optional<StartedProcess> start(const QString& program, const QStringList& args,
                                        const QString&, QString* error) override
    {
        started.append((QStringList{program} + args).join(' '));
        *error = "No such file or directory";
        return startFails ? std::nullopt : std::optional(StartedProcess{4711, 99});
    }
    void setRunEntry(const QString& name, const QString& program, const QStringList& args) override
    {
        runEntries.append(name + ": " + (QStringList{program} + args).join(' '));
    }
    void deleteRunEntry(const QString& name) override { runEntries.append("delete " + name); }
    void runCountdown() override { ++countdowns; }

    QList<ProcessInfo> list;
    QStringList started, runEntries;
    bool startFails = false;
    int countdowns = 0;
};

// The fakes, with the event log in a real file.
struct Rig {
    Rig()
    {
        state.appPath = "/opt/my dorvel";
        state.mainCaption = "Dorvel Ver 0.36";
        state.msg = MessageTable::forLanguage("eng");
        state.settings.saveLog = true;
        log.setPath(dir.filePath("Dorvel.log"));
        timer.active = true;
        power.timer = &timer;
    }

    // Event texts without their date-time, joined by '|'.
    QString listTexts() const { return texts(activity.lines().join('\n')); }
    QString logTexts() const
    {
        QFile f(log.path());
        return f.open(QIODevice::ReadOnly) ? texts(f.readAll()) : QString();
    }
    static QString texts(QString lines)
    {
        static const QRegularExpression date{"^.{19}", QRegularExpression::MultilineOption};
        return lines.remove(date).split('\n', Qt::SkipEmptyParts).join('|');
    }
    QString powerCalls() const { return power.calls.join('|'); }

    // A recording the scheduler started; endRecording() lets it end.
    void startRecording()
    {
        sys.add(321, "/opt/orbivu/Orbivu.EXE", 777);
        state.orbivuTaskId = 321;
        state.orbivuTaskStart = 777;
    }
    void endRecording() { sys.remove("Orbivu"); }
    void setNextLaunchIn(qint64 secs)
    {
        todo.nextEventTime = toDaySerial(clock.now().addSecs(secs));
    }
    void setWaitProgramRunning(bool on)
    {
        state.settings.waitForClose = true;
        on ? sys.add(900, "/usr/bin/TMPGenc.exe") : sys.remove("TMPGenc");
    }

    QTemporaryDir dir;
    FakeClock clock;
    AppState state;
    TodoList todo;
    ActivityList activity;
    EventLog log{clock, state.settings};
    FakePrompter prompter;
    FakeView view;
    FakeTimer timer;
    MemorySettingsStore store;
    FakeSystem sys;
    ViewerProcess viewer{sys, sys};
    FakePower power{clock};
    PowerOps ops{power, prompter};
    int ended = 0;
    // The wake-up tool's check: each call as one command line, and what it answers.
    QStringList toolChecks;
    QString toolProblem;
    AfterRecording after{
        PowerServices{state, todo, activity, log, prompter, view, timer, clock, store, viewer, ops,
                      sys, sys, sys},
        AfterRecording::Hooks{[this] { ++ended; },
                              [this](const QString& tool, const QStringList& args) {
                                  toolChecks << (QStringList{tool} + args).join(' ');
                                  return toolProblem;
                              }}};
};

} // namespace dorvel::test
