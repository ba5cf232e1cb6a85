// The logind backend and dorvel --check-power's report against the fake logind and a fake PC;
// nothing here reaches the real logind or a real RTC.

#include "fakemachine.h"
#include "fakes.h"
#include "power_logind.h"
#include "power_wakealarm.h"
#include "powerreadiness.h"

#include <QTemporaryDir>
#include <QTimer>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace dorvel;
using namespace dorvel::test;

class TestLogindPower : public QObject {
    Q_OBJECT
    FakeLogin1 m_login1{FAKE_LOGIN1_PATH};
    QTemporaryDir m_dir;

    // The RTC's wake alarm in the file `rtc`; a path that cannot be written has none.
    std::unique_ptr<LogindPower> makePower(const QString& rtc, int resumeTimeoutMs = 30000)
    {
        LogindPower::Options o;
        o.makeWakeAlarm = [rtc] { return createRtcWakeAlarm(rtc); };
        o.wakeAlarmCheck = [rtc] { return createRtcWakeAlarm(rtc) ? "" : "no alarm here"; };
        o.resumeTimeoutMs = resumeTimeoutMs;
        const QDBusConnection bus = QDBusConnection::sessionBus();
        return std::make_unique<LogindPower>(bus, bus, o);
    }

private Q_SLOTS:
    void init() { QVERIFY(m_login1.restart()); }

    void checks()
    {
        auto power = makePower("/nonexistent/wakealarm");
        auto failed = [&](PowerRequest request) {
            QStringList got;
            for (const PowerCheck& c : power->failedChecks(request))
                got.append(c.name + '|' + c.reason);
            return got.join(';');
        };
        QCOMPARE(failed(PowerRequest::PowerOff), ""); // only a timed standby needs the alarm
        QCOMPARE(failed(PowerRequest::TimedStandby), "WakeAlarm|no alarm here");
        login1("SetAnswer", {"CanPowerOff", "challenge"}); // polkit would ask; we never ask
        QCOMPARE(failed(PowerRequest::PowerOff), "CanPowerOff|challenge");
        login1("SetFailing", {"CanSuspend"});
        QCOMPARE(failed(PowerRequest::Standby), "CanSuspend|org.freedesktop.DBus.Error."
                                                "AccessDenied: Permission denied by the test");
    }

    // The RTC alarm is cleared first, since the kernel refuses a new one while one is set, then
    // set in seconds from now. It outlives its file, unlike a timerfd: a standby until the
    // user, after a timed one the user ended early, must clear it.
    void suspendWaitsForResume()
    {
        login1("SetAutoResume", {false});
        QTemporaryDir dir;
        const QByteArray rtc = QFile::encodeName(dir.filePath("wakealarm"));
        // A FIFO keeps every write, where a file keeps the last; held open here, it never blocks.
        QCOMPARE(::mkfifo(rtc.constData(), 0600), 0);
        const int fd = ::open(rtc.constData(), O_RDWR | O_NONBLOCK);
        QVERIFY(fd >= 0);
        auto written = [fd] {
            char buf[64];
            return QByteArray(buf, int(std::max<ssize_t>(::read(fd, buf, sizeof buf), 0)));
        };
        auto power = makePower(QFile::decodeName(rtc));
        bool resumed = false;
        QTimer::singleShot(300, this, [&] {
            resumed = true;
            login1("Resume");
        });
        QCOMPARE(power->standbyWithWakeup(540), "Resumed");
        QVERIFY(resumed); // not before
        QCOMPARE(written(), "0+540");
        login1("SetAutoResume", {true});
        QCOMPARE(power->standbyUntilUser(), "Resumed");
        QCOMPARE(written(), "0");
        ::close(fd);
        power->powerOff();
        QCOMPARE(login1("Calls"),
                 (QStringList{"Suspend|false", "Suspend|false", "PowerOff|false"}));
    }

    void failuresBecomeFailureTexts_data()
    {
        QTest::addColumn<QString>("setup"); // the fake's setting
        QTest::addColumn<QString>("alarm"); // the wake alarm's file
        QTest::addColumn<QString>("result");
        QTest::addColumn<QString>("error");
        auto row = [](const char* name, const char* setup, const char* alarm, const char* result,
                      const char* error = "") {
            QTest::addRow("%s", name)
                << QString(setup) << QString(alarm) << QString(result) << QString(error);
        };
        const char* fail = "Fail to set power state";
        row("D-Bus error", "SetFailing", "wakealarm", fail, "org.freedesktop.DBus.Error");
        row("no resume", "SetAutoResume", "wakealarm", fail, "no resume signal");
        // A wake alarm that cannot be armed: no suspend at all.
        row("no alarm", "", "/nonexistent/wakealarm", "Create timer fail");
        row("not armed", "", ".", "SetTimer fail"); // a folder: writable, but no file
    }
    void failuresBecomeFailureTexts()
    {
        QFETCH(QString, setup);
        QFETCH(QString, alarm);
        QFETCH(QString, error);
        if (!setup.isEmpty())
            login1(setup, {setup == "SetFailing" ? QVariant("Suspend") : QVariant(false)});
        QVERIFY(writeFile(m_dir.filePath("wakealarm"), ""));
        auto power = makePower(m_dir.filePath(alarm), 300);
        QCOMPARE(power->standbyWithWakeup(0), "Bad time value");
        QTEST(power->standbyWithWakeup(110), "result");
        QCOMPARE(power->lastError().left(error.size()), error);
        QCOMPARE(login1("Calls").size(), setup.isEmpty() ? 0 : 1);
    }

    void inhibitorHeldAndReleased()
    {
        auto power = makePower("/nonexistent/wakealarm");
        power->setSystemRequired(true);
        power->setSystemRequired(true); // every tick: still one lock
        QCOMPARE(login1("Inhibitors"), QStringList{"held"});
        const QString why = "Dorvel|Recording, or standby between recordings";
        QCOMPARE(login1("Calls"), (QStringList{"Inhibit|idle:sleep|" + why + "|block",
                                               "ScreenSaver.Inhibit|" + why}));
        power->setSystemRequired(false);
        QCOMPARE(login1("Inhibitors"), QStringList{"released"});
        QCOMPARE(login1("Calls").last(), "ScreenSaver.UnInhibit|42");
        power->setSystemRequired(true); // a new standby mode, a new lock
        power.reset();                  // and the end of the program releases it
        QCOMPARE(login1("Inhibitors"), (QStringList{"released", "released"}));
    }

    void readinessReport_data()
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
    void readinessReport()
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

        MemorySettingsStore store;
        store.save("Nocturo", "StartUp", "ByteOnOff", has("tool-not-installed") ? "0" : "1");
        ReadinessInputs in;
        in.root = root;
        in.programFolder = program;
        in.configHome = config;
        in.userName = me;
        in.systemBus = has("no-logind")
                           ? QDBusConnection::connectToBus("unix:path=/nonexistent/bus", "none")
                           : QDBusConnection::sessionBus();
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

QTEST_GUILESS_MAIN(TestLogindPower)
#include "tst_logindpower.moc"
