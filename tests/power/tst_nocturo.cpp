// The wake-up tool as a process (with a system bus that leads nowhere): --dry-run, bad
// arguments, --install; and what the RTC wake alarm writes.

#include "power_wakealarm.h"
#include "waketoolcheck.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

class TestNocturo : public QObject {
    Q_OBJECT
    QTemporaryDir m_config;

private Q_SLOTS:
    void run_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("out"); // part of standard output, or error output
        auto row = [](const char* name, const QStringList& args, int exitCode, const char* out) {
            QTest::addRow("%s", name) << args << exitCode << QString(out);
        };
        const QString dry = "--dry-run", now = "--now=2026-12-05 20:00:00";
        row("as dorvel starts it", {"/wakeup=2026-12-05 20:58:00", dry, now}, 0, "\"+3480\"");
        // Real seconds across the change of the clocks.
        row("clocks go forward", {dry, "--now=2026-03-29 01:55:00", "/wakeup=2026-03-29 03:06:00"},
            0, "\"+660\"");
        // The repeated hour: the first of the two, an hour early rather than an hour late.
        row("clocks go back", {dry, "--now=2026-10-25 01:00:00", "/wakeup=2026-10-25 02:30:00"}, 0,
            "\"+5400\"");
        row("hour that does not exist", {"/wakeup=2026-03-29 02:30:00", dry, now}, 1,
            "not a valid");
        row("--now for real", {"/wakeup=2001-01-01 00:00:00", now}, 2,
            "only allowed with --dry-run");
        row("unknown argument", {"--wakeup=2001-01-01 00:00:00"}, 2, "unknown argument");
        // The presence key, one of it also after a hand-edit changed the case.
        row("install", {"--install"}, 0, "[startup]\nbyteonoff=1\n");
    }
    void run()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, out);
        QFile conf(m_config.filePath("Nocturo/Nocturo.conf"));
        if (args.contains("--install")) {
            QDir().mkpath(m_config.filePath("Nocturo"));
            QVERIFY(conf.open(QIODevice::WriteOnly | QIODevice::Truncate));
            conf.write("[startup]\nbyteonoff=0\n");
            conf.close();
        }
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/dorvel-test");
        env.insert("XDG_CONFIG_HOME", m_config.path());
        p.setProcessEnvironment(env);
        p.start(NOCTURO_PATH, args);
        QVERIFY(p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit);
        QTEST(p.exitCode(), "exitCode");
        QString got = p.exitCode() ? p.readAllStandardError() : p.readAllStandardOutput();
        if (args.contains("--install") && conf.open(QIODevice::ReadOnly))
            got = conf.readAll();
        QVERIFY2(got.contains(out), qPrintable(got));
        QCOMPARE(got.startsWith("Dry run:"), args.contains("--dry-run") && p.exitCode() == 0);
    }

    // What Dorvel makes of the tool's check: nothing when it may end, else the tool's own
    // words without its name, or why the tool could not answer.
    void checkAsDorvelSeesIt_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("problem"); // the start of it; empty: may go ahead
        const QString future =
            "/wakeup=" + QDateTime::currentDateTime().addDays(1).toString("yyyy-MM-dd HH:mm:ss");
        QTest::newRow("ready") << NOCTURO_PATH << QStringList{"--check", "--dry-run", future} << "";
        QTest::newRow("past") << NOCTURO_PATH
                              << QStringList{"--check", "--dry-run", "/wakeup=2001-01-01 00:00:00"}
                              << "the wake-up time 2001-01-01 00:00:00 is in the past";
        QTest::newRow("tool missing")
            << "/nonexistent/Nocturo.exe" << QStringList{"--check", future}
            << "/nonexistent/Nocturo.exe cannot be started";
        QTest::newRow("tool says nothing")
            << "/bin/false" << QStringList{} << "/bin/false ended with status 1 and said nothing";
    }
    void checkAsDorvelSeesIt()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, args);
        QFETCH(QString, problem);
        const QString got = dorvel::runWakeToolCheck(program, args);
        QVERIFY2(problem.isEmpty() ? got.isEmpty() : got.startsWith(problem), qPrintable(got));
    }

    // "0" first, since the kernel refuses a new alarm while one is set, then the seconds from
    // now: an absolute number would be a moment in 1970 and the PC would never wake.
    void rtcAlarmWrites_data()
    {
        QTest::addColumn<int>("seconds");
        QTest::addColumn<QByteArray>("written"); // nothing: not armed
        QTest::newRow("58 minutes") << 3480 << QByteArray("0+3480");
        QTest::newRow("now") << 0 << QByteArray();
    }
    void rtcAlarmWrites()
    {
        QFETCH(int, seconds);
        QFETCH(QByteArray, written);
        QTemporaryDir dir;
        const QByteArray path = QFile::encodeName(dir.filePath("wakealarm"));
        // A FIFO keeps every write, where a file keeps the last; held open here, it never blocks.
        QCOMPARE(::mkfifo(path.constData(), 0600), 0);
        const int fd = ::open(path.constData(), O_RDWR | O_NONBLOCK);
        QVERIFY(fd >= 0);
        const std::unique_ptr<dorvel::WakeAlarm> alarm =
            dorvel::createRtcWakeAlarm(QFile::decodeName(path));
        QVERIFY(alarm);
        QCOMPARE(alarm->arm(seconds), !written.isEmpty());
        char buf[64];
        const ssize_t n = ::read(fd, buf, sizeof buf);
        ::close(fd);
        QCOMPARE(QByteArray(buf, int(std::max<ssize_t>(n, 0))), written);
    }
};

QTEST_GUILESS_MAIN(TestNocturo)
#include "tst_nocturo.moc"
