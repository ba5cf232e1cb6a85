#include "system.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>

#include <sys/resource.h>
#include <unistd.h>

namespace dorvel {

QString CommandLine::optionValue(const QString& option) const
{
    const qsizetype i = m_args.indexOf(option);
    return (i >= 0 && i + 1 < m_args.size()) ? m_args.at(i + 1) : QString();
}

SingleInstance::SingleInstance(const QString& lockPath)
    : m_lock(std::make_unique<QLockFile>(lockPath)), m_path(lockPath)
{
    // A live holder is never stale, however old its lock; a dead one is detected by pid.
    m_lock->setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::tryAcquire()
{
    m_problem.clear();
    if (m_lock->tryLock(0))
        return true;
    if (m_lock->error() != QLockFile::LockFailedError) {
        const QFileInfo folder(QFileInfo(m_path).absolutePath());
        const QString why = !folder.isDir()        ? QStringLiteral("the folder does not exist")
                            : !folder.isWritable() ? QStringLiteral("the folder is not writable")
                                                   : QStringLiteral("the file cannot be written");
        m_problem = QStringLiteral("FATAL ERROR: cannot create the lock file ") + m_path +
                    QStringLiteral(" (") + why + QLatin1Char(')');
    }
    return false;
}

void SingleInstance::release()
{
    m_lock->unlock();
}

QString SingleInstance::defaultLockPath()
{
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    return dir + QStringLiteral("/dorvel-") + QString::number(getuid()) + QStringLiteral(".lock");
}

void setIdlePriority()
{
    (void)setpriority(PRIO_PROCESS, 0, 19);
}

QString logFolderFor(const QString& appPath, bool create)
{
    const QFileInfo fi(appPath);
    if (fi.isDir() && fi.isWritable())
        return appPath;
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty())
        state = QDir::homePath() + QStringLiteral("/.local/state");
    const QString dir = state + QStringLiteral("/Dorvel");
    if (create)
        QDir().mkpath(dir);
    return dir;
}

bool isExecutableFile(const QString& path)
{
    const QFileInfo fi(path);
    return fi.isFile() && fi.isExecutable();
}

} // namespace dorvel
