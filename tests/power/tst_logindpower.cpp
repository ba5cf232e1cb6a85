// The logind backend against a fake org.freedesktop.login1 on the private session bus of
// dbus-run-session. Nothing here can reach the real logind or the real wake alarm.

#include "power_logind.h"
#include "power_wakealarm.h"

#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace dorvel;

class TestLogindPower : public QObject {
    Q_OBJECT
    struct Alarm final : WakeAlarm {
        std::function<bool(qint32)> onArm;
        bool arm(qint32 seconds) override { return onArm(seconds); }
        void disarm() override {}
    };

    QProcess m_fake;
    QList<qint32> m_armed;
    bool m_canCreate = true, m_canArm = true;

    std::unique_ptr<LogindPower> makePower(int resumeTimeoutMs = 30000,
                                           QDBusConnection bus = QDBusConnection::sessionBus())
    {
        LogindPower::Options o;
        o.makeWakeAlarm = [this]() -> std::unique_ptr<WakeAlarm> {
            auto alarm = std::make_unique<Alarm>();
            alarm->onArm = [this](qint32 seconds) {
                m_armed.append(seconds);
                return m_canArm;
            };
            return m_canCreate ? std::move(alarm) : nullptr;
        };
        o.wakeAlarmCheck = [this] { return m_canCreate ? QString() : "no alarm here"; };
        o.resumeTimeoutMs = resumeTimeoutMs;
        return std::make_unique<LogindPower>(bus, bus, o);
    }
    // Calls the fake; its own test methods "Calls" and "Inhibitors" answer with a list.
    QStringList control(const QString& method, const QVariantList& args = {})
    {
        QDBusMessage m =
            QDBusMessage::createMethodCall("org.freedesktop.login1", "/org/freedesktop/login1",
                                           "org.freedesktop.login1.Manager", method);
        m.setArguments(args);
        return QDBusReply<QStringList>(QDBusConnection::sessionBus().call(m)).value();
    }

private Q_SLOTS:
    void init()
    {
        // Only ever the private bus of dbus-run-session, and a fresh fake for every test.
        QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
        m_fake.kill();
        m_fake.waitForFinished();
        QTRY_VERIFY(!bus->isServiceRegistered("org.freedesktop.login1"));
        m_fake.start(FAKE_LOGIN1_PATH, {});
        QTRY_VERIFY_WITH_TIMEOUT(bus->isServiceRegistered("org.freedesktop.login1"), 10000);
        m_armed.clear();
        m_canCreate = m_canArm = true;
    }
    void cleanupTestCase() { m_fake.kill(); }

    void checks()
    {
        m_canCreate = false;
        auto power = makePower();
        auto failed = [&](PowerRequest request) {
            QStringList got;
            for (const PowerCheck& c : power->failedChecks(request))
                got.append(c.name + '|' + c.reason);
            return got.join(';');
        };
        QCOMPARE(failed(PowerRequest::PowerOff), ""); // only a timed standby needs the alarm
        QCOMPARE(failed(PowerRequest::TimedStandby), "WakeAlarm|no alarm here");
        control("SetAnswer", {"CanPowerOff", "challenge"}); // polkit would ask; we never ask
        QCOMPARE(failed(PowerRequest::PowerOff), "CanPowerOff|challenge");
        control("SetFailing", {"CanSuspend"});
        QCOMPARE(failed(PowerRequest::Standby), "CanSuspend|org.freedesktop.DBus.Error."
                                                "AccessDenied: Permission denied by the test");
    }

    void nonInteractiveAndSuspendWaitsForResume()
    {
        control("SetAutoResume", {false});
        auto power = makePower();
        bool resumed = false;
        QTimer::singleShot(300, this, [&] {
            resumed = true;
            control("Resume");
        });
        QCOMPARE(power->standbyWithWakeup(540), "Resumed");
        QVERIFY(resumed); // not before
        power->powerOff();
        QCOMPARE(control("Calls"), (QStringList{"Suspend|false", "PowerOff|false"}));
        QCOMPARE(m_armed, QList<qint32>{540});
    }

    void failuresBecomeFailureTexts_data()
    {
        // The fake's setting, whether the alarm can be created and armed, the result.
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("alarm");
        QTest::addColumn<QString>("result");
        QTest::addColumn<QString>("error");
        auto row = [](const char* name, const char* setup, const char* alarm, const char* result,
                      const char* error) {
            QTest::newRow(name) << QString(setup) << QString(alarm) << QString(result)
                                << QString(error);
        };
        const char* fail = "Fail to set power state";
        row("D-Bus error", "SetFailing", "ok", fail, "org.freedesktop.DBus.Error.AccessDenied");
        row("no resume", "SetAutoResume", "ok", fail, "no resume signal");
        // A wake alarm that cannot be armed: no suspend at all.
        row("no alarm", "", "none", "Create timer fail", "");
        row("not armed", "", "unarmed", "SetTimer fail", "");
    }
    void failuresBecomeFailureTexts()
    {
        QFETCH(QString, setup);
        QFETCH(QString, alarm);
        QFETCH(QString, error);
        if (!setup.isEmpty())
            control(setup, {setup == "SetFailing" ? QVariant("Suspend") : QVariant(false)});
        m_canCreate = alarm != "none";
        m_canArm = alarm == "ok";
        auto power = makePower(300);
        QCOMPARE(power->standbyWithWakeup(0), "Bad time value");
        QTEST(power->standbyWithWakeup(110), "result");
        QCOMPARE(power->lastError().left(error.size()), error);
        QCOMPARE(control("Calls").size(), setup.isEmpty() ? 0 : 1);
    }

    // The RTC fallback keeps an alarm after its file is closed. A standby until the user
    // follows a timed one the user ended early: nothing may wake the machine then.
    void untilUserClearsTheRtcAlarm()
    {
        QTemporaryDir dir;
        const QString rtc = dir.filePath("wakealarm");
        QFile file(rtc);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        LogindPower::Options o;
        o.makeWakeAlarm = [rtc] { return createRtcWakeAlarm(rtc); };
        o.wakeAlarmCheck = [] { return QString(); };
        LogindPower power(QDBusConnection::sessionBus(), QDBusConnection::sessionBus(), o);
        auto content = [&] {
            QFile f(rtc);
            return f.open(QIODevice::ReadOnly) ? QString(f.readAll()) : QString("unreadable");
        };
        QCOMPARE(power.standbyWithWakeup(600), "Resumed");
        QCOMPARE(content(), "+600");
        QCOMPARE(power.standbyUntilUser(), "Resumed");
        QCOMPARE(content(), "0");
        QCOMPARE(control("Calls"), (QStringList{"Suspend|false", "Suspend|false"}));
    }

    void inhibitorHeldAndReleased()
    {
        auto power = makePower();
        power->setSystemRequired(true);
        power->setSystemRequired(true); // every tick: still one lock
        QCOMPARE(control("Inhibitors"), QStringList{"held"});
        QCOMPARE(
            control("Calls"),
            (QStringList{"Inhibit|idle:sleep|Dorvel|Recording, or standby between recordings|block",
                         "ScreenSaver.Inhibit|Dorvel|Recording, or standby between recordings"}));
        power->setSystemRequired(false);
        QCOMPARE(control("Inhibitors"), QStringList{"released"});
        QCOMPARE(control("Calls").last(), "ScreenSaver.UnInhibit|42");
        power->setSystemRequired(true); // a new standby mode, a new lock
        power.reset();                  // and the end of the program releases it
        QCOMPARE(control("Inhibitors"), (QStringList{"released", "released"}));
    }
};

QTEST_GUILESS_MAIN(TestLogindPower)
#include "tst_logindpower.moc"
