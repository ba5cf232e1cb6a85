// "Rule" in wake-tool mode under --simulate-power: after the recording the wake-up tool is
// started in its dry-run mode, so that a simulated run can neither power the machine off nor
// arm its wake-up, and the program ends as it does after the real tool.

#include "sandbox.h"

#include <QSettings>

using namespace dorvel::test;

class TestE2ESimulatedWakeTool : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void wakeToolRunsDry()
    {
        const auto box = E2ESandbox::empty({{"ShutDownType", "Rule"}, {"SaveLog", "1"}});
        QVERIFY(box->ok);
        QVERIFY(QFile::copy(QStringLiteral(NOCTURO_EXE), box->appDir + "/Nocturo.exe"));
        QSettings(box->root + "/config/Nocturo/Nocturo.conf", QSettings::IniFormat)
            .setValue(QStringLiteral("StartUp/ByteOnOff"), QStringLiteral("1"));
        const QDateTime start = E2ESandbox::firstLaunch();
        QVERIFY(box->addEntry(2, start, start.addSecs(60), QStringLiteral("Nachrichten")));
        const QDateTime later = start.addSecs(3 * 3600);
        QVERIFY(box->addEntry(2, later, later.addSecs(600), QStringLiteral("Spätfilm")));

        auto dorvel = box->start({"min", "cmos", "--simulate-power", "--mirror-activity"});
        QVERIFY2(dorvel.waitFor(" 2 Recordings added to ToDo list", 20000), dorvel.out);
        QVERIFY2(dorvel.waitFor("   Stop Rec", start, 30000), dorvel.out);
        QVERIFY(dorvel->waitForFinished(30000)); // the wake-tool path ends the program
        dorvel.out += dorvel->readAll();
        QCOMPARE(dorvel->exitStatus(), QProcess::NormalExit);

        const QByteArray log = E2ESandbox::readFile(box->logFile());
        const QByteArray wake = later.addSecs(-180).toString("yyyy-MM-dd HH:mm:ss").toUtf8();
        QVERIFY2(log.contains("   Run Nocturo with " + box->appDir.toUtf8() +
                              "/Nocturo.exe --dry-run /wakeup=" + wake + "\n"),
                 log);
        QVERIFY2(!dorvel.out.contains("Simulated power: power-off"), dorvel.out);
    }
};

QTEST_GUILESS_MAIN(TestE2ESimulatedWakeTool)
#include "tst_e2e_simulatedwaketool.moc"
