#pragma once

// The machine around the program in the simulated year: viewers in a process table that
// record, crash at once or hang, and a power backend whose sleeps move the clock.

#include "fakes.h"
#include "power.h"
#include "powerops.h"
#include "processes.h"

#include <QDateTime>
#include <QList>

#include <functional>

namespace dorvel::sim {

class SimViewers final : public ProcessTable, public ProcessLauncher {
public:
    struct Proc {
        ProcessInfo info;
        QDateTime startedAt;
        QDateTime endAt;
        bool obeysClose = true;
    };

    QList<ProcessInfo> processes() const override
    {
        QList<ProcessInfo> out;
        for (const Proc& p : procs)
            out.append(p.info);
        return out;
    }
    std::optional<ProcessInfo> process(qint64 pid) const override
    {
        for (const Proc& p : procs) {
            if (p.info.pid == pid)
                return p.info;
        }
        return std::nullopt;
    }
    bool requestClose(qint64 pid, int) override
    {
        ++closeRequests;
        for (qsizetype i = 0; i < procs.size(); ++i) {
            if (procs[i].info.pid == pid) {
                if (!procs[i].obeysClose)
                    return false;
                ended(procs.takeAt(i));
                return true;
            }
        }
        return false;
    }
    std::optional<StartedProcess> start(const QString& program, const QStringList& args,
                                        const QString&, QString*) override
    {
        Proc p = onStart(program, args);
        p.info.pid = m_nextPid++;
        p.info.startTime = m_nextStart++;
        procs.append(p);
        return StartedProcess{p.info.pid, p.info.startTime};
    }
    // Processes whose time has come end now.
    void endDue(const QDateTime& now)
    {
        for (qsizetype i = 0; i < procs.size();) {
            if (procs[i].endAt <= now)
                ended(procs.takeAt(i));
            else
                ++i;
        }
    }
    QDateTime nextEnd() const
    {
        QDateTime t;
        for (const Proc& p : procs) {
            if (!t.isValid() || p.endAt < t)
                t = p.endAt;
        }
        return t;
    }

    QList<Proc> procs;
    int closeRequests = 0;
    // Decides what a started viewer does (its path, life and manners); the start follows.
    std::function<Proc(const QString&, const QStringList&)> onStart;
    std::function<void(const Proc&)> ended;

private:
    qint64 m_nextPid = 5000;
    quint64 m_nextStart = 100;
};

class SimPower final : public Power {
public:
    explicit SimPower(test::FakeClock& clock) : m_clock(clock) {}
    QList<PowerCheck> failedChecks(PowerRequest) override { return {}; }
    void powerOff() override { ++powerOffs; }
    QString standbyWithWakeup(qint32 seconds) override
    {
        ++timedSleeps;
        m_clock.advanceSecs(seconds); // the alarm wakes the machine
        return powertext::Resumed;
    }
    QString standbyUntilUser() override
    {
        ++userSleeps;
        m_clock.advanceSecs(userWakesAfter ? userWakesAfter() : 3600);
        return powertext::Resumed;
    }
    void setSystemRequired(bool on) override { m_held = on; }
    bool systemRequired() const override { return m_held; }
    void closeWakeTimer() override {}

    int powerOffs = 0, timedSleeps = 0, userSleeps = 0;
    std::function<qint64()> userWakesAfter;

private:
    test::FakeClock& m_clock;
    bool m_held = false;
};

} // namespace dorvel::sim
