// The wake-up tool as a process: --dry-run, bad arguments, --install. The tool runs with a
// system bus address that leads nowhere, so that not even a fault could reach logind.

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestNocturo : public QObject {
    Q_OBJECT
    QTemporaryDir m_config;
    QProcess m_p;

    // Exit code, standard output and standard error.
    std::tuple<int, QString, QString> run(const QStringList& args)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/dorvel-test");
        env.insert("XDG_CONFIG_HOME", m_config.path());
        m_p.setProcessEnvironment(env);
        m_p.start(NOCTURO_PATH, args);
        const bool done = m_p.waitForFinished(30000) && m_p.exitStatus() == QProcess::NormalExit;
        return {done ? m_p.exitCode() : -1, m_p.readAllStandardOutput(),
                m_p.readAllStandardError()};
    }

private Q_SLOTS:
    void arguments_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("out"); // part of standard output, else of standard error
        const QString dry = "--dry-run", now = "--now=2026-12-05 20:00:00";
        QTest::newRow("as dorvel starts it")
            << QStringList{"/wakeup=2026-12-05 20:58:00", dry, now} << 0 << "\"+3480\"";
        QTest::newRow("typed without quotes")
            << QStringList{dry, now, "/WAKEUP=2026-12-06", "20:00:00"} << 0 << "\"+86400\"";
        // Real seconds across the change of the clocks.
        QTest::newRow("clocks go forward")
            << QStringList{dry, "--now=2026-03-29 01:55:00", "/wakeup=2026-03-29 03:06:00"} << 0
            << "\"+660\"";
        QTest::newRow("nothing") << QStringList{} << 2 << "no /wakeup=";
        QTest::newRow("31 February")
            << QStringList{"/wakeup=2027-02-31 10:00:00", dry} << 2 << "not a valid";
        QTest::newRow("hour that does not exist")
            << QStringList{"/wakeup=2026-03-29 02:30:00", dry, "--now=2026-03-28 20:00:00"} << 2
            << "not a valid";
        QTest::newRow("30 s ahead")
            << QStringList{"/wakeup=2026-12-05 20:00:30", dry, now} << 2 << "less than a minute";
        // Without --dry-run too: refused before the wake alarm or logind is touched.
        QTest::newRow("past, for real")
            << QStringList{"/wakeup=2001-01-01 00:00:00"} << 2 << "in the past";
        QTest::newRow("--now for real") << QStringList{"/wakeup=2030-01-01 00:00:00", now} << 2
                                        << "only allowed with --dry-run";
    }
    void arguments()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, out);
        const auto [code, stdOut, stdErr] = run(args);
        QCOMPARE(code, exitCode);
        QVERIFY2((code ? stdErr : stdOut).contains(out), qPrintable(stdOut + stdErr));
        QCOMPARE(stdOut.startsWith("Dry run:"), code == 0);
        QCOMPARE(stdOut.contains("/sys/class/rtc/rtc0/wakealarm"), code == 0);
    }

    void install()
    {
        QFile f(m_config.filePath("Nocturo/Nocturo.conf"));
        for (const char* before : {"", "[startup]\nbyteonoff=0\n"}) {
            if (*before) { // a hand-edit changed the case: still one key
                QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
                f.write(before);
                f.close();
            }
            QCOMPARE(std::get<0>(run({"--install"})), 0);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(),
                     *before ? "[startup]\nbyteonoff=1\n" : "[StartUp]\nByteOnOff=1\n");
            f.close();
        }
    }
};

QTEST_GUILESS_MAIN(TestNocturo)
#include "tst_nocturo.moc"
