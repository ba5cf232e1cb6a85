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
        bool canArm;
        explicit Alarm(bool can) : canArm(can) {}
        bool arm(qint32) override { return canArm; }
        void disarm() override {}
    };

    test::FakeLogin1 m_login1{FAKE_LOGIN1_PATH};
    bool m_canCreate = true, m_canArm = true;

    // The wake alarm: the RTC's file at `rtc`, else a stand-in as m_canCreate and m_canArm say.
    std::unique_ptr<LogindPower> makePower(int resumeTimeoutMs = 30000, const QString& rtc = {})
    {
        LogindPower::Options o;
        o.makeWakeAlarm = [this, rtc]() -> std::unique_ptr<WakeAlarm> {
            if (!rtc.isEmpty())
                return createRtcWakeAlarm(rtc);
            return m_canCreate ? std::make_unique<Alarm>(m_canArm) : nullptr;
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

    // The RTC keeps an alarm after its file is closed: a standby until the user, after a timed
    // one the user ended early, must clear it.
    void suspendWaitsForResume()
    {
        login1("SetAutoResume", {false});
        QTemporaryDir dir;
        const QString rtc = dir.filePath("wakealarm");
        QVERIFY(test::writeFile(rtc, ""));
        auto power = makePower(30000, rtc);
        bool resumed = false;
        QTimer::singleShot(300, this, [&] {
            resumed = true;
            login1("Resume");
        });
        QCOMPARE(power->standbyWithWakeup(540), "Resumed");
        QVERIFY(resumed); // not before
        QCOMPARE(test::readFile(rtc), "+540");
        login1("SetAutoResume", {true});
        QCOMPARE(power->standbyUntilUser(), "Resumed");
        QCOMPARE(test::readFile(rtc), "0");
        power->powerOff();
        QCOMPARE(login1("Calls"),
                 (QStringList{"Suspend|false", "Suspend|false", "PowerOff|false"}));
    }

    void failuresBecomeFailureTexts_data()
    {
        QTest::addColumn<QString>("setup"); // the fake's setting
        QTest::addColumn<QString>("alarm"); // whether it can be created and armed
        QTest::addColumn<QString>("result");
        QTest::addColumn<QString>("error");
        auto row = [](const char* name, const char* setup, const char* alarm, const char* result,
                      const char* error = "") {
            QTest::addRow("%s", name)
                << QString(setup) << QString(alarm) << QString(result) << QString(error);
        };
        const char* fail = "Fail to set power state";
        row("D-Bus error", "SetFailing", "ok", fail, "org.freedesktop.DBus.Error");
        row("no resume", "SetAutoResume", "ok", fail, "no resume signal");
        // A wake alarm that cannot be armed: no suspend at all.
        row("no alarm", "", "none", "Create timer fail");
        row("not armed", "", "unarmed", "SetTimer fail");
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
