#include "viewerprocess.h"

#include <algorithm>

namespace dorvel {

namespace {
const QString kViewerCloseName = QStringLiteral("Orbivu.EXE");
constexpr int kCloseWaitMs = 500;
constexpr qint64 kSnapshotMaxAgeMs = 250;
} // namespace

bool ViewerProcess::matches(const QString& exePath, const QString& name)
{
    // An empty name would match every process and so block whoever waits for it forever.
    const QString wanted = name.trimmed().toUpper();
    if (wanted.isEmpty())
        return false;
    return exePath.trimmed().toUpper().contains(wanted);
}

QList<ProcessInfo> ViewerProcess::table() const
{
    if (m_holds == 0)
        return m_table.processes();
    // A box or a standby inside the scope may last long; an old reading is never reused.
    if (!m_snapshot || m_snapshotTaken.hasExpired(kSnapshotMaxAgeMs)) {
        m_snapshot = m_table.processes();
        m_snapshotTaken.start();
    }
    return *m_snapshot;
}

bool ViewerProcess::isProcessRunning(const QString& name) const
{
    const QList<ProcessInfo> list = table();
    return std::any_of(list.cbegin(), list.cend(),
                       [&](const ProcessInfo& p) { return matches(p.exePath, name); });
}

qint64 ViewerProcess::findProcessId(const QString& name) const
{
    qint64 last = 0;
    for (const ProcessInfo& p : table()) {
        if (matches(p.exePath, name))
            last = p.pid;
    }
    return last;
}

bool ViewerProcess::isTaskRunning(qint64 pid, quint64 startTime, const QString& name) const
{
    if (pid <= 0)
        return false;
    const std::optional<ProcessInfo> p = m_table.process(pid);
    return p && p->startTime == startTime && matches(p->exePath, name);
}

bool ViewerProcess::closeViewer()
{
    const qint64 pid = findProcessId(kViewerCloseName);
    if (pid == 0)
        return false;
    const bool ended = m_table.requestClose(pid, kCloseWaitMs);
    m_snapshot.reset(); // the table has changed, or may change any moment now
    return ended;
}

std::optional<StartedProcess> ViewerProcess::start(const QString& program, const QStringList& args,
                                                   const QString& workingDir, QString* error)
{
    m_snapshot.reset();
    ++m_starts;
    return m_launcher.start(program, args, workingDir, error);
}

ViewerProcess::SnapshotScope::SnapshotScope(ViewerProcess& vp) : m_vp(vp)
{
    ++m_vp.m_holds;
}

ViewerProcess::SnapshotScope::~SnapshotScope()
{
    if (--m_vp.m_holds == 0)
        m_vp.m_snapshot.reset();
}

} // namespace dorvel
