#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

namespace dorvel {

// Lets a second start ask the running instance to show its window: the running instance
// listens on a local socket next to its lock file, the second one rings and ends.
class InstanceBell : public QObject {
    Q_OBJECT
public:
    explicit InstanceBell(const QString& socketPath = defaultPath(), QObject* parent = nullptr);
    ~InstanceBell() override;

    // For the instance that holds the lock: a socket left by a crashed one is replaced.
    bool listen();
    // For a second start: returns whether the running instance heard it.
    static bool ring(const QString& socketPath = defaultPath());
    static QString defaultPath();

Q_SIGNALS:
    void rung();

private:
    QString m_path;
    QLocalServer* m_server;
};

} // namespace dorvel
