#pragma once

#include <QObject>
#include <QString>

class QSocketNotifier;

namespace dorvel {

// Lets a second start ask the running instance to show its window: the running instance
// listens on a local socket next to its lock file, the second one rings and ends. A plain
// Unix socket: the network module would cost every start its libraries.
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
    void close();

    QString m_path;
    int m_fd = -1;
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace dorvel
