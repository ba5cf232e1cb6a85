#pragma once

// Stand-ins for the power tests: the power backend, process table and launcher, autostart,
// the countdown window, and a rig that wires the after-recording logic to them.

#include "activitylist.h"
#include "afterrecording.h"
#include "appstate.h"
#include "autostart.h"
#include "countdownpresenter.h"
#include "eventlog.h"
#include "fakes.h"
#include "power.h"
#include "powerops.h"
#include "processes.h"
#include "standbycommands.h"
#include "todolist.h"
#include "viewerprocess.h"

#include <QFile>
#include <QMap>
#include <QTemporaryDir>

#include <functional>

namespace dorvel::test {

class FakePower final : public Power {
public:
    explicit FakePower(FakeClock& clock) : m_clock(clock) {}

    QList<PowerCheck> failedChecks(PowerRequest request) override
    {
        checked.append(request);
        return failing.value(int(request));
    }
    void powerOff() override { calls.append(QStringLiteral("powerOff")); }
    QString standbyWithWakeup(qint32 seconds) override
    {
        calls.append(QStringLiteral("standbyWithWakeup %1").arg(seconds));
        if (onStandby)
            onStandby();
        m_clock.advanceSecs(awaySecs >= 0 ? awaySecs : seconds);
        return standbyResult;
    }
    QString standbyUntilUser() override
    {
        calls.append(QStringLiteral("standbyUntilUser"));
        if (onStandby)
            onStandby();
        return untilUserResult;
    }
    void setSystemRequired(bool on) override
    {
        if (on != held)
            calls.append(on ? QStringLiteral("inhibit") : QStringLiteral("uninhibit"));
        held = on;
    }
    bool systemRequired() const override { return held; }
    void closeWakeTimer() override { calls.append(QStringLiteral("closeWakeTimer")); }

    QStringList calls;
    QList<PowerRequest> checked;
    QMap<int, QList<PowerCheck>> failing;
    QString standbyResult = powertext::Resumed;
    QString untilUserResult = powertext::Resumed;
    qint64 awaySecs = -1; // how long a timed standby lasts; -1: as asked
    bool held = false;
    std::function<void()> onStandby;

private:
    FakeClock& m_clock;
};

class FakeProcessTable final : public ProcessTable {
public:
    QList<ProcessInfo> processes() const override { return list; }
    std::optional<ProcessInfo> process(qint64 pid) const override
    {
        for (const ProcessInfo& p : list) {
            if (p.pid == pid)
                return p;
        }
        return std::nullopt;
    }
    bool requestClose(qint64, int) override { return false; }

    void add(qint64 pid, const QString& exe, quint64 start = 1) { list.append({pid, start, exe}); }
    void removeMatching(const QString& part)
    {
        list.removeIf([&](const ProcessInfo& p) { return p.exePath.contains(part); });
    }

    QList<ProcessInfo> list;
};

class FakeLauncher final : public ProcessLauncher {
public:
    std::optional<StartedProcess> start(const QString& program, const QStringList& args,
                                        const QString& workingDir, QString* error) override
    {
        started.append(QStringList{program} + args);
        dirs.append(workingDir);
        if (fail) {
            if (error)
                *error = QStringLiteral("No such file or directory");
            return std::nullopt;
        }
        return StartedProcess{4711, 99};
    }
    QList<QStringList> started;
    QStringList dirs;
    bool fail = false;
};

class FakeAutostart final : public Autostart {
public:
    void setRunEntry(const QString& name, const QString& program, const QStringList& args) override
    {
        ops.append(QStringLiteral("set %1: %2")
                       .arg(name, (QStringList{program} + args).join(QLatin1Char(' '))));
    }
    void deleteRunEntry(const QString& name) override
    {
        ops.append(QStringLiteral("delete ") + name);
    }
    QStringList ops;
};

class FakeCountdown final : public CountdownPresenter {
public:
    void runCountdown() override
    {
        ++runs;
        if (onRun)
            onRun();
    }
    int runs = 0;
    std::function<void()> onRun; // e.g. ticks that arrive, or the Stop button
};

// Everything the after-recording logic touches, as fakes, with the event log in a real file.
struct Rig {
    Rig()
    {
        state.appPath = QStringLiteral("/opt/my dorvel");
        state.mainCaption = QStringLiteral("Dorvel Ver 0.36");
        state.msg = MessageTable::forLanguage(QStringLiteral("eng"));
        state.settings.saveLog = true;
        log.setPath(dir.filePath(QStringLiteral("Dorvel.log")));
        timer.active = true;
    }

    // Event texts after the date-time (the first 19 characters).
    static QStringList texts(const QStringList& lines)
    {
        QStringList t;
        for (const QString& l : lines)
            t.append(l.mid(19));
        return t;
    }
    QStringList listTexts() const { return texts(activity.lines()); }
    QStringList logTexts() const
    {
        QFile f(log.path());
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return texts(QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts));
    }

    // A recording the scheduler started, still running.
    void startRecording(qint64 pid = 321)
    {
        table.add(pid, QStringLiteral("/opt/orbivu/Orbivu.EXE"), 777);
        state.orbivuTaskId = pid;
        state.orbivuTaskStart = 777;
    }
    void endRecording() { table.removeMatching(QStringLiteral("Orbivu")); }
    void setNextLaunchIn(qint64 secs)
    {
        todo.nextEventTime = toDaySerial(clock.now().addSecs(secs));
    }
    void setWaitProgramRunning(bool on)
    {
        state.settings.waitForClose = true;
        if (on)
            table.add(900, QStringLiteral("/usr/bin/TMPGenc.exe"));
        else
            table.removeMatching(QStringLiteral("TMPGenc"));
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
    FakeProcessTable table;
    FakeLauncher launcher;
    ViewerProcess viewer{table, launcher};
    FakePower power{clock};
    PowerOps ops{power, prompter};
    FakeAutostart autostart;
    FakeCountdown countdown;
    int ended = 0;
    AfterRecording after{PowerServices{state, todo, activity, log, prompter, view, timer, clock,
                                       store, viewer, ops, autostart, launcher, countdown},
                         AfterRecording::Hooks{[this] { ++ended; }}};
};

} // namespace dorvel::test
