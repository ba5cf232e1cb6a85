#pragma once

#include "processes.h"

#include <QHash>

#include <sys/types.h>

#include <memory>

namespace dorvel {

// The process table of /proc, limited to the processes of the user we run as: others are
// skipped silently, as are processes that vanish while they are read.
//
// The name a process is matched by is its executable (/proc/PID/exe, without the kernel's
// " (deleted)" mark). When that executable is a script interpreter (sh, bash, python3, ...),
// the program really running is the script, so the name is the script path as the script
// itself sees its argv[0]: the interpreter's first argument that is not an option. Inline
// code ("sh -c ...", "perl -e ...") has no script; the interpreter's path stands then.
class LinuxProcessTable final : public ProcessTable {
public:
    QList<ProcessInfo> processes() const override;
    std::optional<ProcessInfo> process(qint64 pid) const override;
    // SIGTERM through a pidfd, then a wait on it of at most waitMs. Never SIGKILL.
    bool requestClose(qint64 pid, int waitMs) override;

    // Field 22 of a /proc/PID/stat line (start time in clock ticks since boot). The command
    // name in field 2 may hold blanks and parentheses, so the fields are counted from the
    // last ")". Nothing when the line is malformed.
    static std::optional<quint64> startTimeFromStat(const QByteArray& statLine);
    static bool isInterpreter(const QString& exe);
    // The script an interpreter runs, from its NUL-separated command line; a relative path is
    // taken relative to cwd. Empty when the interpreter runs inline code or nothing.
    static QString scriptPath(const QByteArray& cmdline, const QString& cwd);

private:
    struct Known {
        quint64 inode = 0;
        QByteArray exeBytes;   // the link as read last time
        QString exe;           // decoded
        QString matched;       // the name it is matched by (the script path of an interpreter)
        quint64 startTime = 0; // 0: not read yet
        // A kernel thread, or a process that has ended: it never gets an executable, so it
        // is not read again while its pid keeps this inode.
        bool noExecutable = false;
    };
    using KnownProcesses = QHash<qint64, Known>;
    // listedInode: the inode the directory listing gave for the pid (0: look it up).
    // withStartTime: read the start time when it is not known yet.
    std::optional<ProcessInfo> read(int procFd, const char* pidName, qint64 pid,
                                    KnownProcesses& known, uid_t uid, quint64 listedInode,
                                    bool withStartTime) const;

    mutable KnownProcesses m_known; // the processes seen by the last reading
};

// Starts programs detached (no shell): the started program is not our child, so it neither
// becomes a zombie nor dies with us, and its standard input and output go to /dev/null.
//
// Programs start at the scheduling priority the launcher was made with, not at the one the
// program has lowered itself to since: a process inherits the nice value of the thread that
// starts it and cannot raise it again, and the viewer must not record at the lowest CPU
// priority. So the starts are made on a thread of the launcher's own, made when the launcher
// is; the caller waits for each start, so nothing else runs on it.
class LinuxProcessLauncher final : public ProcessLauncher {
public:
    LinuxProcessLauncher();
    ~LinuxProcessLauncher() override;
    LinuxProcessLauncher(const LinuxProcessLauncher&) = delete;
    LinuxProcessLauncher& operator=(const LinuxProcessLauncher&) = delete;

    // A missing program, a folder, a file without execute permission and a missing working
    // folder are refused before anything starts, each with its own reason.
    std::optional<StartedProcess> start(const QString& program, const QStringList& args,
                                        const QString& workingDir, QString* error) override;

private:
    struct Starter;
    std::unique_ptr<Starter> m_starter;
};

} // namespace dorvel
