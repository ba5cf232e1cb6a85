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
        explicit Alarm(TestLogindPower& t) : t(t) {}
        bool arm(qint32 seconds) override
        {
            t.m_armed.append(seconds);
            return t.m_canArm;
        }
        TestLogindPower& t;
    };

    QProcess m_fake;
    QList<qint32> m_armed;
    int m_created = 0;
    bool m_canCreate = true, m_canArm = true;

    std::unique_ptr<LogindPower> makePower(int resumeTimeoutMs = 30000,
                                           QDBusConnection bus = QDBusConnection::sessionBus())
    {
        LogindPower::Options o;
        o.makeWakeAlarm = [this]() -> std::unique_ptr<WakeAlarm> {
            m_created += m_canCreate;
            return m_canCreate ? std::make_unique<Alarm>(*this) : nullptr;
        };
        o.wakeAlarmCheck = [this] { return m_canCreate ? QString() : "no alarm here"; };
        o.resumeTimeoutMs = resumeTimeoutMs;
        return std::make_unique<LogindPower>(bus, bus, o);
    }
    // Calls the fake; its own test methods "Calls" and "Inhibitors" answer with a list.
    QStringList control(const QString& method, const QVariantList& args = {}, bool wait = true)
    {
        QDBusMessage m =
            QDBusMessage::createMethodCall("org.freedesktop.login1", "/org/freedesktop/login1",
                                           "org.freedesktop.login1.Manager", method);
        m.setArguments(args);
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!wait) {
            bus.send(m);
            return {};
        }
        return QDBusReply<QStringList>(bus.call(m)).value();
    }

private Q_SLOTS:
    void initTestCase()
    {
        // Only ever the private bus of dbus-run-session.
        QVERIFY(!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"));
        QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
        QVERIFY2(bus && !bus->isServiceRegistered("org.freedesktop.login1"), "not a private bus");
        m_fake.setProcessChannelMode(QProcess::ForwardedChannels);
        m_fake.start(FAKE_LOGIN1_PATH, {});
        QTRY_VERIFY_WITH_TIMEOUT(bus->isServiceRegistered("org.freedesktop.login1"), 10000);
    }
    void init()
    {
        control("Reset");
        m_armed.clear();
        m_created = 0;
        m_canCreate = m_canArm = true;
    }
    void cleanupTestCase()
    {
        control("Quit");
        m_fake.waitForFinished(5000);
    }

    void checks_data()
    {
        QTest::addColumn<QString>("method");
        QTest::addColumn<QString>("answer"); // "error": a D-Bus error
        QTest::addColumn<int>("request");
        QTest::addColumn<QString>("failed");
        const int off = int(PowerRequest::PowerOff), timed = int(PowerRequest::TimedStandby);
        // polkit would ask the user; we never ask.
        QTest::newRow("challenge") << "CanPowerOff"
                                   << "challenge" << off << "CanPowerOff|challenge";
        QTest::newRow("D-Bus error")
            << "CanSuspend"
            << "error" << int(PowerRequest::Standby)
            << "CanSuspend|org.freedesktop.DBus.Error.AccessDenied: Permission denied by the test";
        // Only a timed standby needs the wake alarm.
        QTest::newRow("no alarm, power-off") << "CanPowerOff"
                                             << "yes" << off << "";
        QTest::newRow("no alarm, timed") << "CanSuspend"
                                         << "yes" << timed << "WakeAlarm|no alarm here";
    }
    void checks()
    {
        QFETCH(QString, method);
        QFETCH(QString, answer);
        QFETCH(int, request);
        control("SetAnswer", {method, answer});
        control("SetFailing", {answer == "error" ? method : ""});
        m_canCreate = false;
        QStringList got;
        for (const PowerCheck& c : makePower()->failedChecks(PowerRequest(request)))
            got.append(c.name + '|' + c.reason);
        QTEST(got.join(';'), "failed");
    }

    void nonInteractiveAndSuspendWaitsForResume()
    {
        control("SetAutoResume", {false});
        auto power = makePower();
        bool resumed = false;
        QTimer::singleShot(300, this, [&] {
            resumed = true;
            control("Resume", {}, false);
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
        const QString fail = "Fail to set power state";
        QTest::newRow("D-Bus error") << "SetFailing"
                                     << "ok" << fail << "org.freedesktop.DBus.Error.AccessDenied";
        QTest::newRow("no resume") << "SetAutoResume"
                                   << "ok" << fail << "no resume signal";
        // A wake alarm that cannot be armed: no suspend at all.
        QTest::newRow("no alarm") << ""
                                  << "none"
                                  << "Create timer fail"
                                  << "";
        QTest::newRow("not armed") << ""
                                   << "unarmed"
                                   << "SetTimer fail"
                                   << "";
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

    void oneAlarmUntilAnUntimedStandby()
    {
        auto power = makePower();
        for (int seconds : {600, 700, -1, 800, 0, 900}) { // -1: untimed, 0: the alarm closed
            if (seconds > 0)
                QCOMPARE(power->standbyWithWakeup(seconds), "Resumed");
            else if (seconds < 0)
                QCOMPARE(power->standbyUntilUser(), "Resumed");
            else
                power->closeWakeTimer();
        }
        QCOMPARE(m_created, 3);
        QCOMPARE(m_armed, (QList<qint32>{600, 700, 800, 900}));
    }

    void inhibitorHeldAndReleased()
    {
        auto power = makePower();
        power->setSystemRequired(true);
        power->setSystemRequired(true); // every tick: still one lock
        QCOMPARE(control("Inhibitors"), QStringList{"held"});
        QCOMPARE(control("Calls"),
                 (QStringList{"Inhibit|idle:sleep|Dorvel|Standby between recordings|block",
                              "ScreenSaver.Inhibit|Dorvel|Standby between recordings"}));
        power->setSystemRequired(false);
        QCOMPARE(control("Inhibitors"), QStringList{"released"});
        QCOMPARE(control("Calls").last(), "ScreenSaver.UnInhibit|42");
        power->setSystemRequired(true); // a new standby mode, a new lock
        power.reset();                  // and the end of the program releases it
        QCOMPARE(control("Inhibitors"), (QStringList{"released", "released"}));
    }

    void noBusIsReportedNotFatal()
    {
        auto power = makePower(300, QDBusConnection::connectToBus("unix:path=/nonexistent", "x"));
        const QList<PowerCheck> failed = power->failedChecks(PowerRequest::Standby);
        QVERIFY(failed.size() == 1 && failed[0].name == "CanSuspend" &&
                !failed[0].reason.isEmpty());
        QCOMPARE(power->standbyWithWakeup(110), "Fail to set power state");
        power->powerOff();
        power->setSystemRequired(true);
    }

    void rtcWakeAlarmFile()
    {
        QTemporaryDir dir;
        QString reason;
        QVERIFY(!createRtcWakeAlarm(dir.filePath("missing/wakealarm"), &reason));
        QVERIFY(!reason.isEmpty());
        QFile f(dir.filePath("wakealarm"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        auto alarm = createRtcWakeAlarm(f.fileName());
        QVERIFY(alarm && alarm->arm(1680) && !alarm->arm(0));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), "+1680"); // relative, after the clearing "0"
    }
};

QTEST_GUILESS_MAIN(TestLogindPower)
#include "tst_logindpower.moc"
