// The logind backend against a fake org.freedesktop.login1 on the private session bus of
// dbus-run-session. Nothing here can reach the real logind or the real wake alarm.

#include "power_logind.h"
#include "power_wakealarm.h"

#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusReply>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace dorvel;

namespace {

struct AlarmLog {
    int created = 0;
    QList<qint32> armed;
    bool canCreate = true;
    bool canArm = true;
};

class FakeAlarm final : public WakeAlarm {
public:
    explicit FakeAlarm(AlarmLog& log) : m_log(log) {}
    bool arm(qint32 seconds) override
    {
        m_log.armed.append(seconds);
        return m_log.canArm;
    }

private:
    AlarmLog& m_log;
};

} // namespace

class TestLogindPower : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanupTestCase();
    void checks_data();
    void checks();
    void wakeAlarmCheckOnlyForTimedStandby();
    void powerOffIsNonInteractive();
    void suspendReturnsOnlyAfterResume();
    void suspendWithoutResumeFails();
    void dbusErrorBecomesFailureText_data();
    void dbusErrorBecomesFailureText();
    void alarmFailuresDoNotSuspend_data();
    void alarmFailuresDoNotSuspend();
    void oneAlarmUntilAnUntimedStandby();
    void inhibitorHeldAndReleased();
    void inhibitorReleasedOnDestruction();
    void noBusIsReportedNotFatal();
    void rtcWakeAlarmFile();

private:
    std::unique_ptr<LogindPower> makePower(int resumeTimeoutMs = 30000);
    QStringList calls();

    QProcess m_fake;
    std::unique_ptr<QDBusInterface> m_control;
    AlarmLog m_alarm;
};

void TestLogindPower::initTestCase()
{
    // Only ever the private bus of dbus-run-session.
    QVERIFY2(!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"),
             "run under dbus-run-session");
    QDBusConnection bus = QDBusConnection::sessionBus();
    QVERIFY(bus.isConnected());
    QVERIFY2(!bus.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.login1")),
             "a login1 is already on this bus: not a private session");
    m_fake.setProcessChannelMode(QProcess::ForwardedChannels);
    m_fake.start(QStringLiteral(FAKE_LOGIN1_PATH), {});
    QVERIFY(m_fake.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(
        bus.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.login1")), 10000);
    m_control = std::make_unique<QDBusInterface>(QStringLiteral("org.freedesktop.login1"),
                                                 QStringLiteral("/control"),
                                                 QStringLiteral("test.dorvel.Control"), bus);
    QVERIFY(m_control->isValid());
}

void TestLogindPower::init()
{
    m_control->call(QStringLiteral("Reset"));
    m_alarm = AlarmLog{};
}

void TestLogindPower::cleanupTestCase()
{
    if (m_control)
        m_control->call(QStringLiteral("Quit"));
    m_fake.waitForFinished(5000);
}

std::unique_ptr<LogindPower> TestLogindPower::makePower(int resumeTimeoutMs)
{
    LogindPower::Options o;
    o.makeWakeAlarm = [this]() -> std::unique_ptr<WakeAlarm> {
        if (!m_alarm.canCreate)
            return nullptr;
        ++m_alarm.created;
        return std::make_unique<FakeAlarm>(m_alarm);
    };
    o.wakeAlarmCheck = [this] {
        return m_alarm.canCreate ? QString() : QStringLiteral("no alarm here");
    };
    o.resumeTimeoutMs = resumeTimeoutMs;
    const QDBusConnection bus = QDBusConnection::sessionBus();
    return std::make_unique<LogindPower>(bus, bus, o);
}

QStringList TestLogindPower::calls()
{
    const QDBusReply<QStringList> r = m_control->call(QStringLiteral("Calls"));
    return r.value();
}

void TestLogindPower::checks_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("fails");
    QTest::addColumn<int>("request");
    QTest::addColumn<QString>("failure");

    const int off = int(PowerRequest::PowerOff);
    const int standby = int(PowerRequest::Standby);
    QTest::newRow("yes") << "CanPowerOff"
                         << "yes" << false << off << "";
    QTest::newRow("challenge") << "CanPowerOff"
                               << "challenge" << false << off << "CanPowerOff|challenge";
    QTest::newRow("no") << "CanPowerOff"
                        << "no" << false << off << "CanPowerOff|no";
    QTest::newRow("na") << "CanSuspend"
                        << "na" << false << standby << "CanSuspend|na";
    QTest::newRow("suspend challenge") << "CanSuspend"
                                       << "challenge" << false << standby << "CanSuspend|challenge";
    QTest::newRow("refused")
        << "CanSuspend"
        << "yes" << true << standby
        << "CanSuspend|org.freedesktop.DBus.Error.AccessDenied: Permission denied by the test";
}

void TestLogindPower::checks()
{
    QFETCH(QString, answer);
    QFETCH(bool, fails);
    QFETCH(int, request);
    QFETCH(QString, method);
    QFETCH(QString, failure);
    m_control->call(QStringLiteral("SetAnswer"), method, answer);
    if (fails)
        m_control->call(QStringLiteral("SetFailing"), method);
    auto power = makePower();

    const QList<PowerCheck> failed = power->failedChecks(PowerRequest(request));

    QStringList got;
    for (const PowerCheck& c : failed)
        got.append(c.name + QLatin1Char('|') + c.reason);
    QCOMPARE(got, failure.isEmpty() ? QStringList{} : QStringList{failure});
}

void TestLogindPower::wakeAlarmCheckOnlyForTimedStandby()
{
    m_alarm.canCreate = false;
    auto power = makePower();
    QCOMPARE(power->failedChecks(PowerRequest::Standby).size(), 0);
    QCOMPARE(power->failedChecks(PowerRequest::PowerOff).size(), 0);
    const QList<PowerCheck> timed = power->failedChecks(PowerRequest::TimedStandby);
    QCOMPARE(timed.size(), 1);
    QCOMPARE(timed.first().name, QStringLiteral("WakeAlarm"));
    QCOMPARE(timed.first().reason, QStringLiteral("no alarm here"));
}

void TestLogindPower::powerOffIsNonInteractive()
{
    auto power = makePower();
    power->powerOff();
    QCOMPARE(calls(), QStringList{QStringLiteral("PowerOff false")});
}

void TestLogindPower::suspendReturnsOnlyAfterResume()
{
    m_control->call(QStringLiteral("SetSleepMode"), QStringLiteral("manual"));
    auto power = makePower();
    bool resumeSent = false;
    QTimer::singleShot(300, this, [&] {
        resumeSent = true;
        m_control->asyncCall(QStringLiteral("Resume"));
    });

    const QString result = power->standbyWithWakeup(540);

    QCOMPARE(result, QStringLiteral("Resumed"));
    QVERIFY(resumeSent);
    QCOMPARE(m_alarm.armed, QList<qint32>{540});
    QCOMPARE(calls(), QStringList{QStringLiteral("Suspend false")});

    // Untimed, with the fake resuming by itself.
    m_control->call(QStringLiteral("SetSleepMode"), QStringLiteral("resume"));
    QCOMPARE(power->standbyUntilUser(), QStringLiteral("Resumed"));
}

void TestLogindPower::suspendWithoutResumeFails()
{
    m_control->call(QStringLiteral("SetSleepMode"), QStringLiteral("manual"));
    auto power = makePower(300);
    QCOMPARE(power->standbyWithWakeup(110), QStringLiteral("Fail to set power state"));
    QCOMPARE(power->standbyUntilUser(), QStringLiteral("Fail to set power state"));
    QVERIFY(power->lastError().contains(QStringLiteral("resume")));
}

void TestLogindPower::dbusErrorBecomesFailureText_data()
{
    QTest::addColumn<bool>("timed");
    QTest::newRow("timed") << true;
    QTest::newRow("until user") << false;
}

void TestLogindPower::dbusErrorBecomesFailureText()
{
    QFETCH(bool, timed);
    m_control->call(QStringLiteral("SetFailing"), QStringLiteral("Suspend"));
    auto power = makePower();
    const QString result = timed ? power->standbyWithWakeup(110) : power->standbyUntilUser();
    QCOMPARE(result, QStringLiteral("Fail to set power state"));
    QVERIFY(
        power->lastError().startsWith(QStringLiteral("org.freedesktop.DBus.Error.AccessDenied")));
}

void TestLogindPower::alarmFailuresDoNotSuspend_data()
{
    QTest::addColumn<bool>("canCreate");
    QTest::addColumn<bool>("canArm");
    QTest::addColumn<qint32>("seconds");
    QTest::addColumn<QString>("result");
    QTest::addColumn<int>("created");

    QTest::newRow("zero seconds") << true << true << 0 << "Bad time value" << 0;
    QTest::newRow("no alarm") << false << true << 110 << "Create timer fail" << 0;
    QTest::newRow("not armed") << true << false << 110 << "SetTimer fail" << 1;
}

void TestLogindPower::alarmFailuresDoNotSuspend()
{
    QFETCH(bool, canCreate);
    QFETCH(bool, canArm);
    QFETCH(qint32, seconds);
    m_alarm.canCreate = canCreate;
    m_alarm.canArm = canArm;
    auto power = makePower();
    QTEST(power->standbyWithWakeup(seconds), "result");
    QTEST(m_alarm.created, "created");
    QVERIFY(!calls().contains(QStringLiteral("Suspend false")));
}

void TestLogindPower::oneAlarmUntilAnUntimedStandby()
{
    auto power = makePower();
    QCOMPARE(power->standbyWithWakeup(600), QStringLiteral("Resumed"));
    QCOMPARE(power->standbyWithWakeup(700), QStringLiteral("Resumed"));
    QCOMPARE(m_alarm.created, 1);
    QCOMPARE(m_alarm.armed, (QList<qint32>{600, 700}));

    QCOMPARE(power->standbyUntilUser(), QStringLiteral("Resumed"));
    QCOMPARE(power->standbyWithWakeup(800), QStringLiteral("Resumed"));
    QCOMPARE(m_alarm.created, 2);

    power->closeWakeTimer();
    QCOMPARE(power->standbyWithWakeup(900), QStringLiteral("Resumed"));
    QCOMPARE(m_alarm.created, 3);
}

void TestLogindPower::inhibitorHeldAndReleased()
{
    auto power = makePower();
    auto inhibitors = [&] {
        return QDBusReply<QStringList>(m_control->call(QStringLiteral("Inhibitors"))).value();
    };

    power->setSystemRequired(true);
    power->setSystemRequired(true); // every tick: still one lock
    QVERIFY(power->systemRequired());
    QCOMPARE(inhibitors(), QStringList{QStringLiteral("held")});
    QCOMPARE(
        calls(),
        (QStringList{QStringLiteral("Inhibit|idle:sleep|Dorvel|Standby between recordings|block"),
                     QStringLiteral("ScreenSaver.Inhibit|Dorvel|Standby between recordings")}));

    power->setSystemRequired(false);
    QCOMPARE(inhibitors(), QStringList{QStringLiteral("released")});
    QVERIFY(calls().contains(QStringLiteral("ScreenSaver.UnInhibit|42")));

    power->setSystemRequired(true); // a new standby mode, a new lock
    QCOMPARE(inhibitors(), (QStringList{QStringLiteral("released"), QStringLiteral("held")}));
}

void TestLogindPower::inhibitorReleasedOnDestruction()
{
    auto power = makePower();
    power->setSystemRequired(true);
    power.reset();
    QCOMPARE(QDBusReply<QStringList>(m_control->call(QStringLiteral("Inhibitors"))).value(),
             QStringList{QStringLiteral("released")});
}

void TestLogindPower::noBusIsReportedNotFatal()
{
    const QDBusConnection none = QDBusConnection::connectToBus(
        QStringLiteral("unix:path=/nonexistent/dorvel-no-bus"), QStringLiteral("dorvel-no-bus"));
    QVERIFY(!none.isConnected());
    LogindPower::Options o;
    o.makeWakeAlarm = [this]() -> std::unique_ptr<WakeAlarm> {
        return std::make_unique<FakeAlarm>(m_alarm);
    };
    o.wakeAlarmCheck = [] { return QString(); };
    LogindPower power(none, none, o);

    const QList<PowerCheck> failed = power.failedChecks(PowerRequest::TimedStandby);
    QCOMPARE(failed.size(), 1);
    QCOMPARE(failed.first().name, QStringLiteral("CanSuspend"));
    QVERIFY(!failed.first().reason.isEmpty());
    QCOMPARE(power.standbyWithWakeup(110), QStringLiteral("Fail to set power state"));
    QCOMPARE(power.standbyUntilUser(), QStringLiteral("Fail to set power state"));
    power.powerOff();
    power.setSystemRequired(true);
    power.setSystemRequired(false);
}

void TestLogindPower::rtcWakeAlarmFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("wakealarm"));
    QString reason;
    QVERIFY(!createRtcWakeAlarm(path + QStringLiteral("/missing"), &reason));
    QVERIFY(!reason.isEmpty());

    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    auto alarm = createRtcWakeAlarm(path);
    QVERIFY(alarm);
    QVERIFY(alarm->arm(1680));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArrayLiteral("+1680")); // relative, after the clearing "0"
    QVERIFY(!alarm->arm(0));
}

QTEST_GUILESS_MAIN(TestLogindPower)
#include "tst_logindpower.moc"
