#pragma once

#include "countdownpresenter.h"

#include <QTimer>
#include <QWidget>

class QEventLoop;
class QLabel;
class QPushButton;

namespace dorvel {

struct AppState;
class Clock;

// The 15-second countdown before the power-off after the last recording. It stays in front
// of every other window without taking the keyboard focus, and closes on the first tick
// after CountdownEnd, or at once when Stop is pressed, Escape is pressed or it is closed.
class ShutdownForm final : public QWidget, public CountdownPresenter {
    Q_OBJECT
public:
    ShutdownForm(AppState& state, const Clock& clock, QWidget* parent = nullptr);
    ~ShutdownForm() override;

    // Shows the window and returns when it has closed.
    void runCountdown() override;

    QLabel* label() const { return m_label; }
    QPushButton* stopButton() const { return m_stop; }
    bool isCounting() const { return m_loop != nullptr; }

    // "Time until ShutDown=" + mm:ss + " (min:sec)" for the time left.
    static QString countdownText(double secondsLeft);

public Q_SLOTS:
    // One 500 ms step: keep the window centred and in front, show the time left, close when
    // the end has passed.
    void tick();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void stop();
    void placeInFront();

    AppState& m_state;
    const Clock& m_clock;
    QLabel* m_label;
    QPushButton* m_stop;
    QTimer m_timer;
    QEventLoop* m_loop = nullptr;
};

} // namespace dorvel
