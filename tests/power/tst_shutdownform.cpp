// The countdown before the power-off after the last recording, as the after-recording logic
// opens it: the real window offscreen, the length it counts, Stop, and the scheduler's ticks
// that keep arriving while it runs its own event loop.

#include "powerfakes.h"
#include "shutdownform.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QWindow>

using namespace dorvel;
using namespace dorvel::test;

class TestShutdownForm : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void countdownAfterTheLastRecording_data()
    {
        QTest::addColumn<QString>("how"); // how the user ends it; empty: the time runs out
        // Each way to end it early is handled apart; each must stop the power-off.
        QTest::newRow("runs out") << ""; // on the first half-second step after 15 s
        QTest::newRow("Stop") << "Stop";
        QTest::newRow("Escape") << "Escape";
        // Closed through the window manager: a stop too, not a power-off 12 s early.
        QTest::newRow("window manager") << "close";
    }
    void countdownAfterTheLastRecording()
    {
        QFETCH(QString, how);
        const bool stop = !how.isEmpty();
        const int stopAtMs = stop ? 2500 : -1;
        Rig r;
        ShutdownForm form(r.state, r.clock);
        AfterRecording after(PowerServices{r.state, r.todo, r.activity, r.log, r.prompter, r.view,
                                           r.timer, r.clock, r.store, r.viewer, r.ops, r.sys, r.sys,
                                           form},
                             AfterRecording::Hooks{[&] { ++r.ended; }, {}});
        r.state.settings.shutDownType = "LastRec";
        r.todo.recordingCount = 1;
        r.state.pendingPowerAction = "StandByLastRec"; // Stop drops it too
        r.startRecording();
        r.endRecording();

        // Each step: a scheduler tick, then half a second of the fake clock and the window's
        // own step. The window is pushed aside first; it comes back to the middle.
        const QDateTime opened = r.clock.now();
        QString firstLabel;
        int closedAt = -1;
        bool acted = false; // once: a way that fails to end it must not stall the clock
        QPoint offCentre(99, 99);
        QTimer steps;
        connect(&steps, &QTimer::timeout, this, [&] {
            if (!form.isVisible())
                return;
            const int ms = int(opened.msecsTo(r.clock.now()));
            if (firstLabel.isEmpty())
                firstLabel = form.label()->text();
            after.checkAfterRecording();
            if (ms == stopAtMs && !acted) {
                acted = true;
                if (how == "Stop")
                    QTest::mouseClick(form.stopButton(), Qt::LeftButton);
                else if (how == "Escape")
                    QTest::keyClick(&form, Qt::Key_Escape);
                else
                    form.windowHandle()->close();
            } else {
                r.clock.advanceMs(500);
                form.move(0, 0);
                form.tick();
                offCentre = form.frameGeometry().center() -
                            QGuiApplication::primaryScreen()->geometry().center();
            }
            if (!form.isVisible())
                closedAt = int(opened.msecsTo(r.clock.now()));
            else if (ms > 60000)
                form.close(); // a hang must not block the test run
        });
        steps.start(5);
        after.checkAfterRecording();

        QCOMPARE(firstLabel, "Time until ShutDown=00:15 (min:sec)");
        QCOMPARE(closedAt, stop ? stopAtMs : 15000);
        QVERIFY(qAbs(offCentre.x()) <= 1 && qAbs(offCentre.y()) <= 1);
        const QString stopped = "   Shutdown stopped by the user";
        QCOMPARE(r.listTexts(), stop ? "   Stop Rec|" + stopped : "   Stop Rec");
        QCOMPARE(r.state.shutdownConfirmed, !stop);
        QCOMPARE(r.state.pendingPowerAction, stop ? "" : "StandByLastRec");
        QCOMPARE(r.powerCalls(), stop ? "" : "powerOff");
        QCOMPARE(r.logTexts(), stop ? stopped : "   Shutdown after last record");
        QCOMPARE(r.ended, stop ? 0 : 1);
    }
};

QTEST_MAIN(TestShutdownForm)
#include "tst_shutdownform.moc"
