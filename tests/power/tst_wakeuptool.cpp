// The wake-up tool for real (no --dry-run) against a fake machine: a folder that stands for
// /sys, /proc and /dev, the fake logind and a fake notification service on the private bus of
// dbus-run-session, and a stand-in "dorvel" that notes how it was started. Whatever fails, the
// user learns of it in the event log, on the desktop and on standard error, no alarm is left
// armed, and a scheduler runs again.

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace {

class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList seen; // "summary|body"
public Q_SLOTS:
    uint Notify(const QString&, uint, const QString&, const QString& summary, const QString& body,
                const QStringList&, const QVariantMap&, int)
    {
        seen << summary + '|' + body;
        return uint(seen.size());
    }
};

struct Machine {
    QString root, dorvel, state, runtime;
    QString alarmPath() const { return root + "/sys/class/rtc/rtc0/wakealarm"; }
};

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The time the RTC's alarm shows in /proc/driver/rtc once armed for `wake` (an RTC in UTC).
QByteArray procRtc(const QDateTime& wake)
{
    const QDateTime utc = wake.toUTC();
    return "rtc_time\t: 10:00:00\nrtc_date\t: 2026-12-05\nalrm_time\t: " +
           utc.toString("HH:mm:ss").toLatin1() +
           "\nalrm_date\t: " + utc.toString("yyyy-MM-dd").toLatin1() + "\nalarm_IRQ\t: yes\n";
}

} // namespace

class TestWakeUpTool : public QObject {
    Q_OBJECT
    QProcess m_fake;
    QDBusConnection m_service{QString()};
    FakeNotifications m_notifications;

    QStringList login1(const QString& method, const QVariantList& args = {})
    {
        QDBusMessage m =
            QDBusMessage::createMethodCall("org.freedesktop.login1", "/org/freedesktop/login1",
                                           "org.freedesktop.login1.Manager", method);
        m.setArguments(args);
        return QDBusReply<QStringList>(QDBusConnection::sessionBus().call(m)).value();
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_service = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "notifications");
        QVERIFY(m_service.registerObject("/org/freedesktop/Notifications", &m_notifications,
                                         QDBusConnection::ExportAllSlots));
        QVERIFY(m_service.registerService("org.freedesktop.Notifications"));
    }
    void init()
    {
        QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
        m_fake.kill();
        m_fake.waitForFinished();
        QTRY_VERIFY(!bus->isServiceRegistered("org.freedesktop.login1"));
        m_fake.start(FAKE_LOGIN1_PATH, {});
        QTRY_VERIFY_WITH_TIMEOUT(bus->isServiceRegistered("org.freedesktop.login1"), 10000);
        m_notifications.seen.clear();
    }
    void cleanupTestCase() { m_fake.kill(); }

    void failurePath_data()
    {
        QTest::addColumn<QString>("machine"); // the faults, joined by '+'
        QTest::addColumn<QString>("wake");    // "soon" (2 h), "far" (30 h), "past"
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("problem"); // in standard error, the log and the notification
        QTest::addColumn<QString>("alarm");   // the wakealarm file afterwards
        QTest::addColumn<bool>("poweredOff");

        // The PC that works: armed, read back, powered off without asking, nothing restarted.
        QTest::newRow("ready") << ""
                               << "soon" << 0 << ""
                               << "+" << true;
        QTest::newRow("no RTC at all") << "no-rtc"
                                       << "soon" << 1 << "does not exist"
                                       << "" << false;
        QTest::newRow("RTC without alarm") << "no-wakealarm"
                                           << "soon" << 1 << "offers a wake alarm"
                                           << "" << false;
        QTest::newRow("alarm not writable") << "alarm-unwritable"
                                            << "soon" << 1 << "is not writable for user"
                                            << "" << false;
        QTest::newRow("RTC holds a day, wake in 30 h") << "day-rtc"
                                                       << "far" << 1 << "only up to one day ahead"
                                                       << "" << false;
        QTest::newRow("RTC holds a month, wake in 30 h") << "month-rtc"
                                                         << "far" << 0 << ""
                                                         << "+" << true;
        QTest::newRow("wake time in the past") << ""
                                               << "past" << 1 << "is in the past"
                                               << "" << false;
        // The kernel refuses the write (here: a file that cannot be opened for writing).
        QTest::newRow("RTC refuses the alarm") << "alarm-refused"
                                               << "soon" << 1 << "the RTC refused the alarm"
                                               << "" << false;
        // The kernel took the value but shows no alarm: disarmed, not trusted.
        QTest::newRow("alarm not kept") << "no-readback"
                                        << "soon" << 1 << "did not keep the alarm"
                                        << "0" << false;
        QTest::newRow("logind asks for a password") << "challenge"
                                                    << "soon" << 1 << "would ask for a password"
                                                    << "" << false;
        QTest::newRow("another user logged in") << "challenge+bob"
                                                << "soon" << 1 << "user bob is logged in too"
                                                << "" << false;
        QTest::newRow("package update holds a block inhibitor")
            << "no+apt"
            << "soon" << 1 << "\"apt\" blocks it (package update)"
            << "" << false;
        QTest::newRow("logind absent") << "no-logind"
                                       << "soon" << 1 << "logind does not answer"
                                       << "" << false;
        // Armed first: the refused power-off leaves no alarm behind.
        QTest::newRow("power-off refused") << "poweroff-fails"
                                           << "soon" << 1 << "refused to power off"
                                           << "0" << true;
        QTest::newRow("Dorvel's folder not writable: log in the state folder")
            << "dorvel-folder-gone"
            << "past" << 1 << "is in the past"
            << "" << false;
        QTest::newRow("no log anywhere") << "dorvel-folder-gone+state-unwritable"
                                         << "past" << 1 << "could not be written"
                                         << "" << false;
        QTest::newRow("started twice") << "locked"
                                       << "soon" << 3 << "already running"
                                       << "" << false;
    }
    void failurePath()
    {
        QFETCH(QString, machine);
        QFETCH(QString, wake);
        QFETCH(QString, problem);
        QFETCH(QString, alarm);
        QFETCH(bool, poweredOff);
        const QStringList faults = machine.split('+', Qt::SkipEmptyParts);
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        Machine m{tmp.filePath("root"), tmp.filePath("dorvel folder"), tmp.filePath("state"),
                  tmp.filePath("run")};
        QVERIFY(QDir().mkpath(m.runtime));
        QFile::setPermissions(m.runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        const QDateTime now = QDateTime::currentDateTime();
        const QDateTime at = wake == "far"    ? now.addSecs(30 * 3600)
                             : wake == "past" ? now.addSecs(-600)
                                              : now.addSecs(2 * 3600);
        const QString wakeText = at.toString("yyyy-MM-dd HH:mm:ss");

        if (!faults.contains("no-rtc")) {
            QVERIFY(QDir().mkpath(m.root + "/sys/class/rtc/rtc0"));
            if (faults.contains("alarm-unwritable")) // root may write anything that exists
                QVERIFY(QFile::link(m.root + "/gone/wakealarm", m.alarmPath()));
            else if (faults.contains("alarm-refused"))
                QVERIFY(QDir().mkpath(m.alarmPath()));
            else if (!faults.contains("no-wakealarm"))
                QVERIFY(writeFile(m.alarmPath(), ""));
        }
        if (!faults.contains("no-readback"))
            QVERIFY(writeFile(m.root + "/proc/driver/rtc", procRtc(at)));
        const QByteArray reach = faults.contains("day-rtc")     ? "one day"
                                 : faults.contains("month-rtc") ? "one month"
                                                                : "";
        if (!reach.isEmpty())
            QVERIFY(writeFile(m.root + "/dev/kmsg",
                              "6,512,1200,-;rtc_cmos 00:00: RTC can wake from S4\n"
                              "6,513,1201,-;rtc_cmos 00:00: alarms up to " +
                                  reach + ", y3k, 242 bytes nvram\n"));
        if (!faults.contains("dorvel-folder-gone"))
            QVERIFY(writeFile(m.dorvel + "/dorvel", "#!/bin/sh\necho \"$@\" >> \"$0.started\"\n"));
        QFile::setPermissions(m.dorvel + "/dorvel", QFile::ReadOwner | QFile::ExeOwner);
        if (faults.contains("state-unwritable"))
            QVERIFY(writeFile(m.state, "a file, not a folder"));

        if (faults.contains("challenge"))
            login1("SetAnswer", {"CanPowerOff", "challenge"});
        if (faults.contains("no"))
            login1("SetAnswer", {"CanPowerOff", "no"});
        if (faults.contains("bob"))
            login1("SetSessions", {QStringList{"bob"}});
        if (faults.contains("apt"))
            login1("SetInhibitors", {QStringList{"apt|package update"}});
        if (faults.contains("poweroff-fails"))
            login1("SetFailing", {"PowerOff"});
        std::unique_ptr<QLockFile> held;
        if (faults.contains("locked")) {
            held = std::make_unique<QLockFile>(m.runtime + "/nocturo-" +
                                               QString::number(::getuid()) + ".lock");
            QVERIFY(held->tryLock(0));
        }

        // The Dorvel that handed over has ended and left its (unheld) lock file behind.
        QVERIFY(writeFile(m.runtime + "/dorvel-" + QString::number(::getuid()) + ".lock", ""));

        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DBUS_SYSTEM_BUS_ADDRESS", faults.contains("no-logind")
                                                  ? "unix:path=/nonexistent/dorvel-test"
                                                  : env.value("DBUS_SESSION_BUS_ADDRESS"));
        env.insert("XDG_STATE_HOME", m.state);
        env.insert("XDG_RUNTIME_DIR", m.runtime);
        env.insert("NOCTURO_ROOT", m.root);
        p.setProcessEnvironment(env);
        p.start(NOCTURO_PATH, {"/wakeup=" + wakeText, "--dorvel=" + m.dorvel});
        // Events flow meanwhile: the notification service lives in this process.
        QTRY_VERIFY_WITH_TIMEOUT(p.state() == QProcess::NotRunning, 60000);
        const QString err = p.readAllStandardError();
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QFETCH(int, exitCode);
        QVERIFY2(p.exitCode() == exitCode, qPrintable(err));

        const QStringList calls = login1("Calls");
        QCOMPARE(calls.contains("PowerOff|false"), poweredOff);
        if (!faults.contains("alarm-unwritable") && !faults.contains("no-rtc") &&
            !faults.contains("no-wakealarm"))
            QVERIFY2(readFile(m.alarmPath()).startsWith(alarm.toLatin1()),
                     readFile(m.alarmPath()).constData());

        const QString started = readFile(m.dorvel + "/dorvel.started");
        const QString logFolder =
            faults.contains("dorvel-folder-gone") ? m.state + "/Dorvel" : m.dorvel;
        const QString log = readFile(logFolder + "/Dorvel.log");
        if (exitCode == 0) {
            QVERIFY2(err.isEmpty(), qPrintable(err));
            QVERIFY(log.isEmpty() && started.isEmpty() && m_notifications.seen.isEmpty());
            return;
        }
        QVERIFY2(err.contains(problem), qPrintable(err));
        // Told where the user will look: the desktop, and the event log unless it cannot be.
        QTRY_COMPARE(m_notifications.seen.size() >= 1, true);
        QVERIFY2(m_notifications.seen.join('\n').contains(problem.toHtmlEscaped()),
                 qPrintable(m_notifications.seen.join('\n')));
        if (!faults.contains("state-unwritable"))
            QVERIFY2(log.contains(QRegularExpression("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d   "
                                                     "Nocturo.*" +
                                                     QRegularExpression::escape(problem))),
                     qPrintable(log));
        // A scheduler runs again, once; a second tool leaves that to the first.
        const bool restartable = exitCode == 1 && !faults.contains("dorvel-folder-gone");
        QCOMPARE(started, restartable ? QString("min\n") : QString());
        if (faults.contains("dorvel-folder-gone"))
            QVERIFY2(err.contains("could not be started"), qPrintable(err));
    }

    // The repeated hour: the first of the two, an hour early rather than an hour late.
    void wakeInRepeatedHour_data()
    {
        QTest::addColumn<QString>("now");
        QTest::addColumn<QString>("wake");
        QTest::addColumn<QString>("seconds");
        QTest::newRow("clocks go back") << "2026-10-25 01:00:00"
                                        << "2026-10-25 02:30:00"
                                        << "+5400";
        QTest::newRow("ordinary night") << "2026-10-24 01:00:00"
                                        << "2026-10-24 02:30:00"
                                        << "+5400";
        QTest::newRow("across the change") << "2026-10-25 00:00:00"
                                           << "2026-10-25 04:00:00"
                                           << "+18000";
    }
    void wakeInRepeatedHour()
    {
        QFETCH(QString, now);
        QFETCH(QString, wake);
        QFETCH(QString, seconds);
        QProcess p;
        p.start(NOCTURO_PATH, {"--dry-run", "--now=" + now, "/wakeup=" + wake});
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 0);
        const QString out = p.readAllStandardOutput();
        QVERIFY2(out.contains("\"" + seconds + "\""), qPrintable(out));
    }
};

QTEST_GUILESS_MAIN(TestWakeUpTool)
#include "tst_wakeuptool.moc"
