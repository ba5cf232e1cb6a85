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
    : m_lock(std::make_unique<QLockFile>(lockPath))
{
    // A live holder is never stale, however old its lock; a dead one is detected by pid.
    m_lock->setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::tryAcquire()
{
    return m_lock->tryLock(0);
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
