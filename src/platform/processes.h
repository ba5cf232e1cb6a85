#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace dorvel {

// One process as the process table shows it. startTime tells a reused pid apart from the
// process that first had it (clock ticks since boot on Linux).
struct ProcessInfo {
    qint64 pid = 0;
    quint64 startTime = 0;
    QString exePath; // executable path, or argv[0] of an interpreted program
};

struct StartedProcess {
    qint64 pid = 0;
    quint64 startTime = 0;
};

class ProcessTable {
public:
    virtual ~ProcessTable() = default;
    // Every readable process of this user, in enumeration order; unreadable ones are skipped.
    // A listing may leave startTime 0 (not read); process() always gives it.
    virtual QList<ProcessInfo> processes() const = 0;
    virtual std::optional<ProcessInfo> process(qint64 pid) const = 0;
    // Close request (never a forced kill); true when the process ended within waitMs.
    virtual bool requestClose(qint64 pid, int waitMs) = 0;
};

class ProcessLauncher {
public:
    virtual ~ProcessLauncher() = default;
    // Starts a program detached, without a shell. On failure returns nothing and sets
    // *error to a readable reason.
    virtual std::optional<StartedProcess> start(const QString& program, const QStringList& args,
                                                const QString& workingDir, QString* error) = 0;
};

} // namespace dorvel
