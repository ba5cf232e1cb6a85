// The wake-up tool as a process: its arguments and --dry-run; for real against a fake machine
// and a stand-in "dorvel" that notes how it was started, where whatever fails reaches the user
// in the event log, on the desktop and on standard error, no alarm is left armed, and a
// scheduler runs again. And Dorvel's side: the tool's check and the notifier.

#include "fakemachine.h"
#include "linux_notifier.h"
#include "system.h"
#include "waketoolcheck.h"

#include <QDateTime>
#include <QTemporaryDir>

#include <unistd.h>

using namespace dorvel::test;

namespace {

struct Machine {
    QString root, dorvel, state, runtime;
    QString alarmPath() const { return root + "/sys/class/rtc/rtc0/wakealarm"; }
};

// The time the RTC's alarm shows in /proc/driver/rtc once armed for `wake` (an RTC in UTC).
QByteArray procRtc(const QDateTime& wake)
{
    const QDateTime utc = wake.toUTC();
    return "rtc_time\t: 10:00:00\nrtc_date\t: 2026-12-05\nalrm_time\t: " +
           utc.toString("HH:mm:ss").toLatin1() +
           "\nalrm_date\t: " + utc.toString("yyyy-MM-dd").toLatin1() + "\nalarm_IRQ\t: yes\n";
}

// The tool run to its end with `vars` ("NAME=value") set. Events flow meanwhile: the
// notification service lives in this process.
bool runTool(QProcess& p, const QStringList& args, const QStringList& vars)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& v : vars)
        env.insert(v.section('=', 0, 0), v.section('=', 1));
    p.setProcessEnvironment(env);
    p.start(NOCTURO_PATH, args);
    return QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, 60000) &&
           p.exitStatus() == QProcess::NormalExit;
}

} // namespace

class TestWakeUpTool : public QObject {
    Q_OBJECT
    FakeLogin1 m_login1{FAKE_LOGIN1_PATH};
    FakeNotifications m_notifications;
    QTemporaryDir m_config;

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_notifications.serve()); }
    void init()
    {
        QVERIFY(m_login1.restart());
        m_notifications.seen.clear();
    }

    void notifierReachesTheService()
    {
        // Servers may read the body as markup: the text stays the text.
        dorvel::DBusNotifier().notify("Dorvel: recording problem", "<b>Tom & Jerry</b>");
        QTRY_COMPARE(
            m_notifications.seen,
            QStringList{"Dorvel|Dorvel: recording problem|&lt;b&gt;Tom &amp; Jerry&lt;/b&gt;"});
    }

    void failurePath_data()
    {
        QTest::addColumn<QString>("machine"); // the faults, joined by '+'
        QTest::addColumn<QString>("wake");    // "soon" (2 h), "far" (30 h), "past"
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("problem"); // in standard error, the log and the notification
        QTest::addColumn<QString>("alarm");   // the wakealarm file afterwards
        QTest::addColumn<bool>("poweredOff");
        auto row = [](const char* name, const char* machine, const char* wake, int exitCode,
                      const char* problem, const char* alarm = "", bool poweredOff = false) {
            QTest::addRow("%s", name) << QString(machine) << QString(wake) << exitCode
                                      << QString(problem) << QString(alarm) << poweredOff;
        };
        // The PC that works: armed, read back, powered off without asking, nothing restarted.
        row("ready", "", "soon", 0, "", "+", true);
        row("RTC without alarm", "no-wakealarm", "soon", 1, "offers a wake alarm");
        row("alarm not writable", "alarm-unwritable", "soon", 1, "is not writable for user");
        row("RTC holds a day, wake in 30 h", "day-rtc", "far", 1, "only up to one day ahead");
        row("RTC holds a month, wake in 30 h", "month-rtc", "far", 0, "", "+", true);
        row("wake time in the past", "", "past", 1, "is in the past");
        // The kernel refuses the write (here: a file that cannot be opened for writing).
        row("RTC refuses the alarm", "alarm-refused", "soon", 1, "the RTC refused the alarm");
        // The kernel took the value but shows no alarm: disarmed, not trusted.
        row("alarm not kept", "no-readback", "soon", 1, "did not keep the alarm", "0");
        // logind's answers themselves are read as for dorvel --check-power.
        row("logind asks, another user logged in", "challenge+bob", "soon", 1,
            "user bob is logged in too");
        // Armed first: the refused power-off leaves no alarm behind.
        row("power-off refused", "poweroff-fails", "soon", 1, "refused to power off", "0", true);
        row("Dorvel's folder not writable: log in the state folder", "dorvel-folder-gone", "past",
            1, "is in the past");
        row("no log anywhere", "dorvel-folder-gone+state-unwritable", "past", 1,
            "could not be written");
        row("started twice", "locked", "soon", 3, "already running");
    }
    void failurePath()
    {
        QFETCH(QString, machine);
        QFETCH(QString, wake);
        QFETCH(QString, problem);
        QFETCH(QString, alarm);
        QFETCH(bool, poweredOff);
        const QStringList faults = machine.split('+', Qt::SkipEmptyParts);
        auto has = [&](const char* fault) { return faults.contains(fault); };
        QTemporaryDir tmp;
        Machine m{tmp.filePath("root"), tmp.filePath("dorvel folder"), tmp.filePath("state"),
                  tmp.filePath("run")};
        QVERIFY(QDir().mkpath(m.runtime));
        QFile::setPermissions(m.runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        const QDateTime at = QDateTime::currentDateTime().addSecs(wake == "far"    ? 30 * 3600
                                                                  : wake == "past" ? -600
                                                                                   : 2 * 3600);

        QVERIFY(QDir().mkpath(m.root + "/sys/class/rtc/rtc0"));
        if (has("alarm-unwritable")) // root may write anything that exists
            QVERIFY(QFile::link(m.root + "/gone/wakealarm", m.alarmPath()));
        else if (has("alarm-refused"))
            QVERIFY(QDir().mkpath(m.alarmPath()));
        else if (!has("no-wakealarm"))
            QVERIFY(writeFile(m.alarmPath(), ""));
        if (!has("no-readback"))
            QVERIFY(writeFile(m.root + "/proc/driver/rtc", procRtc(at)));
        const QByteArray reach = has("day-rtc") ? "one day" : has("month-rtc") ? "one month" : "";
        if (!reach.isEmpty())
            QVERIFY(writeFile(m.root + "/dev/kmsg",
                              "6,512,1200,-;rtc_cmos 00:00: RTC can wake from S4\n"
                              "6,513,1201,-;rtc_cmos 00:00: alarms up to " +
                                  reach + ", y3k, 242 bytes nvram\n"));
        if (!has("dorvel-folder-gone"))
            QVERIFY(writeFile(m.dorvel + "/dorvel", "#!/bin/sh\necho \"$@\" >> \"$0.started\"\n"));
        QFile::setPermissions(m.dorvel + "/dorvel", QFile::ReadOwner | QFile::ExeOwner);
        if (has("state-unwritable"))
            QVERIFY(writeFile(m.state, "a file, not a folder"));

        if (has("challenge"))
            login1("SetAnswer", {"CanPowerOff", "challenge"});
        if (has("bob"))
            login1("SetSessions", {QStringList{"bob"}});
        if (has("poweroff-fails"))
            login1("SetFailing", {"PowerOff"});
        std::unique_ptr<dorvel::SingleInstance> held;
        if (has("locked")) {
            held = std::make_unique<dorvel::SingleInstance>(m.runtime + "/nocturo-" +
                                                            QString::number(::getuid()) + ".lock");
            QVERIFY(held->tryAcquire());
        }

        // The Dorvel that handed over has ended and left its (unheld) lock file behind.
        QVERIFY(writeFile(m.runtime + "/dorvel-" + QString::number(::getuid()) + ".lock", ""));

        QProcess p;
        QVERIFY(
            runTool(p, {"/wakeup=" + at.toString("yyyy-MM-dd HH:mm:ss"), "--dorvel=" + m.dorvel},
                    {"DBUS_SYSTEM_BUS_ADDRESS=" + qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"),
                     "XDG_STATE_HOME=" + m.state, "XDG_RUNTIME_DIR=" + m.runtime,
                     "NOCTURO_ROOT=" + m.root}));
        const QString err = p.readAllStandardError();
        QFETCH(int, exitCode);
        QVERIFY2(p.exitCode() == exitCode, qPrintable(err));

        QCOMPARE(login1("Calls").contains("PowerOff|false"), poweredOff);
        if (!has("alarm-unwritable") && !has("no-wakealarm"))
            QVERIFY2(readFile(m.alarmPath()).startsWith(alarm.toLatin1()),
                     readFile(m.alarmPath()).constData());

        const QString started = m.dorvel + "/dorvel.started";
        const QString log =
            readFile((has("dorvel-folder-gone") ? m.state + "/Dorvel" : m.dorvel) + "/Dorvel.log");
        if (exitCode == 0) {
            QVERIFY2(err.isEmpty(), qPrintable(err));
            QVERIFY(log.isEmpty() && readFile(started).isEmpty() && m_notifications.seen.isEmpty());
            return;
        }
        QVERIFY2(err.contains(problem), qPrintable(err));
        // Told where the user will look: the desktop, and the event log unless it cannot be.
        QTRY_COMPARE(m_notifications.seen.size() >= 1, true);
        QVERIFY2(m_notifications.seen.join('\n').contains(problem.toHtmlEscaped()),
                 qPrintable(m_notifications.seen.join('\n')));
        if (!has("state-unwritable"))
            QVERIFY2(log.contains(QRegularExpression("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d   "
                                                     "Nocturo.*" +
                                                     QRegularExpression::escape(problem))),
                     qPrintable(log));
        // A scheduler runs again, once; a second tool leaves that to the first.
        const bool restartable = exitCode == 1 && !has("dorvel-folder-gone");
        // Started detached: it may write its note after the tool has ended.
        QTRY_COMPARE(readFile(started), restartable ? "min\n" : QByteArray());
        if (has("dorvel-folder-gone"))
            QVERIFY2(err.contains("could not be started"), qPrintable(err));
    }
    void toolArguments_data()
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
    void toolArguments()
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
        QVERIFY(runTool(p, args,
                        {"DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent/dorvel-test",
                         "XDG_CONFIG_HOME=" + m_config.path()}));
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
};

QTEST_GUILESS_MAIN(TestWakeUpTool)
#include "tst_wakeuptool.moc"
