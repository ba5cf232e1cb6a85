// The readiness check against a fake PC: a folder for /sys, /dev and /etc, the fake logind on
// the private bus, a scripted desktop settings tool. One PC that is ready, then one change at a
// time: the report names what is wrong and how to fix it, and only a PC that is ready passes.

#include "fakes.h"
#include "powerreadiness.h"

#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace dorvel;
using State = ReadinessItem::State;

namespace {

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QString word(State s)
{
    return s == State::Ok        ? "ok"
           : s == State::Problem ? "problem"
           : s == State::Unknown ? "unknown"
                                 : "note";
}

} // namespace

class TestPowerReadiness : public QObject {
    Q_OBJECT
    QProcess m_fake;

    void login1(const QString& method, const QVariantList& args)
    {
        QDBusMessage m =
            QDBusMessage::createMethodCall("org.freedesktop.login1", "/org/freedesktop/login1",
                                           "org.freedesktop.login1.Manager", method);
        m.setArguments(args);
        QDBusConnection::sessionBus().call(m);
    }

private Q_SLOTS:
    void init()
    {
        QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
        m_fake.kill();
        m_fake.waitForFinished();
        QTRY_VERIFY(!bus->isServiceRegistered("org.freedesktop.login1"));
        m_fake.start(FAKE_LOGIN1_PATH, {});
        QTRY_VERIFY_WITH_TIMEOUT(bus->isServiceRegistered("org.freedesktop.login1"), 10000);
    }
    void cleanupTestCase() { m_fake.kill(); }

    void report_data()
    {
        QTest::addColumn<QString>("change"); // one change to the PC that is ready
        QTest::addColumn<QString>("item");   // the start of the item's name
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("says"); // part of what was found, or of the fix
        QTest::addColumn<bool>("ready");

        QTest::newRow("ready") << ""
                               << ""
                               << "ok"
                               << "" << true;
        QTest::newRow("no RTC") << "no-rtc"
                                << "RTC with"
                                << "problem"
                                << "does not exist" << false;
        QTest::newRow("alarm not writable") << "alarm-unwritable"
                                            << "Wake alarm writable"
                                            << "problem"
                                            << "usermod -aG wakealarm" << false;
        // Most PCs let only root read the kernel log: said so, and no reason to fail.
        QTest::newRow("range unknown") << "no-kmsg"
                                       << "RTC alarm range"
                                       << "unknown"
                                       << "cannot be read" << true;
        QTest::newRow("range a day") << "day-rtc"
                                     << "RTC alarm range"
                                     << "note"
                                     << "only up to one day" << true;
        QTest::newRow("RTC without alarms") << "no-alarms"
                                            << "RTC alarm range"
                                            << "problem"
                                            << "no alarm" << false;
        QTest::newRow("power-off asks for a password") << "poweroff-challenge"
                                                       << "logind CanPowerOff"
                                                       << "problem"
                                                       << "ask for a password" << false;
        QTest::newRow("another user logged in") << "poweroff-challenge+bob"
                                                << "logind CanPowerOff"
                                                << "problem"
                                                << "user bob is logged in too" << false;
        QTest::newRow("suspend blocked by an update")
            << "suspend-no+apt"
            << "logind CanSuspend"
            << "problem"
            << "\"apt\" blocks it (package update)" << false;
        QTest::newRow("logind absent") << "no-logind"
                                       << "logind Can"
                                       << "problem"
                                       << "does not answer" << false;
        QTest::newRow("tool missing") << "no-tool"
                                      << "Wake-up tool"
                                      << "problem"
                                      << "missing" << false;
        QTest::newRow("tool not installed") << "tool-not-installed"
                                            << "Wake-up tool"
                                            << "problem"
                                            << "Nocturo.exe\" --install" << false;
        QTest::newRow("no autostart entry yet") << "no-autostart"
                                                << "Autostart"
                                                << "note"
                                                << "not there yet" << true;
        QTest::newRow("autostart entry of another program") << "foreign-autostart"
                                                            << "Autostart"
                                                            << "problem"
                                                            << "does not start dorvel" << false;
        QTest::newRow("gdm3 without automatic login") << "gdm-off"
                                                      << "Automatic login"
                                                      << "problem"
                                                      << "no automatic login: gdm3" << false;
        QTest::newRow("lightdm logs in someone else") << "lightdm-bob"
                                                      << "Automatic login"
                                                      << "problem"
                                                      << "not for" << false;
        QTest::newRow("lightdm logs us in") << "lightdm-me"
                                            << "Automatic login"
                                            << "ok"
                                            << "lightdm logs in" << true;
        QTest::newRow("sddm logs us in") << "sddm-me"
                                         << "Automatic login"
                                         << "ok"
                                         << "sddm logs in" << true;
        QTest::newRow("console autologin") << "getty-me"
                                           << "Automatic login"
                                           << "ok"
                                           << "getty logs in" << true;
        QTest::newRow("no display manager known") << "no-dm"
                                                  << "Automatic login"
                                                  << "unknown"
                                                  << "cannot be told" << false;
        QTest::newRow("GNOME suspends when idle") << "gnome-suspend"
                                                  << "Desktop idle suspend"
                                                  << "note"
                                                  << "after 20 min" << true;
        QTest::newRow("Xfce sleeps when idle") << "xfce-30"
                                               << "Desktop idle suspend"
                                               << "note"
                                               << "after 30 min" << true;
        QTest::newRow("KDE suspends when idle") << "kde-15"
                                                << "Desktop idle suspend"
                                                << "note"
                                                << "after 15 min" << true;
        QTest::newRow("no desktop settings") << "no-desktop"
                                             << "Desktop idle suspend"
                                             << "unknown"
                                             << "cannot be read" << true;
    }
    void report()
    {
        QFETCH(QString, change);
        QFETCH(QString, item);
        QFETCH(QString, state);
        QFETCH(QString, says);
        QFETCH(bool, ready);
        const QStringList c = change.split('+', Qt::SkipEmptyParts);
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        const QString root = tmp.filePath("root"), program = tmp.filePath("opt/dorvel"),
                      config = tmp.filePath("config");
        const QString me = "viewer";

        ReadinessInputs in;
        in.root = root;
        in.programFolder = program;
        in.configHome = config;
        in.userName = me;
        in.systemBus = c.contains("no-logind")
                           ? QDBusConnection::connectToBus("unix:path=/nonexistent/bus", "none")
                           : QDBusConnection::sessionBus();
        test::MemorySettingsStore store;
        store.save("Nocturo", "StartUp", "ByteOnOff", c.contains("tool-not-installed") ? "0" : "1");
        in.store = &store;

        const QString alarm = root + "/sys/class/rtc/rtc0/wakealarm";
        if (c.contains("alarm-unwritable"))
            QVERIFY(QDir().mkpath(QFileInfo(alarm).path()) &&
                    QFile::link(root + "/gone/wakealarm", alarm));
        else if (!c.contains("no-rtc"))
            QVERIFY(writeFile(alarm, ""));
        const QByteArray kernel = c.contains("day-rtc")     ? "alarms up to one day, y3k"
                                  : c.contains("no-alarms") ? "no alarms, 114 bytes nvram"
                                                            : "alarms up to one month, y3k";
        if (!c.contains("no-kmsg"))
            QVERIFY(writeFile(root + "/dev/kmsg", "6,1,2,-;rtc_cmos 00:00: " + kernel + "\n"));
        if (!c.contains("no-tool")) {
            QVERIFY(writeFile(program + "/Nocturo.exe", "#!/bin/sh\n"));
            QFile::setPermissions(program + "/Nocturo.exe", QFile::ReadOwner | QFile::ExeOwner);
        }
        if (!c.contains("no-autostart"))
            QVERIFY(
                writeFile(config + "/autostart/Dorvel.desktop",
                          "[Desktop Entry]\nType=Application\nExec=" +
                              (c.contains("foreign-autostart") ? QByteArray("/usr/bin/other")
                                                               : program.toUtf8() + "/dorvel min") +
                              "\n"));
        const bool otherDm = c.contains("lightdm-bob") || c.contains("lightdm-me") ||
                             c.contains("sddm-me") || c.contains("getty-me") || c.contains("no-dm");
        if (!otherDm)
            QVERIFY(writeFile(root + "/etc/gdm3/daemon.conf",
                              "# GDM configuration\n[daemon]\nAutomaticLoginEnable = " +
                                  QByteArray(c.contains("gdm-off") ? "false" : "True") +
                                  "\nAutomaticLogin = " + me.toUtf8() + "\n[security]\n"));
        if (c.contains("lightdm-bob") || c.contains("lightdm-me")) {
            QVERIFY(writeFile(root + "/etc/lightdm/lightdm.conf", "[Seat:*]\n#autologin-user=\n"));
            QVERIFY(writeFile(root + "/etc/lightdm/lightdm.conf.d/50-auto.conf",
                              "[Seat:*]\nautologin-user=" +
                                  QByteArray(c.contains("lightdm-me") ? me.toUtf8() : "bob") +
                                  "\n"));
        }
        if (c.contains("sddm-me"))
            QVERIFY(writeFile(root + "/etc/sddm.conf.d/autologin.conf",
                              "[Autologin]\nUser=" + me.toUtf8() + "\nSession=plasma\n"));
        if (c.contains("getty-me"))
            QVERIFY(writeFile(root + "/etc/systemd/system/getty@tty1.service.d/override.conf",
                              "[Service]\nExecStart=\nExecStart=-/sbin/agetty --autologin " +
                                  me.toUtf8() + " --noclear %I $TERM\n"));
        if (c.contains("kde-15"))
            QVERIFY(writeFile(config + "/powermanagementprofilesrc",
                              "[AC][SuspendSession]\nidleTime=900000\nsuspendType=1\n"));

        in.runCommand = [&](const QString& program, const QStringList& args) -> QString {
            const QString key = args.isEmpty() ? QString() : args.last();
            if (program == "gsettings" && !c.contains("xfce-30") && !c.contains("kde-15") &&
                !c.contains("no-desktop")) {
                if (key == "sleep-inactive-ac-type")
                    return c.contains("gnome-suspend") ? "'suspend'\n" : "'nothing'\n";
                if (key == "sleep-inactive-ac-timeout")
                    return "uint32 1200\n";
            }
            if (program == "xfconf-query" && c.contains("xfce-30"))
                return "30\n";
            return {};
        };

        if (c.contains("poweroff-challenge"))
            login1("SetAnswer", {"CanPowerOff", "challenge"});
        if (c.contains("suspend-no"))
            login1("SetAnswer", {"CanSuspend", "no"});
        if (c.contains("bob"))
            login1("SetSessions", {QStringList{"bob"}});
        if (c.contains("apt"))
            login1("SetInhibitors", {QStringList{"apt|package update"}});

        const QList<ReadinessItem> items = checkPowerReadiness(in);
        const QString report = formatReadiness(items);
        QStringList names;
        for (const ReadinessItem& i : items) {
            names << i.name;
            if (item.isEmpty() || !i.name.startsWith(item)) {
                // Everything else is as on the PC that is ready (the dependent alarm check
                // aside, when there is no RTC at all).
                if (!(c.contains("no-rtc") && i.name.startsWith("Wake alarm")))
                    QVERIFY2(i.state == State::Ok, qPrintable(report));
                continue;
            }
            QCOMPARE(word(i.state), state);
            QVERIFY2((i.detail + " fix: " + i.fix).contains(says), qPrintable(report));
            if (i.state != State::Ok)
                QVERIFY2(!i.fix.isEmpty() || i.name.startsWith("Wake alarm"), qPrintable(report));
        }
        QCOMPARE(names.size(), 9);
        QCOMPARE(isReadyForUnattendedRecording(items), ready);
        QVERIFY2(report.endsWith(ready ? "Ready: yes.\n" : "put right first.\n"),
                 qPrintable(report));
    }
};

QTEST_GUILESS_MAIN(TestPowerReadiness)
#include "tst_powerreadiness.moc"
