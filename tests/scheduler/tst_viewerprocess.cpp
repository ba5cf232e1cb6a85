#include "appstate.h"
#include "fakeprocesses.h"
#include "fakes.h"
#include "startviewer.h"
#include "viewerprocess.h"

#include <QtTest>

using namespace dorvel;
using namespace dorvel::test;

class TestViewerProcess : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void matches_data()
    {
        QTest::addColumn<QString>("exe");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("match");
        QTest::newRow("exact") << "/opt/orbivu/Orbivu.EXE"
                               << "Orbivu.EXE" << true;
        QTest::newRow("other case") << "/opt/orbivu/ORBIVU.exe"
                                    << "Orbivu.exe" << true;
        QTest::newRow("backup copy") << "/x/ORBIVU.EXE.BAK"
                                     << "Orbivu.exe" << true;
        QTest::newRow("inside a folder name") << "/ORBIVU.EXE/Y.EXE"
                                              << "Orbivu.exe" << true;
        QTest::newRow("blanks around the name") << "/o/Orbivu.EXE"
                                                << "  Orbivu.exe " << true;
        QTest::newRow("blanks around the path") << " /o/Orbivu.EXE  "
                                                << "Orbivu.exe" << true;
        QTest::newRow("different program") << "/usr/bin/sleep"
                                           << "Orbivu.exe" << false;
        QTest::newRow("name without extension") << "/o/Orbivu"
                                                << "Orbivu.exe" << false;
        QTest::newRow("empty name matches nothing") << "/usr/bin/sleep"
                                                    << "" << false;
        QTest::newRow("blank name matches nothing") << "/usr/bin/sleep"
                                                    << "   " << false;
        QTest::newRow("wait program") << "/home/u/bin/TMPGENC.EXE"
                                      << "TMPGenc.exe" << true;
    }
    void matches()
    {
        QFETCH(QString, exe);
        QFETCH(QString, name);
        QFETCH(bool, match);
        QCOMPARE(ViewerProcess::matches(exe, name), match);
    }

    void queriesOverTheTable()
    {
        FakeProcessTable table;
        FakeLauncher launcher;
        ViewerProcess vp(table, launcher);
        QVERIFY(!vp.isProcessRunning("Orbivu.exe"));
        QCOMPARE(vp.findProcessId("Orbivu.exe"), 0);

        table.add(10, "/usr/bin/bash");
        table.add(30, "/opt/a/Orbivu.EXE");
        table.add(20, "/opt/b/orbivu.exe");
        table.add(40, "/usr/bin/sleep");
        QVERIFY(vp.isProcessRunning("Orbivu.exe"));
        // The last match in enumeration order, not the highest pid.
        QCOMPARE(vp.findProcessId("Orbivu.exe"), 20);
    }

    void isTaskRunning_data()
    {
        QTest::addColumn<qint64>("pid");
        QTest::addColumn<quint64>("start");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("running");
        QTest::newRow("the started viewer") << qint64(77) << quint64(5000) << "Orbivu.exe" << true;
        QTest::newRow("pid reused by another viewer start")
            << qint64(77) << quint64(4999) << "Orbivu.exe" << false;
        QTest::newRow("pid of another program")
            << qint64(78) << quint64(6000) << "Orbivu.exe" << false;
        QTest::newRow("pid gone") << qint64(79) << quint64(5000) << "Orbivu.exe" << false;
        QTest::newRow("pid 0") << qint64(0) << quint64(0) << "Orbivu.exe" << false;
        QTest::newRow("negative pid") << qint64(-1) << quint64(0) << "Orbivu.exe" << false;
    }
    void isTaskRunning()
    {
        QFETCH(qint64, pid);
        QFETCH(quint64, start);
        QFETCH(QString, name);
        QFETCH(bool, running);
        FakeProcessTable table;
        FakeLauncher launcher;
        table.add(77, "/opt/o/Orbivu.EXE", 5000);
        table.add(78, "/usr/bin/sleep", 6000);
        table.add(0, "/opt/o/Orbivu.EXE", 0); // a bogus entry must not make pid 0 pass
        table.add(-1, "/opt/o/Orbivu.EXE", 0);
        ViewerProcess vp(table, launcher);
        QCOMPARE(vp.isTaskRunning(pid, start, name), running);
    }

    void closeViewerAsksOnlyTheLastViewer()
    {
        FakeProcessTable table;
        FakeLauncher launcher;
        table.add(11, "/o/Orbivu.EXE");
        table.add(12, "/usr/bin/sleep");
        table.add(13, "/p/ORBIVU.EXE");
        ViewerProcess vp(table, launcher);
        QVERIFY(vp.closeViewer());
        QCOMPARE(table.closeRequests, QList<qint64>{13});
        QCOMPARE(table.lastWaitMs, 500);
        QVERIFY(vp.isProcessRunning("Orbivu.exe")); // pid 11 still runs
    }

    void closeViewerReportsAViewerThatStays()
    {
        FakeProcessTable table;
        FakeLauncher launcher;
        table.obeysClose = false;
        table.add(11, "/o/Orbivu.EXE");
        ViewerProcess vp(table, launcher);
        QVERIFY(!vp.closeViewer());
        QVERIFY(!vp.closeViewer());
        QCOMPARE(table.closeRequests.size(), 2);
    }

    void closeViewerWithoutViewer()
    {
        FakeProcessTable table;
        FakeLauncher launcher;
        table.add(12, "/usr/bin/sleep");
        ViewerProcess vp(table, launcher);
        QVERIFY(!vp.closeViewer());
        QVERIFY(table.closeRequests.isEmpty());
    }

    void snapshotScopeReadsTheTableOnce()
    {
        FakeProcessTable table;
        FakeLauncher launcher(&table);
        table.add(11, "/o/Orbivu.EXE");
        ViewerProcess vp(table, launcher);
        {
            const ViewerProcess::SnapshotScope scope(vp);
            QVERIFY(vp.isProcessRunning("Orbivu.exe"));
            QVERIFY(!vp.isProcessRunning("TMPGenc.exe"));
            QCOMPARE(vp.findProcessId("Orbivu.exe"), 11);
            QCOMPARE(table.reads, 1);
            // A close request changes the table: the next query reads it afresh.
            QVERIFY(vp.closeViewer());
            QVERIFY(!vp.isProcessRunning("Orbivu.exe"));
            QCOMPARE(table.reads, 2);
            // So does a start.
            QVERIFY(vp.start("/o/Orbivu.EXE", {}, "/o", nullptr));
            QVERIFY(vp.isProcessRunning("Orbivu.exe"));
        }
        const int before = table.reads;
        QVERIFY(vp.isProcessRunning("Orbivu.exe"));
        QVERIFY(vp.isProcessRunning("Orbivu.exe"));
        QCOMPARE(table.reads, before + 2); // outside a scope every query reads
    }

    void startByHand_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("failure");
        QTest::addColumn<bool>("started");
        QTest::addColumn<QString>("box");
        QTest::newRow("no viewer") << 0 << QString() << true << QString();
        QTest::newRow("scheduler's viewer records")
            << 1 << QString() << false << QStringLiteral("Dorvel Ver 0.36 - Orbivu is recording");
        QTest::newRow("user's viewer runs")
            << 2 << QString() << false << QStringLiteral("Dorvel Ver 0.36 - Orbivu is recording");
        QTest::newRow("viewer missing")
            << 0 << QStringLiteral("no such file") << false
            << QStringLiteral("ERROR: /opt/my viewer/Orbivu.EXE not found");
    }
    void startByHand()
    {
        QFETCH(int, state);
        QFETCH(QString, failure);
        QFETCH(bool, started);
        QFETCH(QString, box);
        FakeProcessTable table;
        FakeLauncher launcher(&table);
        launcher.failWith = failure;
        ViewerProcess vp(table, launcher);
        FakeView view;
        view.captionText = QStringLiteral("Dorvel Ver 0.36 - Orbivu is recording");
        FakePrompter prompter;
        AppState app;
        app.orbivuExePath = QStringLiteral("/opt/my viewer/Orbivu.EXE");
        app.orbivuState = state;

        QCOMPARE(startViewerByHand(app, view, prompter, vp), started);
        QCOMPARE(prompter.texts(), box.isEmpty() ? QStringList() : QStringList{box});
        if (state != 0) {
            QVERIFY(launcher.starts.isEmpty());
        } else {
            QCOMPARE(launcher.starts.size(), 1);
            QCOMPARE(launcher.starts[0].program, app.orbivuExePath);
            QVERIFY(launcher.starts[0].args.isEmpty());
            QCOMPARE(launcher.starts[0].workingDir, QStringLiteral("/opt/my viewer"));
        }
    }
};

QTEST_GUILESS_MAIN(TestViewerProcess)
#include "tst_viewerprocess.moc"
