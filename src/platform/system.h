#pragma once

#include <QString>
#include <QStringList>

#include <memory>

namespace dorvel {

// The program's "command line": its arguments after the program name, joined by one blank.
// The program's own path never counts.
class CommandLine {
public:
    explicit CommandLine(const QStringList& argsWithoutProgram) : m_args(argsWithoutProgram) {}
    QString text() const { return m_args.join(QLatin1Char(' ')); }
    // Switches are case-insensitive substrings of the whole command line.
    bool hasSwitch(const QString& word) const { return text().contains(word, Qt::CaseInsensitive); }
    bool hasOption(const QString& option) const { return m_args.contains(option); }
    QString optionValue(const QString& option) const;

private:
    QStringList m_args;
};

// One running instance per user: a lock file in the runtime directory. A lock left behind
// by a crashed instance is taken over.
class SingleInstance {
public:
    explicit SingleInstance(const QString& lockPath = defaultLockPath());
    ~SingleInstance();
    // False when another instance holds the lock, or when the lock could not be made at all
    // (then problem() says why).
    bool tryAcquire();
    // Why the lock file could not be made (a folder that cannot be written); empty when the
    // lock was taken or is held by another instance.
    QString problem() const { return m_problem; }
    void release();
    static QString defaultLockPath();
    // The lock of one program per user, in the runtime folder.
    static QString lockPathFor(const QString& program);
    // Waits up to `ms` for whoever holds the lock at `path` to end; true once nobody does.
    static bool waitUntilFree(const QString& path, int ms);

private:
    int m_fd = -1; // holds the lock while open
    QString m_path;
    QString m_problem;
};

// Lowest scheduling priority for the whole process; failure is ignored.
void setIdlePriority();

// Where the event log goes: the program's folder, or $XDG_STATE_HOME/Dorvel when that
// folder cannot be written (an installed program). `create` makes the latter folder.
QString logFolderFor(const QString& appPath, bool create = true);

bool isExecutableFile(const QString& path);

} // namespace dorvel
