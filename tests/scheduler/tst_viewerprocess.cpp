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
    // Names match as contained text in any case; the last match in enumeration order counts; a
    // reused pid fails on its start time; the close request waits at most 500 ms.
    void queriesAndCloseRequest()
    {
        FakeProcessTable table;
        FakeLauncher launcher;
        ViewerProcess vp(table, launcher);
        QCOMPARE(vp.findProcessId("Orbivu.exe"), 0);
        QVERIFY(!vp.closeViewer());
        table.add(0, "/o/Orbivu.EXE", 0); // a bogus entry must not make pid 0 pass
        table.add(30, "/opt/a/Orbivu.EXE", 5000);
        table.add(20, " /opt/b/orbivu.exe.BAK ", 6000);
        table.add(40, "/usr/bin/sleep", 7000);
        table.add(50, "/opt/c/Orbivu", 7000);
        QCOMPARE(vp.findProcessId("  Orbivu.exe "), 20);
        QCOMPARE(vp.findProcessId("  "), 0); // would match all, and block whoever waits for it
        QVERIFY(vp.isTaskRunning(30, 5000, "Orbivu.exe"));
        QVERIFY(!vp.isTaskRunning(30, 4999, "Orbivu.exe"));
        QVERIFY(!vp.isTaskRunning(40, 7000, "Orbivu.exe"));
        QVERIFY(!vp.isTaskRunning(0, 0, "Orbivu.exe"));

        table.obeysClose = false;
        QVERIFY(!vp.closeViewer());
        table.obeysClose = true;
        QVERIFY(vp.closeViewer());
        QCOMPARE(table.closeRequests, (QList<qint64>{20, 20}));
        QCOMPARE(table.lastWaitMs, 500);
        QCOMPARE(vp.findProcessId("Orbivu.exe"), 30);
    }

    void startByHand_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QString>("box");
        QTest::newRow("no viewer") << 0 << QString() << QString();
        QTest::newRow("viewer runs") << 2 << QString() << "Dorvel Ver 0.36 - Orbivu is recording";
        QTest::newRow("viewer missing") << 0 << "no such file"
                                        << "ERROR: /opt/my viewer/Orbivu.EXE not found";
    }
    void startByHand()
    {
        QFETCH(int, state);
        QFETCH(QString, failure);
        QFETCH(QString, box);
        FakeProcessTable table;
        FakeLauncher launcher(&table);
        launcher.failWith = failure;
        ViewerProcess vp(table, launcher);
        FakeView view;
        view.captionText = "Dorvel Ver 0.36 - Orbivu is recording";
        FakePrompter prompter;
        AppState app;
        app.orbivuExePath = "/opt/my viewer/Orbivu.EXE";
        app.orbivuState = state;
        QCOMPARE(startViewerByHand(app, view, prompter, vp), box.isEmpty());
        QCOMPARE(prompter.texts().join(""), box);
        QCOMPARE(launcher.starts.size(), state == 0 ? 1 : 0);
        if (state == 0)
            QCOMPARE(launcher.starts[0].workingDir + launcher.starts[0].args.join(""),
                     QStringLiteral("/opt/my viewer"));
    }
};

QTEST_GUILESS_MAIN(TestViewerProcess)
#include "tst_viewerprocess.moc"
