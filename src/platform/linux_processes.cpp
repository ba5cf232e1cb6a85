#include "linux_processes.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace dorvel {

namespace {

constexpr const char* kDeleted = " (deleted)";

// Reads a small /proc file relative to dirFd; nothing when it cannot be opened (the process
// has gone, or is not ours).
std::optional<QByteArray> readSmall(int dirFd, const char* path, qsizetype limit)
{
    const int fd = openat(dirFd, path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    QByteArray data;
    char buf[1024];
    while (data.size() < limit) {
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            close(fd);
            return std::nullopt;
        }
        if (n == 0)
            break;
        data.append(buf, n);
    }
    close(fd);
    return data;
}

std::optional<QByteArray> readLinkBytes(int dirFd, const char* path)
{
    char buf[PATH_MAX];
    const ssize_t n = readlinkat(dirFd, path, buf, sizeof buf);
    if (n <= 0 || n >= ssize_t(sizeof buf)) {
        if (n >= 0)
            errno = ENAMETOOLONG; // the caller tells a missing link by errno
        return std::nullopt;
    }
    QByteArray target(buf, n);
    if (target.endsWith(kDeleted))
        target.chop(qsizetype(std::strlen(kDeleted)));
    return target;
}

std::optional<QString> readLink(int dirFd, const char* path)
{
    const auto target = readLinkBytes(dirFd, path);
    if (!target)
        return std::nullopt;
    return QFile::decodeName(*target);
}

bool allDigits(const char* s)
{
    if (*s == '\0')
        return false;
    for (; *s; ++s) {
        if (*s < '0' || *s > '9')
            return false;
    }
    return true;
}

int pidfdOpen(pid_t pid)
{
    return int(syscall(SYS_pidfd_open, pid, 0));
}

int pidfdSendSignal(int fd, int sig)
{
    return int(syscall(SYS_pidfd_send_signal, fd, sig, nullptr, 0));
}

qint64 monotonicMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

quint64 startTimeOf(qint64 pid)
{
    const QByteArray path = "/proc/" + QByteArray::number(pid) + "/stat";
    const auto stat = readSmall(AT_FDCWD, path.constData(), 4096);
    if (!stat)
        return 0;
    return LinuxProcessTable::startTimeFromStat(*stat).value_or(0);
}

} // namespace

std::optional<quint64> LinuxProcessTable::startTimeFromStat(const QByteArray& statLine)
{
    // "pid (comm) state ppid ..." - comm is anything up to the LAST ")". Field 3 (state)
    // follows it, so the start time (field 22) is 19 fields further on.
    const qsizetype close = statLine.lastIndexOf(')');
    if (close < 0)
        return std::nullopt;
    const char* p = statLine.constData() + close + 1;
    const char* const end = statLine.constData() + statLine.size();
    for (int field = 2; field < 22; ++field) {
        while (p < end && *p == ' ')
            ++p;
        if (field == 21)
            break;
        while (p < end && *p != ' ')
            ++p;
    }
    if (p >= end || *p < '0' || *p > '9')
        return std::nullopt;
    quint64 value = 0;
    for (; p < end && *p >= '0' && *p <= '9'; ++p)
        value = value * 10 + quint64(*p - '0');
    if (p < end && *p != ' ' && *p != '\n')
        return std::nullopt;
    return value;
}

bool LinuxProcessTable::isInterpreter(const QString& exe)
{
    const QStringView name = QStringView(exe).mid(exe.lastIndexOf(QLatin1Char('/')) + 1);
    // A name, optionally followed by a version such as "3.11".
    auto versioned = [name](QLatin1StringView stem) {
        if (!name.startsWith(stem))
            return false;
        for (const QChar c : name.mid(stem.size())) {
            if (!c.isDigit() && c != QLatin1Char('.'))
                return false;
        }
        return true;
    };
    for (const char* plain :
         {"sh", "bash", "dash", "zsh", "ksh", "mksh", "busybox", "node", "nodejs"}) {
        if (name == QLatin1StringView(plain))
            return true;
    }
    return versioned(QLatin1StringView("python")) || versioned(QLatin1StringView("perl")) ||
           versioned(QLatin1StringView("ruby"));
}

QString LinuxProcessTable::scriptPath(const QByteArray& cmdline, const QString& cwd)
{
    QList<QByteArray> args = cmdline.split('\0');
    if (!args.isEmpty() && args.last().isEmpty())
        args.removeLast();
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QByteArray& a = args.at(i);
        if (a == "--") {
            if (i + 1 >= args.size())
                return {};
            i += 1;
        } else if (a == "-c" || a == "-e" || a == "-m" || a == "-E" || a == "--eval") {
            return {}; // inline code or a module: there is no script file
        } else if (a.startsWith('-') || a.isEmpty()) {
            continue;
        }
        const QString script = QFile::decodeName(args.at(i));
        if (script.startsWith(QLatin1Char('/')) || cwd.isEmpty())
            return script;
        return QDir::cleanPath(cwd + QLatin1Char('/') + script);
    }
    return {};
}

std::optional<ProcessInfo> LinuxProcessTable::read(int procFd, const char* pidName, qint64 pid,
                                                   KnownProcesses& known, uid_t uid,
                                                   quint64 listedInode, bool withStartTime) const
{
    // A pid listed under the inode it had at the last reading is the process we read then,
    // one of ours: its owner need not be looked up again.
    const auto cached = m_known.constFind(pid);
    const bool listedAsBefore =
        listedInode != 0 && cached != m_known.cend() && cached->inode == listedInode;
    if (listedAsBefore && cached->noExecutable) {
        known.insert(pid, *cached);
        return std::nullopt;
    }
    quint64 inode = listedInode;
    if (!listedAsBefore) {
        struct stat st {};
        if (fstatat(procFd, pidName, &st, 0) != 0 || st.st_uid != uid)
            return std::nullopt;
        inode = quint64(st.st_ino);
    }

    char path[64];
    const size_t len = std::strlen(pidName);
    if (len + 10 > sizeof path)
        return std::nullopt;
    std::memcpy(path, pidName, len);
    auto at = [&](const char* leaf) {
        std::strcpy(path + len, leaf);
        return path;
    };
    // Kernel threads and zombies have none, and never will: remembered, as most of the
    // entries are kernel threads and each reading would try them all again.
    const auto exeBytes = readLinkBytes(procFd, at("/exe"));
    if (!exeBytes) {
        if (errno == ENOENT) {
            Known none;
            none.inode = inode;
            none.noExecutable = true;
            known.insert(pid, none);
        }
        return std::nullopt;
    }

    // The stat file is the expensive read, and only a single process's start time is ever
    // asked for, so a listing skips it. A pid keeps its start time for as long as its /proc
    // entry keeps its inode, so it is read once per process. The executable can change by
    // exec(), so it is read every time, but an interpreter's script path is only looked up
    // again when the executable changed.
    const bool same = cached != m_known.cend() && cached->inode == inode;
    Known entry;
    entry.inode = inode;
    if (same)
        entry.startTime = cached->startTime;
    if (withStartTime && entry.startTime == 0) {
        const auto stat = readSmall(procFd, at("/stat"), 4096);
        const auto parsed = stat ? startTimeFromStat(*stat) : std::nullopt;
        if (!parsed)
            return std::nullopt;
        entry.startTime = *parsed;
    }
    entry.exeBytes = *exeBytes;
    if (same && cached->exeBytes == entry.exeBytes) {
        entry.exe = cached->exe;
        entry.matched = cached->matched;
    } else {
        entry.exe = QFile::decodeName(entry.exeBytes);
        entry.matched = entry.exe;
        if (isInterpreter(entry.exe)) {
            const auto cmdline = readSmall(procFd, at("/cmdline"), 64 * 1024);
            const QString cwd = readLink(procFd, at("/cwd")).value_or(QString());
            if (cmdline) {
                const QString script = scriptPath(*cmdline, cwd);
                if (!script.isEmpty())
                    entry.matched = script;
            }
        }
    }
    known.insert(pid, entry);
    return ProcessInfo{pid, entry.startTime, entry.matched};
}

QList<ProcessInfo> LinuxProcessTable::processes() const
{
    QList<ProcessInfo> list;
    DIR* dir = opendir("/proc");
    if (!dir)
        return list;
    const int procFd = dirfd(dir);
    KnownProcesses known;
    known.reserve(m_known.size());
    list.reserve(m_known.size());
    const uid_t uid = geteuid();
    while (const dirent* e = readdir(dir)) {
        if (!allDigits(e->d_name))
            continue;
        if (auto info = read(procFd, e->d_name, std::strtoll(e->d_name, nullptr, 10), known, uid,
                             quint64(e->d_ino), false))
            list.append(*info);
    }
    closedir(dir);
    m_known.swap(known); // forgets the processes that have gone
    return list;
}

std::optional<ProcessInfo> LinuxProcessTable::process(qint64 pid) const
{
    if (pid <= 0 || pid > INT_MAX)
        return std::nullopt;
    const QByteArray name = QByteArray::number(pid);
    const int procFd = open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (procFd < 0)
        return std::nullopt;
    KnownProcesses known;
    auto info = read(procFd, name.constData(), pid, known, geteuid(), 0, true);
    close(procFd);
    if (info)
        m_known.insert(pid, known.value(pid));
    return info;
}

bool LinuxProcessTable::requestClose(qint64 pid, int waitMs)
{
    // pid 0 and negative pids would address process groups: never.
    if (pid <= 0 || pid > INT_MAX)
        return false;
    const int fd = pidfdOpen(pid_t(pid));
    if (fd < 0)
        return false;
    // The pidfd pins this very process, so the owner check and the signal cannot hit a
    // process that took over the pid in between.
    const QByteArray dir = "/proc/" + QByteArray::number(pid);
    struct stat st {};
    if (stat(dir.constData(), &st) != 0 || st.st_uid != geteuid() ||
        pidfdSendSignal(fd, SIGTERM) != 0) {
        close(fd);
        return false;
    }
    bool ended = false;
    const qint64 deadline = monotonicMs() + qMax(0, waitMs);
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        const qint64 left = deadline - monotonicMs();
        const int r = poll(&p, 1, int(qMax<qint64>(0, left)));
        if (r > 0) {
            ended = true;
            break;
        }
        if (r == 0 || (r < 0 && errno != EINTR))
            break;
    }
    close(fd);
    return ended;
}

struct LinuxProcessLauncher::Starter {
    std::mutex mutex;
    std::condition_variable wake;
    std::function<void()> job;
    bool done = false;
    bool quit = false;
    std::thread thread{[this] { run(); }};

    void run()
    {
        std::unique_lock lock(mutex);
        for (;;) {
            wake.wait(lock, [this] { return quit || job; });
            if (job) {
                job();
                job = nullptr;
                done = true;
                wake.notify_all();
            }
            if (quit)
                return;
        }
    }
    // Runs f on the starter thread and waits for it.
    void call(std::function<void()> f)
    {
        std::unique_lock lock(mutex);
        done = false;
        job = std::move(f);
        wake.notify_all();
        wake.wait(lock, [this] { return done; });
    }
    ~Starter()
    {
        {
            std::lock_guard lock(mutex);
            quit = true;
        }
        wake.notify_all();
        thread.join();
    }
};

LinuxProcessLauncher::LinuxProcessLauncher() : m_starter(std::make_unique<Starter>()) {}

LinuxProcessLauncher::~LinuxProcessLauncher() = default;

std::optional<StartedProcess> LinuxProcessLauncher::start(const QString& program,
                                                          const QStringList& args,
                                                          const QString& workingDir, QString* error)
{
    auto fail = [error](const QString& reason) -> std::optional<StartedProcess> {
        if (error)
            *error = reason;
        return std::nullopt;
    };
    if (program.isEmpty())
        return fail(QStringLiteral("no program given"));
    QString path = program;
    if (!program.contains(QLatin1Char('/'))) {
        path = QStandardPaths::findExecutable(program);
        if (path.isEmpty())
            return fail(program + QStringLiteral(": not found in PATH"));
    }
    const QFileInfo fi(path);
    if (!fi.exists())
        return fail(path + QStringLiteral(": no such file"));
    if (fi.isDir())
        return fail(path + QStringLiteral(": is a folder, not a program"));
    if (!fi.isExecutable())
        return fail(path + QStringLiteral(": not executable"));
    if (!workingDir.isEmpty() && !QFileInfo(workingDir).isDir())
        return fail(workingDir + QStringLiteral(": working folder does not exist"));

    qint64 pid = 0;
    bool started = false;
    QString reason;
    m_starter->call([&] {
        QProcess p;
        p.setProgram(path);
        p.setArguments(args);
        p.setWorkingDirectory(workingDir);
        // Detached means detached: the program must not hold our input or output open, or
        // whoever reads our output would wait for the viewer's end.
        p.setStandardInputFile(QProcess::nullDevice());
        p.setStandardOutputFile(QProcess::nullDevice());
        p.setStandardErrorFile(QProcess::nullDevice());
        started = p.startDetached(&pid);
        reason = p.errorString();
    });
    if (!started || pid <= 0)
        return fail(path + QStringLiteral(": ") + reason);
    // A program that has already ended keeps start time 0, which no live process has.
    return StartedProcess{pid, startTimeOf(pid)};
}

} // namespace dorvel
