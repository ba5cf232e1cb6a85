#include "linux_processes.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <cerrno>
#include <climits>
#include <csignal>
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

std::optional<QString> readLink(int dirFd, const char* path)
{
    char buf[PATH_MAX];
    const ssize_t n = readlinkat(dirFd, path, buf, sizeof buf);
    if (n <= 0 || n >= ssize_t(sizeof buf))
        return std::nullopt;
    QByteArray target(buf, n);
    if (target.endsWith(kDeleted))
        target.chop(qsizetype(std::strlen(kDeleted)));
    return QFile::decodeName(target);
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
    // "pid (comm) state ppid ..." - comm is anything up to the LAST ")".
    const qsizetype close = statLine.lastIndexOf(')');
    if (close < 0)
        return std::nullopt;
    const QList<QByteArray> fields = statLine.mid(close + 1).simplified().split(' ');
    // fields[0] is field 3 (state), so field 22 is fields[19].
    constexpr int kStartTimeIndex = 22 - 3;
    if (fields.size() <= kStartTimeIndex)
        return std::nullopt;
    bool ok = false;
    const quint64 value = fields.at(kStartTimeIndex).toULongLong(&ok);
    if (!ok)
        return std::nullopt;
    return value;
}

bool LinuxProcessTable::isInterpreter(const QString& exe)
{
    static const QRegularExpression names(QStringLiteral(
        "^(sh|bash|dash|zsh|ksh|mksh|busybox|python[0-9.]*|perl[0-9.]*|ruby[0-9.]*|node|nodejs)$"));
    const qsizetype slash = exe.lastIndexOf(QLatin1Char('/'));
    return names.match(exe.mid(slash + 1)).hasMatch();
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

std::optional<ProcessInfo> LinuxProcessTable::read(int procFd, const char* pidName,
                                                   qint64 pid) const
{
    struct stat st {};
    if (fstatat(procFd, pidName, &st, 0) != 0 || st.st_uid != geteuid())
        return std::nullopt;

    char path[64];
    std::snprintf(path, sizeof path, "%s/exe", pidName);
    const auto exe = readLink(procFd, path); // kernel threads have none
    if (!exe)
        return std::nullopt;
    std::snprintf(path, sizeof path, "%s/stat", pidName);
    const auto stat = readSmall(procFd, path, 4096);
    if (!stat)
        return std::nullopt;
    const auto start = startTimeFromStat(*stat);
    if (!start)
        return std::nullopt;

    ProcessInfo info{pid, *start, *exe};
    if (isInterpreter(info.exePath)) {
        std::snprintf(path, sizeof path, "%s/cmdline", pidName);
        const auto cmdline = readSmall(procFd, path, 64 * 1024);
        std::snprintf(path, sizeof path, "%s/cwd", pidName);
        const QString cwd = readLink(procFd, path).value_or(QString());
        if (cmdline) {
            const QString script = scriptPath(*cmdline, cwd);
            if (!script.isEmpty())
                info.exePath = script;
        }
    }
    return info;
}

QList<ProcessInfo> LinuxProcessTable::processes() const
{
    QList<ProcessInfo> list;
    DIR* dir = opendir("/proc");
    if (!dir)
        return list;
    const int procFd = dirfd(dir);
    while (const dirent* e = readdir(dir)) {
        if (!allDigits(e->d_name))
            continue;
        if (auto info = read(procFd, e->d_name, QByteArray(e->d_name).toLongLong()))
            list.append(*info);
    }
    closedir(dir);
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
    auto info = read(procFd, name.constData(), pid);
    close(procFd);
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

    QProcess p;
    p.setProgram(path);
    p.setArguments(args);
    p.setWorkingDirectory(workingDir);
    qint64 pid = 0;
    if (!p.startDetached(&pid) || pid <= 0)
        return fail(path + QStringLiteral(": ") + p.errorString());
    // A program that has already ended keeps start time 0, which no live process has.
    return StartedProcess{pid, startTimeOf(pid)};
}

} // namespace dorvel
