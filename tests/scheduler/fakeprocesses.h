#pragma once

// A scripted process table, and a launcher whose starts show up in that table.

#include "processes.h"

#include <QList>
#include <QStringList>

#include <algorithm>
#include <functional>

namespace dorvel::test {

struct FakeProcessTable final : ProcessTable {
    QList<ProcessInfo> processes() const override { return list; }
    std::optional<ProcessInfo> process(qint64 pid) const override
    {
        const auto it = std::find_if(list.begin(), list.end(),
                                     [pid](const ProcessInfo& p) { return p.pid == pid; });
        return it == list.end() ? std::nullopt : std::optional(*it);
    }
    bool requestClose(qint64 pid, int waitMs) override
    {
        closeRequests.append(pid);
        lastWaitMs = waitMs;
        return obeysClose && remove(pid);
    }
    void add(qint64 pid, const QString& exe, quint64 start = 1000)
    {
        list.append({pid, start, exe});
    }
    bool remove(qint64 pid)
    {
        return list.removeIf([pid](const ProcessInfo& p) { return p.pid == pid; }) > 0;
    }

    QList<ProcessInfo> list;
    bool obeysClose = true;
    QList<qint64> closeRequests;
    int lastWaitMs = -1;
};

struct FakeLauncher final : ProcessLauncher {
    struct Start {
        QString program;
        QStringList args;
        QString workingDir;
    };
    explicit FakeLauncher(FakeProcessTable* t = nullptr) : table(t) {}
    std::optional<StartedProcess> start(const QString& program, const QStringList& args,
                                        const QString& workingDir, QString* error) override
    {
        starts.append({program, args, workingDir});
        if (onStart)
            onStart();
        if (!failWith.isEmpty()) {
            if (error)
                *error = failWith;
            return std::nullopt;
        }
        if (table)
            table->add(4000 + starts.size() - 1, program, 50000);
        return StartedProcess{4000 + starts.size() - 1, 50000};
    }

    FakeProcessTable* table;
    QList<Start> starts;
    QString failWith;              // non-empty: every start fails with this reason
    std::function<void()> onStart; // runs as the program starts
};

} // namespace dorvel::test
