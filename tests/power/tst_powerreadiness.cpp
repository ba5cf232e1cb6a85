// The readiness check against a fake PC that is ready, then one change at a time: the report
// names what is wrong and how to fix it, and only a PC that is ready passes.

#include "fakemachine.h"
#include "fakes.h"
#include "powerreadiness.h"

#include <QTemporaryDir>

using namespace dorvel;
using namespace dorvel::test;

class TestPowerReadiness : public QObject {
    Q_OBJECT
    FakeLogin1 m_login1{FAKE_LOGIN1_PATH};

private Q_SLOTS:
    void init() { QVERIFY(m_login1.restart()); }

    void report_data()
    {
        QTest::addColumn<QString>("change"); // to the PC that is ready, joined by '+'
        QTest::addColumn<QString>("item");   // the start of the item's name
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("says"); // part of what was found, or of the fix
        QTest::addColumn<bool>("ready");
        auto row = [](const char* change, const char* item, const char* state, const char* says,
                      bool ready) {
            QTest::addRow("%s", *change ? change : "ready")
                << QString(change) << QString(item) << QString(state) << QString(says) << ready;
        };
        row("", "", "ok", "", true);
        row("no-rtc", "RTC with", "problem", "does not exist", false);
        row("alarm-unwritable", "Wake alarm writable", "problem", "usermod -aG wakealarm", false);
        // Most PCs let only root read the kernel log: said so, and no reason to fail.
        row("no-kmsg", "RTC alarm range", "unknown", "cannot be read", true);
        row("day-rtc", "RTC alarm range", "note", "only up to one day", true);
        row("no-alarms", "RTC alarm range", "problem", "no alarm", false);
        // polkit would ask for a password: as good as no, and who else is logged in is named.
        row("poweroff-challenge+bob", "logind CanPowerOff", "problem", "user bob is logged", false);
        row("suspend-no+apt", "logind CanSuspend", "problem", "\"apt\" blocks it (package update)",
            false);
        row("no-logind", "logind Can", "problem", "does not answer", false);
        row("no-tool", "Wake-up tool", "problem", "missing", false);
        row("tool-not-installed", "Wake-up tool", "problem", "Nocturo.exe\" --install", false);
        row("no-autostart", "Autostart", "note", "not there yet", true);
        row("foreign-autostart", "Autostart", "problem", "does not start dorvel", false);
        row("gdm-off", "Automatic login", "problem", "no automatic login: gdm3", false);
        row("lightdm-bob", "Automatic login", "problem", "not for", false);
        row("lightdm-me", "Automatic login", "ok", "lightdm logs in", true);
        row("sddm-me", "Automatic login", "ok", "sddm logs in", true);
        row("getty-me", "Automatic login", "ok", "getty logs in", true);
        row("no-dm", "Automatic login", "unknown", "cannot be told", false);
        row("gnome-suspend", "Desktop idle suspend", "note", "after 20 min", true);
        row("xfce-30", "Desktop idle suspend", "note", "after 30 min", true);
        row("kde-15", "Desktop idle suspend", "note", "after 15 min", true);
        row("no-desktop", "Desktop idle suspend", "unknown", "cannot be read", true);
    }
    void report()
    {
        QFETCH(QString, change);
        QFETCH(QString, item);
        QFETCH(QString, state);
        QFETCH(QString, says);
        QFETCH(bool, ready);
        auto has = [&](const char* part) { return change.contains(part); };
        QTemporaryDir tmp;
        const QString root = tmp.filePath("root"), program = tmp.filePath("opt/dorvel"),
                      config = tmp.filePath("config"), me = "viewer";

        ReadinessInputs in;
        in.root = root;
        in.programFolder = program;
        in.configHome = config;
        in.userName = me;
        in.systemBus = has("no-logind")
                           ? QDBusConnection::connectToBus("unix:path=/nonexistent/bus", "none")
                           : QDBusConnection::sessionBus();
        MemorySettingsStore store;
        store.save("Nocturo", "StartUp", "ByteOnOff", has("tool-not-installed") ? "0" : "1");
        in.store = &store;

        const QString alarm = root + "/sys/class/rtc/rtc0/wakealarm";
        if (has("alarm-unwritable"))
            QVERIFY(QDir().mkpath(QFileInfo(alarm).path()) &&
                    QFile::link(root + "/gone/wakealarm", alarm));
        else if (!has("no-rtc"))
            QVERIFY(writeFile(alarm, ""));
        const QByteArray kernel = has("day-rtc")     ? "alarms up to one day, y3k"
                                  : has("no-alarms") ? "no alarms, 114 bytes nvram"
                                                     : "alarms up to one month, y3k";
        if (!has("no-kmsg"))
            QVERIFY(writeFile(root + "/dev/kmsg", "6,1,2,-;rtc_cmos 00:00: " + kernel + "\n"));
        if (!has("no-tool")) {
            QVERIFY(writeFile(program + "/Nocturo.exe", "#!/bin/sh\n"));
            QFile::setPermissions(program + "/Nocturo.exe", QFile::ReadOwner | QFile::ExeOwner);
        }
        const QByteArray exec =
            has("foreign-autostart") ? "/usr/bin/other" : program.toUtf8() + "/dorvel min";
        if (!has("no-autostart"))
            QVERIFY(writeFile(config + "/autostart/Dorvel.desktop",
                              "[Desktop Entry]\nType=Application\nExec=" + exec + "\n"));
        const QByteArray user = has("-me") ? me.toUtf8() : "bob";
        if (!has("lightdm") && !has("sddm") && !has("getty") && !has("no-dm"))
            QVERIFY(writeFile(root + "/etc/gdm3/daemon.conf",
                              "[daemon]\nAutomaticLoginEnable = " +
                                  QByteArray(has("gdm-off") ? "false" : "True") +
                                  "\nAutomaticLogin = " + me.toUtf8() + "\n[security]\n"));
        if (has("lightdm")) {
            QVERIFY(writeFile(root + "/etc/lightdm/lightdm.conf", "[Seat:*]\n#autologin-user=\n"));
            QVERIFY(writeFile(root + "/etc/lightdm/lightdm.conf.d/50-auto.conf",
                              "[Seat:*]\nautologin-user=" + user + "\n"));
        }
        if (has("sddm"))
            QVERIFY(writeFile(root + "/etc/sddm.conf.d/autologin.conf",
                              "[Autologin]\nUser=" + user + "\nSession=plasma\n"));
        if (has("getty"))
            QVERIFY(writeFile(root + "/etc/systemd/system/getty@tty1.service.d/override.conf",
                              "[Service]\nExecStart=\nExecStart=-/sbin/agetty --autologin " + user +
                                  " --noclear %I $TERM\n"));
        if (has("kde"))
            QVERIFY(writeFile(config + "/powermanagementprofilesrc",
                              "[AC][SuspendSession]\nidleTime=900000\nsuspendType=1\n"));
        in.runCommand = [&](const QString& program, const QStringList& args) -> QString {
            const QString key = args.value(args.size() - 1);
            if (program == "gsettings" && !has("xfce") && !has("kde") && !has("no-desktop")) {
                if (key == "sleep-inactive-ac-type")
                    return has("gnome-suspend") ? "'suspend'\n" : "'nothing'\n";
                if (key == "sleep-inactive-ac-timeout")
                    return "uint32 1200\n";
            }
            return program == "xfconf-query" && has("xfce") ? "30\n" : "";
        };
        if (has("poweroff-challenge"))
            login1("SetAnswer", {"CanPowerOff", "challenge"});
        if (has("suspend-no"))
            login1("SetAnswer", {"CanSuspend", "no"});
        if (has("+bob"))
            login1("SetSessions", {QStringList{"bob"}});
        if (has("apt"))
            login1("SetInhibitors", {QStringList{"apt|package update"}});

        const QList<ReadinessItem> items = checkPowerReadiness(in);
        const QString report = formatReadiness(items);
        const char* const words[] = {"ok", "problem", "unknown", "note"};
        for (const ReadinessItem& i : items) {
            if (item.isEmpty() || !i.name.startsWith(item)) {
                // The rest is as on the ready PC (without an RTC, its alarm cannot be either).
                if (!(has("no-rtc") && i.name.startsWith("Wake alarm")))
                    QVERIFY2(i.state == ReadinessItem::State::Ok, qPrintable(report));
                continue;
            }
            QCOMPARE(words[int(i.state)], state);
            QVERIFY2((i.detail + " fix: " + i.fix).contains(says), qPrintable(report));
            if (i.state != ReadinessItem::State::Ok)
                QVERIFY2(!i.fix.isEmpty() || i.name.startsWith("Wake alarm"), qPrintable(report));
        }
        QCOMPARE(items.size(), 9);
        QCOMPARE(isReadyForUnattendedRecording(items), ready);
        QVERIFY2(report.endsWith(ready ? "Ready: yes.\n" : "put right first.\n"),
                 qPrintable(report));
    }
};

QTEST_GUILESS_MAIN(TestPowerReadiness)
#include "tst_powerreadiness.moc"
