#include "instancebell.h"

#include "system.h"

#include <QFile>
#include <QSocketNotifier>

#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

namespace dorvel {

namespace {

// False when the path does not fit a socket address.
bool addressOf(const QString& path, sockaddr_un& address)
{
    const QByteArray name = QFile::encodeName(path);
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (name.isEmpty() || size_t(name.size()) >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    return true;
}

} // namespace

InstanceBell::InstanceBell(const QString& socketPath, QObject* parent)
    : QObject(parent), m_path(socketPath)
{}

InstanceBell::~InstanceBell()
{
    close();
}

void InstanceBell::close()
{
    if (m_fd < 0)
        return;
    delete m_notifier;
    m_notifier = nullptr;
    ::close(m_fd);
    m_fd = -1;
    ::unlink(QFile::encodeName(m_path).constData());
}

bool InstanceBell::listen()
{
    close();
    sockaddr_un address;
    if (!addressOf(m_path, address))
        return false;
    // A socket left by a crashed instance is replaced; only the lock holder gets here.
    ::unlink(address.sun_path);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::chmod(address.sun_path, S_IRUSR | S_IWUSR) != 0 || ::listen(fd, 8) != 0) {
        ::close(fd);
        ::unlink(address.sun_path);
        return false;
    }
    m_fd = fd;
    m_notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        int caller;
        while ((caller = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC)) >= 0) {
            ::close(caller);
            Q_EMIT rung();
        }
    });
    return true;
}

bool InstanceBell::ring(const QString& socketPath)
{
    sockaddr_un address;
    if (!addressOf(socketPath, address))
        return false;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    // Short: a running instance answers at once, and a second start must not hang on a full
    // queue.
    const timeval limit{2, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    const bool heard =
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return heard;
}

QString InstanceBell::defaultPath()
{
    QString path = SingleInstance::defaultLockPath();
    path.chop(int(QStringLiteral(".lock").size()));
    return path + QStringLiteral(".bell");
}

} // namespace dorvel
