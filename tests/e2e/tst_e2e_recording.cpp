// A recording from end to end: a viewer the user started is asked to close shortly before the
// launch, the entry is started with its exact command line, leaves the database, its file
// appears under a name that does not overwrite older ones, and the end of the recording shows.

#include "sandbox.h"

using namespace dorvel::test;

class TestE2ERecording : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void recordsOnTime()
    {
        const auto box = E2ESandbox::empty({{"AutoClose", "1"}, {"ShutDownType", "Never"}});
        QVERIFY(box->ok);
        const QString recordings = box->root + QStringLiteral("/recordings/");
        for (const char* taken : {"Tagesschau.ts", "Tagesschau_1.ts"}) {
            QFile f(recordings + QLatin1String(taken));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        // The user's viewer runs into the 47 s window before the launch.
        const QDateTime start = E2ESandbox::firstLaunch();
        QVERIFY(box->addEntry(1, start, start.addSecs(60), QStringLiteral("Tagesschau")));
        const auto userViewer = box->startUserViewer();
        QVERIFY(userViewer);

        auto dorvel = box->start();
        QVERIFY(dorvel.waitFor(" 1 Recordings added to ToDo list", 20000));

        // Closed by the request, not before the 47 s window opened.
        QVERIFY(
            userViewer->waitForFinished(int(QDateTime::currentDateTime().msecsTo(start)) + 5000));
        QVERIFY(QDateTime::currentDateTime() >= start.addSecs(-48));

        const QByteArray expected = "  " + box->viewer().toUtf8() +
                                    " /close /priority=high /streamonly /tray /delay=500 "
                                    "/record=1 /channel=1 /file=Tagesschau_2\n";
        QVERIFY2(box->waitForLog(expected, start, 30000), E2ESandbox::readFile(box->logFile()));
        QVERIFY(dorvel.waitFor("   Start Rec:  Tagesschau  (1 Min)", 5000));
        // The entry leaves the database right after the viewer has started.
        QTRY_COMPARE_WITH_TIMEOUT(box->recordsTitled(QStringLiteral("Tagesschau")), 0, 5000);

        // The started entry's line in the log is written no earlier than its launch time.
        const QByteArray log = E2ESandbox::readFile(box->logFile());
        const QByteArray line = log.mid(log.indexOf(expected) - 19, 19);
        QVERIFY2(QDateTime::fromString(QString::fromLatin1(line),
                                       QStringLiteral("yyyy-MM-dd HH:mm:ss")) >= start,
                 line);

        // The stand-in records one minute (two seconds here), then ends: the recording is over.
        QVERIFY(dorvel.waitFor("   Stop Rec", 30000));
        QFile recorded(recordings + QStringLiteral("Tagesschau_2.ts"));
        QVERIFY(recorded.size() > 0);
        QCOMPARE(recorded.size() % 188, 0);
        QCOMPARE(QFileInfo(recordings + QStringLiteral("Tagesschau.ts")).size(), 0);
        QVERIFY(dorvel.terminate());
    }
};

QTEST_GUILESS_MAIN(TestE2ERecording)
#include "tst_e2e_recording.moc"
