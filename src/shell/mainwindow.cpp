#include "mainwindow.h"

#include "activitylist.h"
#include "languageform.h"
#include "messages.h"
#include "todogrid.h"
#include "todolist.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QSystemTrayIcon>
#include <QVBoxLayout>

#include <memory>
#include <utility>

namespace dorvel {

namespace {

const QColor kWindowColour(148, 181, 198);
const QColor kFrameColour(170, 210, 220);
const QColor kFixedCellColour(0, 255, 255);

// Turns the to-do list's row colour into a background brush for the view.
class ColourProxy final : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (role == Qt::BackgroundRole) {
            const quint32 rgb =
                QIdentityProxyModel::data(index, TodoList::BackgroundRgbRole).toUInt();
            return rgb ? QVariant(QBrush(QColor::fromRgb(rgb))) : QVariant();
        }
        return QIdentityProxyModel::data(index, role);
    }
};

QIcon stateIcon(const QColor& colour)
{
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(colour);
    p.setPen(QPen(Qt::black, 2));
    p.drawEllipse(3, 3, 26, 26);
    return QIcon(pm);
}

void paintBackground(QWidget* w, const QColor& c)
{
    w->setAutoFillBackground(true);
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, c);
    w->setPalette(pal);
}

QLabel* label(const char* name, QWidget* parent)
{
    auto* l = new QLabel(parent);
    l->setObjectName(QString::fromLatin1(name));
    return l;
}

QPushButton* button(const char* name, const QString& caption, QWidget* parent)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

} // namespace

MainWindow::MainWindow(TodoList& todo, ActivityList& activity, Prompter& prompter)
    : m_todo(todo), m_activity(activity), m_prompter(prompter)
{
    setObjectName(QStringLiteral("MainWindow"));
    m_icons = {stateIcon(Qt::red), stateIcon(QColor(255, 200, 0)), stateIcon(QColor(0, 160, 0))};
    paintBackground(this, kWindowColour);

    m_grid = new TodoGrid(this);
    m_grid->setObjectName(QStringLiteral("MSFlexGrid1"));
    auto* proxy = new ColourProxy(m_grid);
    proxy->setSourceModel(&m_todo);
    m_grid->setModel(proxy);
    m_grid->verticalHeader()->setDefaultSectionSize(m_grid->fontMetrics().height() + 6);
    m_grid->horizontalHeader()->setStyleSheet(
        QStringLiteral("QHeaderView::section { background-color: rgb(0,255,255); }"));
    m_grid->verticalHeader()->setStyleSheet(
        QStringLiteral("QHeaderView::section { background-color: rgb(0,255,255); }"));

    m_list = new QListView(this);
    m_list->setObjectName(QStringLiteral("List1"));
    m_list->setModel(&m_activity);
    m_list->setUniformItemSizes(true); // one line each: no need to measure thousands of them
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);

    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->setObjectName(QStringLiteral("Label3"));
    splitter->addWidget(m_grid);
    splitter->addWidget(m_list);
    splitter->setChildrenCollapsible(false);

    m_clock = label("Label1", this);
    m_nextCaption = label("Label2", this);
    m_nextEvent = label("Label_Event", this);
    paintBackground(m_nextCaption, kFrameColour);

    m_listFrame = new QGroupBox(this);
    m_listFrame->setObjectName(QStringLiteral("Frame1"));
    paintBackground(m_listFrame, kFrameColour);
    m_addRecording = button("Command7", QStringLiteral("Add Recording"), m_listFrame);
    m_delete = button("Command4", QString(), m_listFrame);
    auto* listFrameLayout = new QVBoxLayout(m_listFrame);
    listFrameLayout->addWidget(m_addRecording);
    listFrameLayout->addWidget(m_delete);

    m_options = new QGroupBox(this);
    m_options->setObjectName(QStringLiteral("Frame2"));
    paintBackground(m_options, kFrameColour);
    m_shutdown = label("Label_Shutdown", m_options);
    m_standby = label("Label_StandBy", m_options);
    paintBackground(m_shutdown, kFrameColour);
    paintBackground(m_standby, kFrameColour);
    m_standbyButton = button("Command5", QStringLiteral("StandBy"), m_options);
    m_wakeTool = button("Command6", QStringLiteral("Nocturo"), m_options);
    m_standbyButton->setEnabled(false);
    m_wakeTool->setEnabled(false);
    auto* optionsLayout = new QGridLayout(m_options);
    optionsLayout->addWidget(m_shutdown, 0, 0);
    optionsLayout->addWidget(m_standby, 0, 1);
    optionsLayout->addWidget(m_standbyButton, 1, 0);
    optionsLayout->addWidget(m_wakeTool, 1, 1);

    m_settings = button("Command3", QString(), this);
    m_getRecordings = button("Command2", QString(), this);
    m_startViewer = button("Command1", QString(), this);

    auto* side = new QVBoxLayout;
    side->addWidget(m_clock);
    side->addWidget(m_nextCaption);
    side->addWidget(m_nextEvent);
    side->addWidget(m_listFrame);
    side->addWidget(m_options);
    side->addStretch(1);
    side->addWidget(m_settings);
    side->addWidget(m_getRecordings);
    side->addWidget(m_startViewer);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(splitter, 1);
    layout->addLayout(side);

    connect(m_startViewer, &QPushButton::clicked, this, &MainWindow::startViewerClicked);
    connect(m_getRecordings, &QPushButton::clicked, this, &MainWindow::getRecordingsClicked);
    connect(m_settings, &QPushButton::clicked, this, &MainWindow::settingsClicked);
    connect(m_delete, &QPushButton::clicked, this, &MainWindow::deleteSelectionClicked);
    connect(m_grid, &TodoGrid::deleteRequested, this, &MainWindow::deleteSelectionClicked);
    connect(m_standbyButton, &QPushButton::clicked, this, &MainWindow::standByClicked);
    connect(m_wakeTool, &QPushButton::clicked, this, &MainWindow::wakeToolClicked);
    connect(m_addRecording, &QPushButton::clicked, this, &MainWindow::addRecordingClicked);

    // New lines are scrolled into view, once per burst: each scroll lays out the whole list,
    // and a load may add thousands of lines.
    auto scrollPending = std::make_shared<bool>(false);
    connect(&m_activity, &ActivityList::lineAppended, m_list, [this, scrollPending] {
        if (std::exchange(*scrollPending, true))
            return;
        QMetaObject::invokeMethod(
            m_list,
            [this, scrollPending] {
                *scrollPending = false;
                m_list->scrollToBottom();
            },
            Qt::QueuedConnection);
    });

    // Column widths live in the to-do list, in twips; the view follows and reports drags.
    connect(&m_todo, &TodoList::columnWidthChanged, this, &MainWindow::followColumnWidth);
    connect(m_grid->horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int section, int, int newSize) {
                if (!m_syncingWidths)
                    m_todo.setColumnWidth(section + 1, pixelsToTwipsX(newSize));
            });
    for (int c = 1; c < TodoList::ColumnCount; ++c)
        followColumnWidth(c, m_todo.columnWidth(c));

    m_trayMenu = new QMenu(QStringLiteral("&SysTray"), this);
    m_trayMenu->setObjectName(QStringLiteral("mPopupSys"));
    m_goTimer = m_trayMenu->addAction(QStringLiteral("&GoNocturo"));
    m_goTimer->setObjectName(QStringLiteral("mPopGoTimer"));
    m_goTimer->setCheckable(true);
    m_goTimer->setVisible(false);
    m_noShutDown = m_trayMenu->addAction(QStringLiteral("&NoShutDown"));
    m_noShutDown->setObjectName(QStringLiteral("mPopNoShutDown"));
    m_trayMenu->addSeparator();
    QAction* update = m_trayMenu->addAction(QStringLiteral("&Update"));
    update->setObjectName(QStringLiteral("mPopUpdate"));
    m_trayMenu->addSeparator();
    QAction* restore = m_trayMenu->addAction(QStringLiteral("&Restore"));
    restore->setObjectName(QStringLiteral("mPopRestore"));
    QAction* exit = m_trayMenu->addAction(QStringLiteral("&Exit"));
    exit->setObjectName(QStringLiteral("mPopExit"));
    // The check mark shows the wake-tool mode, which only the logic changes: undo Qt's toggle.
    connect(m_goTimer, &QAction::triggered, this, [this](bool checked) {
        m_goTimer->setChecked(!checked);
        Q_EMIT goTimerTriggered();
    });
    connect(m_noShutDown, &QAction::triggered, this, &MainWindow::noShutDownTriggered);
    connect(update, &QAction::triggered, this, &MainWindow::getRecordingsClicked);
    connect(restore, &QAction::triggered, this, &MainWindow::restoreFromTray);
    connect(exit, &QAction::triggered, this, &QWidget::close);

    m_tray = new QSystemTrayIcon(m_icons[2], this);
    m_tray->setObjectName(QStringLiteral("TrayIcon"));
    m_tray->setToolTip(QStringLiteral("Dorvel"));
    m_tray->setContextMenu(m_trayMenu);
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
        if (r == QSystemTrayIcon::Trigger || r == QSystemTrayIcon::DoubleClick)
            restoreFromTray();
    });
    setWindowIcon(m_icons[2]);
    m_iconIndex = 2;
}

MainWindow::~MainWindow() = default;

QString MainWindow::chooseLanguage()
{
    LanguageForm form(m_prompter);
    form.exec();
    return form.language();
}

void MainWindow::applyLanguage(const MessageTable& msg)
{
    m_options->setTitle(msg.MsgActiveOptions);
    m_delete->setText(msg.MsgDeleteSelection);
    m_settings->setText(msg.MsgSettings);
    m_getRecordings->setText(msg.MsgGetRecordings);
    m_startViewer->setText(msg.MsgStartViewer);
    m_nextCaption->setText(msg.MsgNextEvent);
}

// The tick refreshes caption, icons, tip and clock twice a second; only changes cost work.
void MainWindow::setCaption(const QString& caption)
{
    if (windowTitle() != caption)
        setWindowTitle(caption);
}

QString MainWindow::caption() const
{
    return windowTitle();
}

void MainWindow::setClockText(const QString& text)
{
    if (m_clock->text() != text)
        m_clock->setText(text);
}

void MainWindow::setClockRed(bool red)
{
    m_clock->setStyleSheet(red ? QStringLiteral("color: rgb(255,0,0);")
                               : QStringLiteral("color: black;"));
}

void MainWindow::setNextEventText(const QString& text)
{
    m_nextEvent->setText(text);
}

void MainWindow::setStandbyLabel(const QString& text)
{
    m_standby->setText(text);
}

void MainWindow::setShutdownLabel(const QString& text)
{
    m_shutdown->setText(text);
}

void MainWindow::setStateIcon(StateIcon icon)
{
    const int index = icon == StateIcon::Recording ? 0 : icon == StateIcon::ViewerRunning ? 1 : 2;
    if (index == m_iconIndex)
        return;
    m_iconIndex = index;
    setWindowIcon(m_icons[index]);
    m_tray->setIcon(m_icons[index]);
}

void MainWindow::setTrayTip(const QString& tip)
{
    if (m_tray->toolTip() != tip)
        m_tray->setToolTip(tip);
}

void MainWindow::addTrayIcon()
{
    m_tray->show();
}

void MainWindow::removeTrayIcon()
{
    m_tray->hide();
}

void MainWindow::setWaitCursor(bool on)
{
    if (on)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
}

void MainWindow::setStandbyButtonEnabled(bool on)
{
    m_standbyButton->setEnabled(on);
}

void MainWindow::setWakeToolButtonEnabled(bool on)
{
    m_wakeTool->setEnabled(on);
}

void MainWindow::setGoTimerVisible(bool on)
{
    m_goTimer->setVisible(on);
}

bool MainWindow::goTimerVisible() const
{
    return m_goTimer->isVisible();
}

void MainWindow::setGoTimerEnabled(bool on)
{
    m_goTimer->setEnabled(on);
}

void MainWindow::setGoTimerChecked(bool on)
{
    m_goTimer->setChecked(on);
}

void MainWindow::setNoShutDownEnabled(bool on)
{
    m_noShutDown->setEnabled(on);
}

void MainWindow::placeWindow(int leftTwips, int topTwips)
{
    move(twipsToPixelsX(leftTwips), twipsToPixelsY(topTwips));
}

void MainWindow::resizeWindow(int widthTwips, int heightTwips)
{
    resize(twipsToPixelsX(widthTwips), twipsToPixelsY(heightTwips));
}

MainView::Geometry MainWindow::geometryTwips() const
{
    const QRect frame = frameGeometry();
    return {pixelsToTwipsX(frame.x()), pixelsToTwipsY(frame.y()), pixelsToTwipsX(width()),
            pixelsToTwipsY(height())};
}

bool MainWindow::isMinimized() const
{
    return QWidget::isMinimized() || !isVisible();
}

void MainWindow::minimize()
{
    showMinimized();
}

void MainWindow::showAndRepaint()
{
    show();
    update();
}

int MainWindow::twipsToPixelsX(int twips) const
{
    return qRound(twips * logicalDpiX() / 1440.0);
}

int MainWindow::twipsToPixelsY(int twips) const
{
    return qRound(twips * logicalDpiY() / 1440.0);
}

int MainWindow::pixelsToTwipsX(int px) const
{
    return qRound(px * 1440.0 / logicalDpiX());
}

int MainWindow::pixelsToTwipsY(int px) const
{
    return qRound(px * 1440.0 / logicalDpiY());
}

void MainWindow::followColumnWidth(int column, int twips)
{
    if (column < 1)
        return;
    m_syncingWidths = true;
    const int section = column - 1;
    m_grid->setColumnHidden(section, twips <= 0);
    if (twips > 0)
        m_grid->horizontalHeader()->resizeSection(section, twipsToPixelsX(twips));
    m_syncingWidths = false;
}

void MainWindow::restoreFromTray()
{
    showNormal();
    raise();
    activateWindow();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (m_closing || !onQueryClose()) {
        event->ignore();
        return;
    }
    m_closing = true;
    event->accept();
    onUnload();
}

} // namespace dorvel
