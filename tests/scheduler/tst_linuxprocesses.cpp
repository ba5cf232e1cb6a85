#include "linux_processes.h"
#include "viewerprocess.h"

#include <QtTest>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using namespace dorvel;

namespace {

// Waits for what a separate process brings about; the caller's check reports a failure.
template <typename F> bool eventually(F&& f)
{
    for (int i = 0; i < 500 && !f(); ++i)
        QThread::msleep(10);
    return f();
}

QString linkOf(qint64 pid, const char* what)
{
    return QFile::symLinkTarget(QStringLiteral("/proc/%1/%2").arg(pid).arg(what));
}

// Cleans up after a test that failed with a process still running.
struct Reaper {
    qint64 pid;
    ~Reaper() { ::kill(pid_t(pid), SIGKILL); }
};

} // namespace

class TestLinuxProcesses : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The pid is the program itself, in its working folder, holding none of our pipes; a
    // close request ends it and its pid is no longer listed.
    void startListAndClose()
    {
        QTemporaryDir dir;
        LinuxProcessTable table;
        QString error;
        const QString exe = dir.filePath("sl");
        QVERIFY(QFile::copy(QStandardPaths::findExecutable("sleep"), exe));
        const auto started = LinuxProcessLauncher().start(exe, {"30"}, dir.path(), &error);
        QVERIFY2(started, qPrintable(error));
        Reaper reaper{started->pid};
        QVERIFY(QFile::remove(exe)); // replaced on disk while it runs: still listed by its path
        QCOMPARE(table.process(started->pid).value_or(ProcessInfo{}).exePath,
                 QFileInfo(dir.path()).canonicalFilePath() + "/sl");
        QCOMPARE(linkOf(started->pid, "cwd"), QFileInfo(dir.path()).canonicalFilePath());
        for (const char* fd : {"fd/0", "fd/1", "fd/2"})
            QCOMPARE(linkOf(started->pid, fd), QStringLiteral("/dev/null"));
        QVERIFY(started->startTime != 0);
        for (int reading = 0; reading < 2; ++reading) { // the second reuses known start times
            int listed = 0;
            for (const ProcessInfo& p : table.processes())
                listed += p.pid == started->pid && p.startTime == started->startTime;
            QCOMPARE(listed, 1);
        }
        QVERIFY(table.requestClose(started->pid, 500));
        QVERIFY(!table.process(started->pid));
        for (qint64 pid : {qint64(0), qint64(-1), qint64(1) << 40})
            QVERIFY(!table.process(pid) && !table.requestClose(pid, 0));
    }

    // A reading that reuses what the last one learnt lists what a fresh reading lists; a
    // process that has ended but is not reaped yet is listed by neither.
    void laterReadingsAndZombies()
    {
        const pid_t zombie = fork();
        if (zombie == 0)
            _exit(0);
        Reaper reaper{zombie};
        QVERIFY(eventually([&] {
            QFile stat(QStringLiteral("/proc/%1/stat").arg(zombie));
            return stat.open(QIODevice::ReadOnly) && stat.readAll().contains(") Z ");
        }));
        LinuxProcessTable table;
        const auto pids = [](const QList<ProcessInfo>& list) {
            QSet<qint64> set;
            for (const ProcessInfo& p : list)
                set.insert(p.pid);
            return set;
        };
        const QSet<qint64> first = pids(table.processes());
        const QSet<qint64> later = pids(table.processes());
        const QSet<qint64> fresh = pids(LinuxProcessTable().processes());
        QVERIFY(first.contains(getpid()) && later.contains(getpid()));
        QVERIFY(!first.contains(zombie) && !later.contains(zombie) && !fresh.contains(zombie));
        // Alive at the first and at the fresh reading, so alive at the one between them.
        for (qint64 pid : first& fresh)
            QVERIFY2(later.contains(pid), qPrintable(QString::number(pid)));
        QCOMPARE(::waitpid(zombie, nullptr, 0), zombie);
    }

    // A viewer that is a script matches by its script; the arguments reach it untouched by a
    // shell.
    void scriptViewer()
    {
        QTemporaryDir dir;
        QFile script(dir.filePath("Orbivu.EXE"));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nprintf '%s\\n' \"$@\" > out.txt\nsleep 5\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
        LinuxProcessTable table;
        LinuxProcessLauncher launcher;
        ViewerProcess vp(table, launcher);
        const QStringList args{"/file=a b", "/channel=\"1\"", "$(touch x)"};
        QString error;
        const auto started = vp.start(script.fileName(), args, dir.path(), &error);
        QVERIFY2(started, qPrintable(error));
        Reaper reaper{started->pid};
        QStringList got;
        QVERIFY(eventually([&] {
            QFile out(dir.filePath("out.txt"));
            got =
                out.open(QIODevice::ReadOnly) ? QString(out.readAll()).split('\n') : QStringList();
            return got.size() > args.size();
        }));
        QCOMPARE(got.mid(0, args.size()), args);
        QVERIFY(!QFile::exists(dir.filePath("x")));
        if (vp.findProcessId("ORBIVU.EXE") != started->pid)
            QSKIP("another viewer process runs on this machine");
        QVERIFY(vp.isTaskRunning(started->pid, started->startTime, "Orbivu.exe"));
        QVERIFY(vp.closeViewer());
        QVERIFY(!vp.isTaskRunning(started->pid, started->startTime, "Orbivu.exe"));
    }

    // A process that ignores the request is never forced; another user's is not even asked.
    void closeRefused_data()
    {
        QTest::addColumn<bool>("otherUser");
        QTest::newRow("ignores SIGTERM") << false;
        QTest::newRow("another user's") << true;
    }
    void closeRefused()
    {
        QFETCH(bool, otherUser);
        if (otherUser && geteuid() != 0)
            QSKIP("only root can start a process as another user");
        QTemporaryDir dir;
        QVERIFY(QFile::setPermissions(dir.path(), QFileDevice::Permissions(0x7777)));
        QProcess p;
        p.setWorkingDirectory(dir.path());
        if (otherUser)
            p.setChildProcessModifier([] {
                if (setgid(65534) != 0 || setuid(65534) != 0)
                    _exit(99);
            });
        // Another user's process would end on the request: it must not get one.
        p.start("/bin/sh",
                {"-c", otherUser ? ": > trap; exec sleep 30"
                                 : "trap '' TERM; : > trap; while :; do sleep 0.05; done"});
        QVERIFY(p.waitForStarted());
        Reaper reaper{p.processId()};
        QVERIFY(eventually([&] { return QFile::exists(dir.filePath("trap")); }));
        LinuxProcessTable table;
        QCOMPARE(bool(table.process(p.processId())), !otherUser);
        QVERIFY(!table.requestClose(p.processId(), 500));
        QCOMPARE(p.state(), QProcess::Running);
    }

    void launcherRefusals()
    {
        QTemporaryDir dir;
        QVERIFY(QFile(dir.filePath("plain")).open(QIODevice::WriteOnly));
        const auto refusal = [](const QString& program, const QString& workingDir) {
            QString error;
            return LinuxProcessLauncher().start(program, {}, workingDir, &error) ? "" : error;
        };
        QVERIFY(refusal(dir.filePath("nope"), {}).contains("no such file"));
        QVERIFY(refusal(dir.filePath("plain"), {}).contains("not executable"));
        QVERIFY(refusal("/bin/true", dir.filePath("gone")).contains("working folder"));
    }
};

QTEST_GUILESS_MAIN(TestLinuxProcesses)
#include "tst_linuxprocesses.moc"
