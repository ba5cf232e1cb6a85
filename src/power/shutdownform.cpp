#include "shutdownform.h"

#include "appstate.h"
#include "clock.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

#include <cmath>

namespace dorvel {

ShutdownForm::ShutdownForm(AppState& state, const Clock& clock, QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowStaysOnTopHint),
      m_state(state), m_clock(clock), m_label(new QLabel(this)),
      m_stop(new QPushButton(QStringLiteral("Stop"), this))
{
    // No close button; closing it by other means (the window manager, Alt+F4) counts as
    // Stop, and so does Escape once the user has clicked into it. Shown and raised without
    // taking the focus, but it may be given the focus.
    setWindowTitle(QStringLiteral("Dorvel Shutdown/Standby"));
    setWindowModality(Qt::ApplicationModal);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setObjectName(QStringLiteral("ShutdownForm"));
    m_label->setObjectName(QStringLiteral("Label1"));
    m_stop->setObjectName(QStringLiteral("Command_Stop"));
    m_stop->setFocusPolicy(Qt::NoFocus);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_label);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(m_stop);
    row->addStretch();
    layout->addLayout(row);

    m_timer.setInterval(500);
    connect(&m_timer, &QTimer::timeout, this, &ShutdownForm::tick);
    connect(m_stop, &QPushButton::clicked, this, &ShutdownForm::stop);
}

ShutdownForm::~ShutdownForm() = default;

QString ShutdownForm::countdownText(double secondsLeft)
{
    const qint64 s = std::max<qint64>(0, std::llround(secondsLeft));
    return QStringLiteral("Time until ShutDown=%1:%2 (min:sec)")
        .arg((s / 60) % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

void ShutdownForm::runCountdown()
{
    if (m_loop)
        return; // already counting
    QEventLoop loop;
    m_loop = &loop;
    // The icon is read when the form is first shown: reading it loads image plugins, which
    // a start that never counts down need not pay for.
    if (m_stop->icon().isNull())
        m_stop->setIcon(style()->standardIcon(QStyle::SP_MediaStop));
    // The time left is shown from the start rather than after the first half second.
    m_label->setText(countdownText((m_state.countdownEnd - m_clock.nowSerial()) * 86400.0));
    adjustSize();
    placeInFront();
    m_timer.start();
    loop.exec();
    m_loop = nullptr;
}

void ShutdownForm::placeInFront()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen) {
        // move() places the frame, so the frame is what is centred.
        const QRect area = screen->geometry();
        const QSize frame = frameGeometry().size();
        move(area.left() + area.width() / 2 - frame.width() / 2,
             area.top() + area.height() / 2 - frame.height() / 2);
    }
    show();
    raise(); // in front again, without taking the focus (WA_ShowWithoutActivating)
}

void ShutdownForm::tick()
{
    placeInFront();
    const double now = m_clock.nowSerial();
    m_label->setText(countdownText((m_state.countdownEnd - now) * 86400.0));
    if (now > m_state.countdownEnd) {
        m_timer.stop();
        close();
    }
}

void ShutdownForm::stop()
{
    m_timer.stop();
    m_state.pendingPowerAction.clear();
    m_state.shutdownConfirmed = false;
    close();
}

void ShutdownForm::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && m_timer.isActive()) {
        stop();
        return;
    }
    QWidget::keyPressEvent(event);
}

void ShutdownForm::closeEvent(QCloseEvent* event)
{
    // Still counting means nobody let the time run out: whoever closes it wants no power-off.
    if (m_timer.isActive()) {
        m_state.pendingPowerAction.clear();
        m_state.shutdownConfirmed = false;
    }
    m_timer.stop();
    if (m_loop)
        m_loop->quit();
    QWidget::closeEvent(event);
}

} // namespace dorvel
