// The real dorvel started offscreen against a generated sandbox.

#include "sandbox.h"
#include "settingsstore.h"

#include <csignal>

using namespace dorvel::test;

class TestE2EStartup : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void startsOnceAndRemembersTheDatabase()
    {
        E2ESandbox box;
        QVERIFY(box.ok);
        auto first = box.start();
        QVERIFY(first.waitFor("Recordings added to ToDo list", 20000));
        QVERIFY(E2ESandbox::waitForFileText(box.logFile(), "    Dorvel Log File started\n", 5000));

        // The keys a successful start leaves behind.
        qputenv("XDG_CONFIG_HOME", box.env.value(QStringLiteral("XDG_CONFIG_HOME")).toUtf8());
        dorvel::QtSettingsStore store;
        auto own = [&](const char* key) {
            return store.get(QStringLiteral("Dorvel"), QStringLiteral("Startup"),
                             QString::fromLatin1(key), QStringLiteral("<absent>"));
        };
        QCOMPARE(own("OrbivuDBPath"), box.database());
        QCOMPARE(own("TestPath"), QStringLiteral("<absent>"));

        // A second start ends silently at once; the first keeps running.
        auto second = box.start();
        QVERIFY(second->waitForFinished(15000));
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 0);
        QCOMPARE(second->readAll(), QByteArray());
        QCOMPARE(first->state(), QProcess::Running);

        // A crash leaves the lock behind; the next start must not be blocked by it.
        ::kill(pid_t(first->processId()), SIGKILL);
        QVERIFY(first->waitForFinished(5000));
        auto third = box.start();
        QVERIFY2(third.waitFor("Recordings added to ToDo list", 20000), third.out);

        // Termination ends it cleanly, without questions, and keeps the layout as a close would.
        QCOMPARE(own("HSize"), QStringLiteral("<absent>"));
        QVERIFY(third.terminate());
        QCOMPARE(third->exitCode(), 0);
        QVERIFY(own("HSize").toInt() > 3000);
        QVERIFY(own("VSize").toInt() > 2890);
        QCOMPARE(own("MyFormatStr").count(QLatin1Char(';')), 9);

        // Starting twice writes the header only once.
        QCOMPARE(E2ESandbox::readFile(box.logFile()).count("Dorvel Log File started"), 1);
        qunsetenv("XDG_CONFIG_HOME");
    }

    // Without a display nobody can answer a box: the text goes to standard error and a
    // fatal start ends with a non-zero status instead of waiting for ever.
    void fatalStartWithoutDisplay_data()
    {
        QTest::addColumn<QString>("breakage");
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("no viewer")
            << "noexe" << QByteArray("FATAL ERROR: Orbivu.EXE not found in ");
        QTest::newRow("first start, no language")
            << "nolanguage" << QByteArray("no display to ask for the language");
    }
    void fatalStartWithoutDisplay()
    {
        QFETCH(QString, breakage);
        QFETCH(QByteArray, message);
        E2ESandbox box;
        QVERIFY(box.ok);
        if (breakage == QStringLiteral("noexe"))
            QVERIFY(QFile::remove(box.root + QStringLiteral("/viewer/Orbivu.EXE")));
        else
            box.setOwn(QStringLiteral("Language"), QString());
        box.env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        box.env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        auto p = box.start();
        QVERIFY(p->waitForFinished(30000));
        QCOMPARE(p->exitStatus(), QProcess::NormalExit);
        QCOMPARE(p->exitCode(), 1);
        QVERIFY2(p->readAll().contains(message), qPrintable(breakage));
    }
};

QTEST_GUILESS_MAIN(TestE2EStartup)
#include "tst_e2e_startup.moc"
