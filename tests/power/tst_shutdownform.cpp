// The countdown window, driven for real offscreen: the label, the end of the countdown, Stop,
// and ticks that keep arriving while it runs its own event loop.

#include "powerfakes.h"
#include "shutdownform.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace dorvel;
using namespace dorvel::test;

namespace {

// A failed check inside the countdown's event loop must not leave it running for ever.
void closeLater(ShutdownForm& form)
{
    QTimer::singleShot(20000, &form, [&form] {
        if (form.isCounting())
            form.close();
    });
}

} // namespace

class TestShutdownForm : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void countdownText_data();
    void countdownText();
    void closesOnFirstTickAfterTheEnd();
    void stopClearsConfirmationAndPendingAction();
    void windowStaysInFrontWithoutFocus();
    void realCountdownWithTicksDecidesOnce_data();
    void realCountdownWithTicksDecidesOnce();
};

void TestShutdownForm::countdownText_data()
{
    QTest::addColumn<double>("seconds");
    QTest::addColumn<QString>("text");
    QTest::newRow("12 s") << 12.0 << QStringLiteral("Time until ShutDown=00:12 (min:sec)");
    QTest::newRow("15 s") << 15.0 << QStringLiteral("Time until ShutDown=00:15 (min:sec)");
    QTest::newRow("75 s") << 75.0 << QStringLiteral("Time until ShutDown=01:15 (min:sec)");
    QTest::newRow("rounded") << 11.6 << QStringLiteral("Time until ShutDown=00:12 (min:sec)");
    QTest::newRow("past the end") << -0.4 << QStringLiteral("Time until ShutDown=00:00 (min:sec)");
}

void TestShutdownForm::countdownText()
{
    QFETCH(double, seconds);
    QTEST(ShutdownForm::countdownText(seconds), "text");
}

void TestShutdownForm::closesOnFirstTickAfterTheEnd()
{
    FakeClock clock;
    AppState state;
    state.shutdownConfirmed = true;
    state.countdownEnd = clock.nowSerial() + 15 * kSecond;
    ShutdownForm form(state, clock);
    QTimer::singleShot(0, this, [&] {
        QVERIFY(form.isVisible());
        QCOMPARE(form.label()->text(), QStringLiteral("Time until ShutDown=00:15 (min:sec)"));
        clock.advanceMs(14500);
        form.tick();
        QVERIFY(form.isVisible());
        clock.advanceMs(500);
        form.tick(); // the first tick after the 15 seconds
        QVERIFY(!form.isVisible());
    });

    closeLater(form);
    form.runCountdown();

    QVERIFY(!form.isVisible());
    QVERIFY(state.shutdownConfirmed); // not stopped: the caller powers off
}

void TestShutdownForm::stopClearsConfirmationAndPendingAction()
{
    FakeClock clock;
    AppState state;
    state.shutdownConfirmed = true;
    state.pendingPowerAction = QStringLiteral("StandByLastRec");
    state.countdownEnd = clock.nowSerial() + 15 * kSecond;
    ShutdownForm form(state, clock);
    QTimer::singleShot(0, this, [&] {
        QVERIFY(form.isVisible());
        clock.advanceSecs(3);
        form.tick();
        QCOMPARE(form.label()->text(), QStringLiteral("Time until ShutDown=00:12 (min:sec)"));
        QTest::mouseClick(form.stopButton(), Qt::LeftButton);
    });

    closeLater(form);
    form.runCountdown();

    QVERIFY(!form.isVisible());
    QCOMPARE(state.shutdownConfirmed, false);
    QCOMPARE(state.pendingPowerAction, QString());
}

void TestShutdownForm::windowStaysInFrontWithoutFocus()
{
    FakeClock clock;
    AppState state;
    state.countdownEnd = clock.nowSerial() + 15 * kSecond;
    ShutdownForm form(state, clock);
    QWidget other;
    other.show();
    other.activateWindow();
    QPoint centreOffset(99, 99);
    bool visible = false;
    QTimer::singleShot(0, this, [&] {
        visible = form.isVisible();
        form.move(0, 0);
        form.tick(); // back to the middle of the screen
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        centreOffset = form.frameGeometry().center() - screen.center();
        form.stopButton()->click();
    });
    closeLater(form);
    form.runCountdown();

    QVERIFY(visible);
    QVERIFY2(qAbs(centreOffset.x()) <= 1 && qAbs(centreOffset.y()) <= 1,
             qPrintable(QStringLiteral("%1,%2").arg(centreOffset.x()).arg(centreOffset.y())));
    QCOMPARE(form.windowTitle(), QStringLiteral("Dorvel Shutdown/Standby"));
    QVERIFY(form.windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(form.windowFlags() & Qt::WindowDoesNotAcceptFocus);
    QVERIFY(form.testAttribute(Qt::WA_ShowWithoutActivating));
    QVERIFY(!(form.windowFlags() & Qt::WindowCloseButtonHint));
    QVERIFY(form.isModal());
    QCOMPARE(state.shutdownConfirmed, false);
}

void TestShutdownForm::realCountdownWithTicksDecidesOnce_data()
{
    QTest::addColumn<bool>("stop");
    QTest::newRow("runs out") << false;
    QTest::newRow("stopped") << true;
}

void TestShutdownForm::realCountdownWithTicksDecidesOnce()
{
    QFETCH(bool, stop);
    Rig r;
    ShutdownForm form(r.state, r.clock);
    // The logic with the real window in place of the fake countdown.
    AfterRecording after(PowerServices{r.state, r.todo, r.activity, r.log, r.prompter, r.view,
                                       r.timer, r.clock, r.store, r.viewer, r.ops, r.autostart,
                                       r.launcher, form},
                         AfterRecording::Hooks{[&] { ++r.ended; }});
    r.state.settings.shutDownType = QStringLiteral("LastRec");
    r.todo.recordingCount = 1;
    r.startRecording();
    r.endRecording();

    // The scheduler's ticks go on during the countdown; the fake clock runs 1 s per tick.
    int ticks = 0;
    QTimer scheduler;
    scheduler.setInterval(10);
    connect(&scheduler, &QTimer::timeout, this, [&] {
        ++ticks;
        after.checkAfterRecording();
        r.clock.advanceMs(1000);
        if (stop && ticks == 5)
            form.stopButton()->click();
    });
    scheduler.start();

    closeLater(form);
    after.checkAfterRecording();
    scheduler.stop();

    QVERIFY(ticks >= 5);
    QCOMPARE(r.listTexts(), QStringList{QStringLiteral("   Stop Rec")});
    QCOMPARE(r.todo.recordingCount, 0);
    if (stop) {
        QVERIFY(r.power.calls.isEmpty());
        QCOMPARE(r.ended, 0);
    } else {
        QCOMPARE(r.power.calls, QStringList{QStringLiteral("powerOff")});
        QCOMPARE(r.logTexts(), QStringList{QStringLiteral("   Shutdown after last record")});
        QCOMPARE(r.ended, 1);
    }
}

QTEST_MAIN(TestShutdownForm)
#include "tst_shutdownform.moc"
