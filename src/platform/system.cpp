#include "system.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dorvel {

QString CommandLine::optionValue(const QString& option) const
{
    const qsizetype i = m_args.indexOf(option);
    return (i >= 0 && i + 1 < m_args.size()) ? m_args.at(i + 1) : QString();
}

SingleInstance::SingleInstance(const QString& lockPath) : m_path(lockPath) {}

SingleInstance::~SingleInstance()
{
    release();
}

bool SingleInstance::tryAcquire()
{
    m_problem.clear();
    if (m_fd >= 0)
        return true;
    // The kernel's lock on the open file: it ends with the process however that ends, so no
    // lock is ever stale, and taking it writes nothing to disk.
    const int fd = ::open(QFile::encodeName(m_path).constData(), O_RDWR | O_CREAT | O_CLOEXEC,
                          S_IRUSR | S_IWUSR);
    if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        m_fd = fd;
        return true;
    }
    const bool held = fd >= 0 && errno == EWOULDBLOCK;
    if (fd >= 0)
        ::close(fd);
    if (!held) {
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
    // The file stays: removing it would let a start that opened it just before lock a file
    // that no longer has a name, beside one that locks the new one.
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool SingleInstance::waitUntilFree(const QString& path, int ms)
{
    QDeadlineTimer deadline(ms);
    for (;;) {
        // Opened without creating it: no file, no holder.
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return errno == ENOENT;
        const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
        ::close(fd); // also lets go of the lock just taken
        if (free)
            return true;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(100);
    }
}

QString SingleInstance::lockPathFor(const QString& program)
{
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    return dir + QLatin1Char('/') + program + QLatin1Char('-') + QString::number(getuid()) +
           QStringLiteral(".lock");
}

QString SingleInstance::defaultLockPath()
{
    return lockPathFor(QStringLiteral("dorvel"));
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
