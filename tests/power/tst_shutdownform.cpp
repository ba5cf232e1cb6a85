// The countdown window, driven for real offscreen: the label, the end of the countdown, Stop,
// and ticks that keep arriving while it runs its own event loop.

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
    void closesOnFirstTickAfterTheEnd()
    {
        FakeClock clock;
        AppState state;
        state.shutdownConfirmed = true;
        state.countdownEnd = clock.nowSerial() + 15 * kSecond;
        ShutdownForm form(state, clock);
        QPoint offCentre(99, 99); // from the middle of the screen
        QTimer::singleShot(0, this, [&] {
            QCOMPARE(form.label()->text(), "Time until ShutDown=00:15 (min:sec)");
            form.move(0, 0);
            clock.advanceMs(2600);
            form.tick(); // back to the middle of the screen
            offCentre = form.frameGeometry().center() -
                        QGuiApplication::primaryScreen()->geometry().center();
            QCOMPARE(form.label()->text(), "Time until ShutDown=00:12 (min:sec)"); // rounded
            clock.advanceMs(11900);
            form.tick();
            QVERIFY(form.isVisible());
            clock.advanceMs(500);
            form.tick(); // the first tick after the 15 seconds
        });
        QTimer::singleShot(20000, &form, &QWidget::close); // a failed check must not hang
        form.runCountdown();

        QVERIFY(!form.isVisible() && !form.isCounting());
        QVERIFY(state.shutdownConfirmed); // not stopped: the caller powers off
        QVERIFY(qAbs(offCentre.x()) <= 1 && qAbs(offCentre.y()) <= 1);
        QVERIFY(form.windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(form.testAttribute(Qt::WA_ShowWithoutActivating));
        QCOMPARE(ShutdownForm::countdownText(75), "Time until ShutDown=01:15 (min:sec)");
    }

    void ticksDuringTheCountdownDecideOnce_data()
    {
        QTest::addColumn<QString>("how"); // how the user ends it; empty: the time runs out
        QTest::newRow("runs out") << "";
        QTest::newRow("Stop") << "Stop";
        QTest::newRow("Escape") << "Escape";
        // Closed through the window manager: a stop too, not a power-off 12 s early.
        QTest::newRow("window manager") << "close";
    }
    void ticksDuringTheCountdownDecideOnce()
    {
        QFETCH(QString, how);
        const bool stop = !how.isEmpty();
        Rig r;
        ShutdownForm form(r.state, r.clock);
        AfterRecording after(PowerServices{r.state, r.todo, r.activity, r.log, r.prompter, r.view,
                                           r.timer, r.clock, r.store, r.viewer, r.ops, r.sys, r.sys,
                                           form},
                             AfterRecording::Hooks{[&] { ++r.ended; }});
        r.state.settings.shutDownType = "LastRec";
        r.todo.recordingCount = 1;
        r.state.pendingPowerAction = "StandByLastRec"; // Stop drops it too
        r.startRecording();
        r.endRecording();

        // The scheduler's ticks go on during the countdown; the fake clock runs 1 s per tick.
        int ticks = 0;
        QTimer scheduler;
        connect(&scheduler, &QTimer::timeout, this, [&] {
            after.checkAfterRecording();
            r.clock.advanceMs(1000);
            if (++ticks == 5 && how == "Stop")
                QTest::mouseClick(form.stopButton(), Qt::LeftButton);
            else if (ticks == 5 && how == "Escape")
                QTest::keyClick(&form, Qt::Key_Escape);
            else if (ticks == 5 && how == "close")
                form.windowHandle()->close();
            if (ticks > 2000 && form.isCounting())
                form.close(); // a hang must not block the test run
        });
        scheduler.start(10);
        after.checkAfterRecording();

        const QString stopped = "   Shutdown stopped by the user";
        QCOMPARE(r.listTexts(), stop ? "   Stop Rec|" + stopped : "   Stop Rec");
        QCOMPARE(r.state.shutdownConfirmed, !stop);
        QCOMPARE(r.state.pendingPowerAction, stop ? "" : "StandByLastRec");
        QCOMPARE(r.powerCalls(), stop ? "" : "powerOff");
        QCOMPARE(r.logTexts(), stop ? stopped : "   Shutdown after last record");
        QVERIFY(!form.isVisible());
        QCOMPARE(r.ended, stop ? 0 : 1);
    }
};

QTEST_MAIN(TestShutdownForm)
#include "tst_shutdownform.moc"
