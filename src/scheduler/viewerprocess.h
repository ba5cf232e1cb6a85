#pragma once

#include "processes.h"

#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace dorvel {

// Process operations on the viewer and on other named programs. A process matches a name
// when its executable path, trimmed and upper-cased, contains the trimmed, upper-cased name.
class ViewerProcess {
public:
    ViewerProcess(ProcessTable& table, ProcessLauncher& launcher)
        : m_table(table), m_launcher(launcher)
    {}

    static bool matches(const QString& exePath, const QString& name);

    bool isProcessRunning(const QString& name) const;
    // The last match in enumeration order; 0 when none.
    qint64 findProcessId(const QString& name) const;
    // True when that pid still runs, was started at startTime, and matches the name.
    bool isTaskRunning(qint64 pid, quint64 startTime, const QString& name) const;
    // Close request to the viewer found by findProcessId("Orbivu.EXE"); true when it ended
    // within 500 ms. Never forced.
    bool closeViewer();
    std::optional<StartedProcess> start(const QString& program, const QStringList& args,
                                        const QString& workingDir, QString* error);
    // How many starts were asked for: a reading older than the last start is out of date.
    quint64 startCount() const { return m_starts; }

    // While a scope lives, the name queries share one reading of the process table, so that
    // a tick that asks for several names reads /proc once. The reading is renewed when it is
    // older than a quarter second, after a close request and after a start.
    class SnapshotScope {
    public:
        explicit SnapshotScope(ViewerProcess& vp);
        ~SnapshotScope();
        SnapshotScope(const SnapshotScope&) = delete;
        SnapshotScope& operator=(const SnapshotScope&) = delete;

    private:
        ViewerProcess& m_vp;
    };

private:
    QList<ProcessInfo> table() const;

    ProcessTable& m_table;
    ProcessLauncher& m_launcher;
    int m_holds = 0;
    quint64 m_starts = 0;
    mutable std::optional<QList<ProcessInfo>> m_snapshot;
    mutable QElapsedTimer m_snapshotTaken;
};

} // namespace dorvel
