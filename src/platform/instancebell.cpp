#include "instancebell.h"

#include "system.h"

#include <QLocalServer>
#include <QLocalSocket>

namespace dorvel {

InstanceBell::InstanceBell(const QString& socketPath, QObject* parent)
    : QObject(parent), m_path(socketPath), m_server(new QLocalServer(this))
{
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* s = m_server->nextPendingConnection()) {
            s->disconnectFromServer();
            s->deleteLater();
            Q_EMIT rung();
        }
    });
}

InstanceBell::~InstanceBell() = default;

bool InstanceBell::listen()
{
    QLocalServer::removeServer(m_path);
    return m_server->listen(m_path);
}

bool InstanceBell::ring(const QString& socketPath)
{
    QLocalSocket s;
    s.connectToServer(socketPath);
    // Short: a running instance answers at once, and a second start must not hang.
    const bool heard = s.waitForConnected(2000);
    s.abort();
    return heard;
}

QString InstanceBell::defaultPath()
{
    QString path = SingleInstance::defaultLockPath();
    path.chop(int(QStringLiteral(".lock").size()));
    return path + QStringLiteral(".bell");
}

} // namespace dorvel
