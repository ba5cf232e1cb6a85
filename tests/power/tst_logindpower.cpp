// The logind backend against the fake logind; nothing here reaches the real one or a real RTC.

#include "fakemachine.h"
#include "power_logind.h"
#include "power_wakealarm.h"

#include <QTemporaryDir>
#include <QTimer>

using namespace dorvel;
using test::login1;

class TestLogindPower : public QObject {
    Q_OBJECT
    struct Alarm final : WakeAlarm {
        TestLogindPower* t;
        explicit Alarm(TestLogindPower* test) : t(test) {}
        bool arm(qint32 seconds) override
        {
            t->m_armed.append(seconds);
            return t->m_canArm;
        }
        void disarm() override {}
    };

    test::FakeLogin1 m_login1{FAKE_LOGIN1_PATH};
    QList<qint32> m_armed;
    bool m_canCreate = true, m_canArm = true;

    std::unique_ptr<LogindPower> makePower(int resumeTimeoutMs = 30000)
    {
        LogindPower::Options o;
        o.makeWakeAlarm = [this]() -> std::unique_ptr<WakeAlarm> {
            return m_canCreate ? std::make_unique<Alarm>(this) : nullptr;
        };
        o.wakeAlarmCheck = [this] { return m_canCreate ? QString() : "no alarm here"; };
        o.resumeTimeoutMs = resumeTimeoutMs;
        const QDBusConnection bus = QDBusConnection::sessionBus();
        return std::make_unique<LogindPower>(bus, bus, o);
    }

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_login1.restart());
        m_armed.clear();
        m_canCreate = m_canArm = true;
    }

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
        login1("SetAnswer", {"CanPowerOff", "challenge"}); // polkit would ask; we never ask
        QCOMPARE(failed(PowerRequest::PowerOff), "CanPowerOff|challenge");
        login1("SetFailing", {"CanSuspend"});
        QCOMPARE(failed(PowerRequest::Standby), "CanSuspend|org.freedesktop.DBus.Error."
                                                "AccessDenied: Permission denied by the test");
    }

    void suspendWaitsForResume()
    {
        login1("SetAutoResume", {false});
        auto power = makePower();
        bool resumed = false;
        QTimer::singleShot(300, this, [&] {
            resumed = true;
            login1("Resume");
        });
        QCOMPARE(power->standbyWithWakeup(540), "Resumed");
        QVERIFY(resumed); // not before
        power->powerOff();
        QCOMPARE(login1("Calls"), (QStringList{"Suspend|false", "PowerOff|false"}));
        QCOMPARE(m_armed, QList<qint32>{540});
    }

    void failuresBecomeFailureTexts_data()
    {
        QTest::addColumn<QString>("setup"); // the fake's setting
        QTest::addColumn<QString>("alarm"); // whether it can be created and armed
        QTest::addColumn<QString>("result");
        QTest::addColumn<QString>("error");
        const QString fail = "Fail to set power state";
        QTest::addRow("D-Bus error") << "SetFailing"
                                     << "ok" << fail << "org.freedesktop.DBus.Error";
        QTest::addRow("no resume") << "SetAutoResume"
                                   << "ok" << fail << "no resume signal";
        // A wake alarm that cannot be armed: no suspend at all.
        QTest::addRow("no alarm") << ""
                                  << "none"
                                  << "Create timer fail"
                                  << "";
        QTest::addRow("not armed") << ""
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
            login1(setup, {setup == "SetFailing" ? QVariant("Suspend") : QVariant(false)});
        m_canCreate = alarm != "none";
        m_canArm = alarm == "ok";
        auto power = makePower(300);
        QCOMPARE(power->standbyWithWakeup(0), "Bad time value");
        QTEST(power->standbyWithWakeup(110), "result");
        QCOMPARE(power->lastError().left(error.size()), error);
        QCOMPARE(login1("Calls").size(), setup.isEmpty() ? 0 : 1);
    }

    // The RTC keeps an alarm after its file is closed: a standby until the user, after a timed
    // one the user ended early, must clear it.
    void untilUserClearsTheRtcAlarm()
    {
        QTemporaryDir dir;
        const QString rtc = dir.filePath("wakealarm");
        QVERIFY(test::writeFile(rtc, ""));
        LogindPower::Options o;
        o.makeWakeAlarm = [rtc] { return createRtcWakeAlarm(rtc); };
        o.wakeAlarmCheck = [] { return QString(); };
        LogindPower power(QDBusConnection::sessionBus(), QDBusConnection::sessionBus(), o);
        QCOMPARE(power.standbyWithWakeup(600), "Resumed");
        QCOMPARE(test::readFile(rtc), "+600");
        QCOMPARE(power.standbyUntilUser(), "Resumed");
        QCOMPARE(test::readFile(rtc), "0");
        QCOMPARE(login1("Calls"), (QStringList{"Suspend|false", "Suspend|false"}));
    }

    void inhibitorHeldAndReleased()
    {
        auto power = makePower();
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
};

QTEST_GUILESS_MAIN(TestLogindPower)
#include "tst_logindpower.moc"
