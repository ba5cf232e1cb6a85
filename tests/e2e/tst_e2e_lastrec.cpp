// "LastRec": the end of the last recording opens the countdown; when nobody stops it, the
// power-off is requested (simulated here) and the program ends.

#include "sandbox.h"

using namespace dorvel::test;

class TestE2ELastRec : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void powersOffAfterTheLastRecording()
    {
        const auto box = E2ESandbox::empty({{"ShutDownType", "LastRec"}});
        QVERIFY(box->ok);
        const QDateTime start = E2ESandbox::firstLaunch();
        QVERIFY(box->addEntry(2, start, start.addSecs(60), QStringLiteral("Spätfilm")));

        auto dorvel = box->start();
        QVERIFY(dorvel.waitFor(" 1 Recordings added to ToDo list", 20000));
        QVERIFY(dorvel.waitFor("   Stop Rec", start, 30000));

        // Fifteen seconds of countdown, then the power-off and the end of the program.
        QVERIFY(dorvel->waitForFinished(40000));
        dorvel.out += dorvel->readAll();
        QCOMPARE(dorvel->exitStatus(), QProcess::NormalExit);
        QVERIFY2(dorvel.out.contains("Simulated power: power-off requested"), dorvel.out);
        const QByteArray log = E2ESandbox::readFile(box->logFile());
        QVERIFY2(log.contains("   Shutdown after last record\n"), log);
        QVERIFY(log.indexOf("   Shutdown after last record") <
                log.indexOf("Simulated power: power-off requested"));
    }
};

QTEST_GUILESS_MAIN(TestE2ELastRec)
#include "tst_e2e_lastrec.moc"
