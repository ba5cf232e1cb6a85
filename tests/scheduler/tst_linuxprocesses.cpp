#include "linux_processes.h"
#include "viewerprocess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

using namespace dorvel;

namespace {

// Waits for a condition that a separate process brings about; a failure is reported by the
// caller's check, not by the time it took.
template <typename F> bool eventually(F&& f)
{
    for (int i = 0; i < 500; ++i) {
        if (f())
            return true;
        QThread::msleep(10);
    }
    return f();
}

QString linkOf(qint64 pid, const char* what)
{
    return QFile::symLinkTarget(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(what)));
}

quint64 statStart(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    return LinuxProcessTable::startTimeFromStat(f.readAll()).value_or(0);
}

bool alive(qint64 pid)
{
    LinuxProcessTable t;
    return t.process(pid).has_value();
}

// Cleans up after a test that left a process running; the program itself never does this.
struct Reaper {
    QList<qint64> pids;
    ~Reaper()
    {
        for (qint64 p : pids)
            ::kill(pid_t(p), SIGKILL);
    }
};

QString copyOfSleep(const QString& dir)
{
    const QString path = dir + QStringLiteral("/Orbivu.EXE");
    QFile::copy(QStandardPaths::findExecutable(QStringLiteral("sleep")), path);
    QFile(path).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                               QFileDevice::ExeOwner);
    return path;
}

} // namespace

class TestLinuxProcesses : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void startTimeFromStat_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<qint64>("start"); // -1: malformed
        const QByteArray tail =
            " S 1 2 3 0 -1 4194560 100 0 0 0 1 2 0 0 20 0 1 0 987654 1000 200 ...\n";
        QTest::newRow("plain") << QByteArray("42 (sleep)") + tail << qint64(987654);
        QTest::newRow("blanks in the name") << QByteArray("42 (my prog)") + tail << qint64(987654);
        QTest::newRow("parentheses in the name")
            << QByteArray("42 (a) (b) 7 8)") + tail << qint64(987654);
        QTest::newRow("name of a closing parenthesis")
            << QByteArray("42 ())") + tail << qint64(987654);
        QTest::newRow("truncated") << QByteArray("42 (sleep) S 1 2 3") << qint64(-1);
        QTest::newRow("no name") << QByteArray("42 sleep S 1 2 3") + tail << qint64(-1);
        QTest::newRow("empty") << QByteArray() << qint64(-1);
        QTest::newRow("not a number")
            << QByteArray("42 (x) S 1 2 3 0 -1 4 1 0 0 0 1 2 0 0 20 0 1 0 abc 1 2") << qint64(-1);
    }
    void startTimeFromStat()
    {
        QFETCH(QByteArray, line);
        QFETCH(qint64, start);
        const auto got = LinuxProcessTable::startTimeFromStat(line);
        if (start < 0)
            QVERIFY(!got);
        else
            QCOMPARE(got, std::optional<quint64>(quint64(start)));
    }

    void scriptPath_data()
    {
        QTest::addColumn<QByteArray>("cmdline");
        QTest::addColumn<QString>("cwd");
        QTest::addColumn<QString>("script");
        QTest::newRow("shebang start")
            << QByteArray("/bin/sh\0/opt/o/Orbivu.EXE\0/close\0", 33) << "/home"
            << "/opt/o/Orbivu.EXE";
        QTest::newRow("options before the script")
            << QByteArray("python3\0-u\0-B\0run.py\0x\0", 23) << "/srv/o"
            << "/srv/o/run.py";
        QTest::newRow("relative with dots") << QByteArray("perl\0../o/Orbivu.EXE\0", 21) << "/srv/x"
                                            << "/srv/o/Orbivu.EXE";
        QTest::newRow("after --") << QByteArray("bash\0--\0-odd name\0", 19) << "/w"
                                  << "/w/-odd name";
        QTest::newRow("inline shell code")
            << QByteArray("sh\0-c\0trap '' TERM; Orbivu.EXE\0", 32) << "/"
            << "";
        QTest::newRow("inline perl code") << QByteArray("perl\0-e\0print 1\0", 17) << "/"
                                          << "";
        QTest::newRow("python module") << QByteArray("python3\0-m\0http.server\0", 24) << "/"
                                       << "";
        QTest::newRow("interactive") << QByteArray("bash\0", 5) << "/"
                                     << "";
        QTest::newRow("empty") << QByteArray() << "/"
                               << "";
    }
    void scriptPath()
    {
        QFETCH(QByteArray, cmdline);
        QFETCH(QString, cwd);
        QFETCH(QString, script);
        QCOMPARE(LinuxProcessTable::scriptPath(cmdline, cwd), script);
    }

    void isInterpreter_data()
    {
        QTest::addColumn<QString>("exe");
        QTest::addColumn<bool>("interpreter");
        QTest::newRow("dash") << "/usr/bin/dash" << true;
        QTest::newRow("python3.11") << "/usr/bin/python3.11" << true;
        QTest::newRow("perl") << "/usr/bin/perl" << true;
        QTest::newRow("sleep") << "/usr/bin/sleep" << false;
        QTest::newRow("viewer") << "/opt/o/Orbivu.EXE" << false;
        QTest::newRow("shell-like name") << "/usr/bin/shred" << false;
    }
    void isInterpreter()
    {
        QFETCH(QString, exe);
        QFETCH(bool, interpreter);
        QCOMPARE(LinuxProcessTable::isInterpreter(exe), interpreter);
    }

    void startedProgramIsListedWithItsOwnPid()
    {
        QTemporaryDir dir;
        LinuxProcessTable table;
        LinuxProcessLauncher launcher;
        QString error;
        const auto started =
            launcher.start(QStringLiteral("sleep"), {QStringLiteral("30")}, dir.path(), &error);
        QVERIFY2(started, qPrintable(error));
        Reaper reaper{{started->pid}};
        // The pid is the program itself (no shell, no intermediate), in the working folder.
        QCOMPARE(QFileInfo(linkOf(started->pid, "exe")).fileName(), QStringLiteral("sleep"));
        QCOMPARE(linkOf(started->pid, "cwd"), QFileInfo(dir.path()).canonicalFilePath());
        QCOMPARE(started->startTime, statStart(started->pid));
        QVERIFY(started->startTime != 0);
        // It holds none of our pipes open.
        for (const char* fd : {"fd/0", "fd/1", "fd/2"})
            QCOMPARE(linkOf(started->pid, fd), QStringLiteral("/dev/null"));

        const auto info = table.process(started->pid);
        QVERIFY(info);
        QCOMPARE(info->startTime, started->startTime);
        QCOMPARE(QFileInfo(info->exePath).fileName(), QStringLiteral("sleep"));
        // Later readings know the start time without reading it again; it must stay right.
        for (int reading = 0; reading < 3; ++reading) {
            int listed = 0;
            for (const ProcessInfo& p : table.processes()) {
                listed += p.pid == started->pid && p.startTime == started->startTime;
                if (p.pid == getpid())
                    QCOMPARE(p.startTime, statStart(getpid()));
            }
            QCOMPARE(listed, 1);
        }

        // A close request ends it; nothing stays listed under that pid.
        QVERIFY(table.requestClose(started->pid, 500));
        QVERIFY(eventually([&] { return !alive(started->pid); }));
    }

    void viewerCopyFoundClosedAndTellsReuseApart()
    {
        QTemporaryDir dir;
        const QString exe = copyOfSleep(dir.path());
        LinuxProcessTable table;
        LinuxProcessLauncher launcher;
        ViewerProcess vp(table, launcher);
        QString error;
        const auto started = vp.start(exe, {QStringLiteral("30")}, dir.path(), &error);
        QVERIFY2(started, qPrintable(error));
        Reaper reaper{{started->pid}};
        QVERIFY(vp.isProcessRunning(QStringLiteral("Orbivu.exe")));
        // Other viewers on this machine (other test runs) must not be asked to close.
        if (vp.findProcessId(QStringLiteral("ORBIVU.EXE")) != started->pid)
            QSKIP("another viewer process runs on this machine");
        QVERIFY(vp.isTaskRunning(started->pid, started->startTime, QStringLiteral("Orbivu.exe")));
        // The same pid with another start time is another process.
        QVERIFY(!vp.isTaskRunning(started->pid, started->startTime + 1, "Orbivu.exe"));
        QVERIFY(!vp.isTaskRunning(started->pid, started->startTime, "TMPGenc.exe"));

        // Replaced on disk while it runs (an update): still the viewer, under its old path.
        QVERIFY(QFile::remove(exe));
        const auto info = table.process(started->pid);
        QVERIFY(info);
        QCOMPARE(info->exePath, QFileInfo(dir.path()).canonicalFilePath() + "/Orbivu.EXE");
        QVERIFY(vp.isProcessRunning(QStringLiteral("Orbivu.exe")));

        QVERIFY(vp.closeViewer());
        QVERIFY(!vp.isTaskRunning(started->pid, started->startTime, QStringLiteral("Orbivu.exe")));
        QVERIFY(vp.findProcessId(QStringLiteral("Orbivu.exe")) != started->pid);
    }

    void scriptViewerMatchesByItsScript()
    {
        QTemporaryDir dir;
        const QString script = dir.filePath(QStringLiteral("Orbivu.EXE"));
        QFile f(script);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\npwd > started.txt\nprintf '%s\\n' \"$@\" >> started.txt\nsleep 5\n");
        f.close();
        f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        LinuxProcessTable table;
        LinuxProcessLauncher launcher;
        ViewerProcess vp(table, launcher);
        QString error;
        const QStringList args{"/close", "/file=a b", "/channel=\"1\"", "$(touch x)"};
        const auto started = vp.start(script, args, dir.path(), &error);
        QVERIFY2(started, qPrintable(error));
        Reaper reaper{{started->pid}};
        const QString out = dir.filePath(QStringLiteral("started.txt"));
        QVERIFY(eventually([&] {
            QFile r(out);
            return r.open(QIODevice::ReadOnly) && r.readAll().count('\n') == 5;
        }));
        QFile r(out);
        QVERIFY(r.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(r.readAll()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines, QStringList{QFileInfo(dir.path()).canonicalFilePath()} + args);
        QVERIFY(!QFile::exists(dir.filePath("x"))); // no shell saw the arguments
        QVERIFY(vp.isTaskRunning(started->pid, started->startTime, QStringLiteral("Orbivu.exe")));
        QVERIFY(table.requestClose(started->pid, 500));
    }

    void closeRequestIgnoredIsNeverForced()
    {
        LinuxProcessTable table;
        LinuxProcessLauncher launcher;
        QString error;
        const auto started = launcher.start(
            QStringLiteral("/bin/sh"),
            {QStringLiteral("-c"), QStringLiteral("trap '' TERM; while :; do sleep 0.05; done")},
            QString(), &error);
        QVERIFY2(started, qPrintable(error));
        Reaper reaper{{started->pid}};
        QVERIFY(eventually([&] { return alive(started->pid); }));
        QThread::msleep(100); // let the shell install its trap
        QVERIFY(!table.requestClose(started->pid, 500));
        QVERIFY(!table.requestClose(started->pid, 0));
        QVERIFY(alive(started->pid));
        QCOMPARE(statStart(started->pid), started->startTime);
    }

    void vanishedAndImpossiblePids()
    {
        LinuxProcessTable table;
        LinuxProcessLauncher launcher;
        QString error;
        const auto started = launcher.start(QStringLiteral("true"), {}, QString(), &error);
        QVERIFY2(started, qPrintable(error));
        QVERIFY(eventually([&] { return !alive(started->pid); }));
        // Gone, or left as a zombie that nobody reaps: no longer a process to match.
        QVERIFY(!table.process(started->pid));
        for (qint64 pid : {qint64(0), qint64(-1), qint64(-12345), qint64(1) << 40}) {
            QVERIFY(!table.process(pid));
            QVERIFY(!table.requestClose(pid, 0));
        }
    }

    void otherUsersAreSkipped()
    {
        LinuxProcessTable table;
        if (geteuid() != 0) {
            struct stat st {};
            QVERIFY(::stat("/proc/1", &st) == 0);
            if (st.st_uid == geteuid())
                QSKIP("no process of another user to look at");
            QVERIFY(!table.process(1));
            return;
        }
        // As root: a process running as "nobody" is not ours.
        QProcess other;
        other.setProgram(QStandardPaths::findExecutable(QStringLiteral("sleep")));
        other.setArguments({QStringLiteral("30")});
        other.setChildProcessModifier([] {
            if (setgid(65534) != 0 || setuid(65534) != 0)
                _exit(99);
        });
        other.start();
        QVERIFY(other.waitForStarted());
        const qint64 pid = other.processId();
        QThread::msleep(50);
        QVERIFY(other.state() == QProcess::Running);
        QVERIFY(!table.process(pid));
        for (const ProcessInfo& p : table.processes())
            QVERIFY(p.pid != pid);
        QVERIFY(!table.requestClose(pid, 0));
        QVERIFY(other.state() == QProcess::Running);
        other.kill();
        other.waitForFinished();
    }

    void launcherRefusals_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("workingDir");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing") << "@/nope/Orbivu.EXE"
                                 << ""
                                 << "no such file";
        QTest::newRow("folder") << "@/"
                                << ""
                                << "is a folder";
        QTest::newRow("not executable") << "@/plain.txt"
                                        << ""
                                        << "not executable";
        QTest::newRow("missing working folder") << "@/run.sh"
                                                << "@/gone"
                                                << "working folder";
        QTest::newRow("not in PATH") << "no-such-program-dorvel"
                                     << ""
                                     << "not found";
        QTest::newRow("empty") << ""
                               << ""
                               << "no program";
    }
    void launcherRefusals()
    {
        QFETCH(QString, program);
        QFETCH(QString, workingDir);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        QFile plain(dir.filePath("plain.txt"));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.write("#!/bin/sh\n");
        plain.close();
        QFile::copy(plain.fileName(), dir.filePath("run.sh"));
        QFile(dir.filePath("run.sh"))
            .setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        program.replace('@', dir.path());
        workingDir.replace('@', dir.path());
        LinuxProcessLauncher launcher;
        QString error;
        QVERIFY(!launcher.start(program, {}, workingDir, &error));
        QVERIFY2(error.contains(reason), qPrintable(error));
    }
};

QTEST_GUILESS_MAIN(TestLinuxProcesses)
#include "tst_linuxprocesses.moc"
