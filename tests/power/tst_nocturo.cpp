// The wake-up tool as a process: --dry-run, bad arguments, --install. The tool runs with a
// system bus address that leads nowhere, so that not even a fault could reach logind.

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestNocturo : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void dryRun_data();
    void dryRun();
    void badArguments_data();
    void badArguments();
    void install();

private:
    struct Result {
        int exitCode = -1;
        QString out;
        QString err;
    };
    Result run(const QStringList& args, const QString& configHome = {});
};

TestNocturo::Result TestNocturo::run(const QStringList& args, const QString& configHome)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"),
               QStringLiteral("unix:path=/nonexistent/dorvel-test"));
    env.insert(QStringLiteral("TZ"), QStringLiteral("Europe/Berlin"));
    if (!configHome.isEmpty())
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(NOCTURO_PATH), args);
    if (!p.waitForFinished(30000))
        return {};
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

void TestNocturo::dryRun_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("expected");

    const QString now = QStringLiteral("--now=2026-12-05 20:00:00");
    QTest::newRow("one argument, as dorvel starts it")
        << QStringList{QStringLiteral("/wakeup=2026-12-05 20:58:00"), QStringLiteral("--dry-run"),
                       now}
        << QStringLiteral("\"+3480\"");
    QTest::newRow("typed without quotes")
        << QStringList{QStringLiteral("--dry-run"), now, QStringLiteral("/WAKEUP=2026-12-06"),
                       QStringLiteral("20:00:00")}
        << QStringLiteral("\"+86400\"");
    QTest::newRow("one minute ahead") << QStringList{QStringLiteral("--dry-run"), now,
                                                     QStringLiteral("/wakeup=2026-12-05 20:01:00")}
                                      << QStringLiteral("\"+60\"");
    // Real seconds across the changes of the clocks.
    QTest::newRow("clocks go forward")
        << QStringList{QStringLiteral("--dry-run"), QStringLiteral("--now=2026-03-29 01:55:00"),
                       QStringLiteral("/wakeup=2026-03-29 03:06:00")}
        << QStringLiteral("\"+660\"");
    QTest::newRow("clocks go back")
        << QStringList{QStringLiteral("--dry-run"), QStringLiteral("--now=2026-10-25 01:55:00"),
                       QStringLiteral("/wakeup=2026-10-25 03:05:00")}
        << QStringLiteral("\"+7800\"");
}

void TestNocturo::dryRun()
{
    QFETCH(QString, expected);
    QFETCH(QStringList, args);
    const Result r = run(args);
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.out.startsWith(QStringLiteral("Dry run:")), qPrintable(r.out + r.err));
    QVERIFY2(r.out.contains(expected), qPrintable(r.out));
    QVERIFY(r.out.contains(QStringLiteral("/sys/class/rtc/rtc0/wakealarm")));
}

void TestNocturo::badArguments_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");

    const QString now = QStringLiteral("--now=2026-12-05 20:00:00");
    const QString dry = QStringLiteral("--dry-run");
    QTest::newRow("nothing") << QStringList{} << "no /wakeup=";
    QTest::newRow("month 13") << QStringList{QStringLiteral("/wakeup=2026-13-01 10:00:00"), dry}
                              << "not a valid";
    QTest::newRow("31 February") << QStringList{QStringLiteral("/wakeup=2027-02-31 10:00:00"), dry}
                                 << "not a valid";
    QTest::newRow("other form") << QStringList{QStringLiteral("/wakeup=05.12.2026 21:00"), dry}
                                << "not a valid";
    QTest::newRow("empty") << QStringList{QStringLiteral("/wakeup="), dry} << "not a valid";
    QTest::newRow("hour that does not exist")
        << QStringList{QStringLiteral("/wakeup=2026-03-29 02:30:00"), dry,
                       QStringLiteral("--now=2026-03-28 20:00:00")}
        << "not a valid";
    QTest::newRow("past") << QStringList{QStringLiteral("/wakeup=2026-12-05 19:59:59"), dry, now}
                          << "in the past";
    QTest::newRow("30 s ahead") << QStringList{QStringLiteral("/wakeup=2026-12-05 20:00:30"), dry,
                                               now}
                                << "less than a minute";
    // Without --dry-run too: refused before the wake alarm or logind is touched.
    QTest::newRow("past, for real")
        << QStringList{QStringLiteral("/wakeup=2001-01-01 00:00:00")} << "in the past";
    QTest::newRow("--now for real")
        << QStringList{QStringLiteral("/wakeup=2030-01-01 00:00:00"), now}
        << "only allowed with --dry-run";
    QTest::newRow("unknown option")
        << QStringList{QStringLiteral("/wakeup=2030-01-01 00:00:00"), QStringLiteral("--force")}
        << "unknown argument";
    QTest::newRow("install with more")
        << QStringList{QStringLiteral("--install"), dry} << "--install takes";
}

void TestNocturo::badArguments()
{
    QFETCH(QString, message);
    QFETCH(QStringList, args);
    const Result r = run(args);
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.err.contains(message), qPrintable(r.err));
    QVERIFY(!r.out.contains(QStringLiteral("Dry run")));
    QVERIFY(!r.out.contains(QStringLiteral("armed")));
}

void TestNocturo::install()
{
    QTemporaryDir dir;
    const Result r = run({QStringLiteral("--install")}, dir.path());
    QCOMPARE(r.exitCode, 0);
    QFile f(dir.filePath(QStringLiteral("Nocturo/Nocturo.conf")));
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QStringList lines =
        QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines, (QStringList{QStringLiteral("[StartUp]"), QStringLiteral("ByteOnOff=1")}));

    // Again: still one key, whatever case a hand-edit gave the section.
    f.close();
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("[startup]\nbyteonoff=0\n");
    f.close();
    QCOMPARE(run({QStringLiteral("--install")}, dir.path()).exitCode, 0);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts),
             (QStringList{QStringLiteral("[startup]"), QStringLiteral("byteonoff=1")}));
}

QTEST_GUILESS_MAIN(TestNocturo)
#include "tst_nocturo.moc"
