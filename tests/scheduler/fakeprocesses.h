#pragma once

// A scripted process table and launcher for the viewer process operations and the tick.

#include "processes.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <optional>

namespace dorvel::test {

class FakeProcessTable final : public ProcessTable {
public:
    QList<ProcessInfo> processes() const override
    {
        ++reads;
        return list;
    }
    std::optional<ProcessInfo> process(qint64 pid) const override
    {
        for (const ProcessInfo& p : list) {
            if (p.pid == pid)
                return p;
        }
        return std::nullopt;
    }
    bool requestClose(qint64 pid, int waitMs) override
    {
        closeRequests.append(pid);
        lastWaitMs = waitMs;
        if (!obeysClose)
            return false;
        const auto before = list.size();
        list.erase(std::remove_if(list.begin(), list.end(),
                                  [pid](const ProcessInfo& p) { return p.pid == pid; }),
                   list.end());
        return list.size() != before;
    }

    void add(qint64 pid, const QString& exe, quint64 start = 1000)
    {
        list.append({pid, start, exe});
    }
    void remove(qint64 pid)
    {
        list.erase(std::remove_if(list.begin(), list.end(),
                                  [pid](const ProcessInfo& p) { return p.pid == pid; }),
                   list.end());
    }

    QList<ProcessInfo> list;
    bool obeysClose = true;
    QList<qint64> closeRequests;
    int lastWaitMs = -1;
    mutable int reads = 0;
};

// Starts nothing real: records each start and, when it succeeds, puts the process into the
// table so that the next queries see it.
class FakeLauncher final : public ProcessLauncher {
public:
    explicit FakeLauncher(FakeProcessTable* table = nullptr) : m_table(table) {}

    struct Start {
        QString program;
        QStringList args;
        QString workingDir;
    };

    std::optional<StartedProcess> start(const QString& program, const QStringList& args,
                                        const QString& workingDir, QString* error) override
    {
        starts.append({program, args, workingDir});
        if (!failWith.isEmpty()) {
            if (error)
                *error = failWith;
            return std::nullopt;
        }
        const StartedProcess p{nextPid++, nextStart++};
        if (m_table)
            m_table->list.append({p.pid, p.startTime, program});
        return p;
    }

    QList<Start> starts;
    QString failWith; // non-empty: every start fails with this reason
    qint64 nextPid = 4000;
    quint64 nextStart = 50000;

private:
    FakeProcessTable* m_table;
};

} // namespace dorvel::test
