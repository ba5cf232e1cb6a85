#include "mainwindow.h"

#include "activitylist.h"
#include "languageform.h"
#include "messages.h"
#include "qttranslations.h"
#include "todogrid.h"
#include "todolist.h"
#include "windowicon.h"
#include "windowlayout.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHash>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QTranslator>
#include <QVBoxLayout>

#include <limits>
#include <memory>
#include <utility>

// Resources of a static library are registered by hand.
static void initIconResources()
{
    Q_INIT_RESOURCE(icons);
}

namespace dorvel {

namespace {

const QColor kWindowColour(148, 181, 198);
const QColor kFrameColour(170, 210, 220);
const QColor kFixedCellColour(0, 255, 255);

// Paints a row in the to-do list's colour for it (timed out, overlapping). A delegate rather
// than a proxy model between list and view: the proxy cost every cell a mapping on each paint,
// and its set-up was a good part of the time the window takes to open.
class RowColourDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (const quint32 rgb = index.data(TodoList::BackgroundRgbRole).toUInt())
            option->backgroundBrush = QColor::fromRgb(rgb);
    }
};

// The lists' smallest heights, in twips: the splitter stops there.
constexpr int kMinTodoTwips = 700;
constexpr int kMinActivityTwips = 600;
constexpr int kMinWantedTodoTwips = 1200;
// Beyond this many rows the to-do list takes its whole share.
constexpr int kUncappedRows = 100;

// Flat cyan header sections with the style's own line between them. Not by a style sheet:
// that would measure every header through style-sheet rules, at a cost to start-up.
class HeaderStyle final : public QProxyStyle {
public:
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override
    {
        if (element != CE_HeaderSection) {
            QProxyStyle::drawControl(element, option, painter, widget);
            return;
        }
        const QRect r = option->rect;
        painter->fillRect(r, kFixedCellColour);
        painter->setPen(option->palette.color(QPalette::Dark));
        painter->drawLine(r.topRight(), r.bottomRight());
        painter->drawLine(r.bottomLeft(), r.bottomRight());
    }
};

// The clock's text changes every second, and each new text had the label measure it and the
// window lay itself out again: a good part of what an idle Dorvel did. A desktop font's
// digits are all as wide (tabular figures), so the label is measured once per form of its
// text, that is its letters and where its digits stand, and per font.
class ClockLabel final : public QLabel {
public:
    using QLabel::QLabel;
    QSize sizeHint() const override { return measured().first; }
    QSize minimumSizeHint() const override { return measured().second; }

protected:
    bool event(QEvent* event) override
    {
        if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
            m_sizes.clear();
        return QLabel::event(event);
    }

private:
    std::pair<QSize, QSize> measured() const
    {
        QString form = text();
        for (QChar& c : form) {
            if (c.isDigit())
                c = QLatin1Char('0');
        }
        const auto known = m_sizes.constFind(form);
        if (known != m_sizes.cend())
            return *known;
        std::pair<QSize, QSize> sizes{QLabel::sizeHint(), QLabel::minimumSizeHint()};
        // Room for the widest digit in every place, should the font's digits differ after all.
        const QFontMetrics metrics = fontMetrics();
        int widest = 0;
        int narrowest = std::numeric_limits<int>::max();
        for (char d = '0'; d <= '9'; ++d) {
            const int w = metrics.horizontalAdvance(QLatin1Char(d));
            widest = std::max(widest, w);
            narrowest = std::min(narrowest, w);
        }
        const int slack = int(form.count(QLatin1Char('0'))) * (widest - narrowest);
        sizes.first.rwidth() += slack;
        sizes.second.rwidth() += slack;
        m_sizes.insert(form, sizes);
        return sizes;
    }

    mutable QHash<QString, std::pair<QSize, QSize>> m_sizes;
};

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
    initIconResources();
    m_icons = {lazyIcon(QStringLiteral(":/icons/dorvel-recording.svg")),
               lazyIcon(QStringLiteral(":/icons/dorvel-viewer.svg")),
               lazyIcon(QStringLiteral(":/icons/dorvel-idle.svg"))};
    trayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    m_qtTexts = new QTranslator(this);
    paintBackground(this, kWindowColour);

    m_grid = new TodoGrid(this);
    m_grid->setObjectName(QStringLiteral("MSFlexGrid1"));
    m_grid->setItemDelegate(new RowColourDelegate(m_grid));
    m_grid->setModel(&m_todo);
    m_grid->verticalHeader()->setDefaultSectionSize(m_grid->fontMetrics().height() + 6);
    auto* headerStyle = new HeaderStyle;
    headerStyle->setParent(this);
    m_grid->horizontalHeader()->setStyle(headerStyle);
    m_grid->verticalHeader()->setStyle(headerStyle);

    // Tab moves on to the next control instead of walking through every cell.
    m_grid->setTabKeyNavigation(false);

    m_list = new QListView(this);
    m_list->setObjectName(QStringLiteral("List1"));
    m_list->setModel(&m_activity);
    m_list->setUniformItemSizes(true); // one line each: no need to measure thousands of them
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Lines are shown whole; a long one scrolls sideways instead of being cut.
    m_list->setTextElideMode(Qt::ElideNone);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);

    m_splitter = new QSplitter(Qt::Vertical, this);
    auto* splitter = m_splitter;
    splitter->setObjectName(QStringLiteral("Label3"));
    splitter->addWidget(m_grid);
    splitter->addWidget(m_list);
    splitter->setChildrenCollapsible(false);
    m_grid->setMinimumHeight(twipsToPixelsY(kMinTodoTwips));
    m_list->setMinimumHeight(twipsToPixelsY(kMinActivityTwips));
    splitter->installEventFilter(this);
    m_grid->viewport()->installEventFilter(this);
    connect(splitter, &QSplitter::splitterMoved, this, [this] {
        const QList<int> sizes = m_splitter->sizes();
        m_splitRatio = windowlayout::splitRatioOf(sizes.value(0), sizes.value(1));
        Q_EMIT splitRatioChanged(m_splitRatio);
    });
    // A new list may need another height than the last one.
    connect(&m_todo, &QAbstractItemModel::modelReset, this, &MainWindow::applySplit);
    connect(&m_todo, &QAbstractItemModel::rowsInserted, this, &MainWindow::applySplit);
    connect(&m_todo, &QAbstractItemModel::rowsRemoved, this, &MainWindow::applySplit);

    m_clock = new ClockLabel(this);
    m_clock->setObjectName(QStringLiteral("Label1"));
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
                if (m_syncingWidths)
                    return;
                m_todo.setColumnWidth(section + 1, pixelsToTwipsX(newSize));
                // A drag of the stretching column itself sets its own width; any other
                // drag changes the room left for it.
                if (section + 1 != TodoList::ShortDesc)
                    fitShortDesc();
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
    // Ctrl+Q ends as the window's own close does, question included.
    auto* quit = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), this);
    connect(quit, &QShortcut::activated, this, &QWidget::close);

    m_tray = new QSystemTrayIcon(m_icons[2], this);
    m_tray->setObjectName(QStringLiteral("TrayIcon"));
    m_tray->setToolTip(QStringLiteral("Dorvel"));
    m_tray->setContextMenu(m_trayMenu);
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
        switch (r) {
        case QSystemTrayIcon::Trigger:
            toggleFromTray();
            break;
        case QSystemTrayIcon::DoubleClick:
            restoreFromTray();
            break;
        case QSystemTrayIcon::MiddleClick:
            reloadFromTray();
            break;
        default:
            break;
        }
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
    assignMnemonics();
    const bool english =
        msg.MsgSettings == MessageTable::forLanguage(QStringLiteral("eng")).MsgSettings;
    useQtTranslations(*m_qtTexts, !english);
}

// Every button gets an Alt key of its own: the first letter of its caption not yet taken.
void MainWindow::assignMnemonics()
{
    QList<QPushButton*> buttons = findChildren<QPushButton*>();
    std::sort(buttons.begin(), buttons.end(),
              [](QPushButton* a, QPushButton* b) { return a->objectName() < b->objectName(); });
    QString taken;
    for (QPushButton* b : std::as_const(buttons)) {
        const QString text = b->text();
        const qsizetype amp = text.indexOf(QLatin1Char('&'));
        if (amp >= 0 && amp + 1 < text.size())
            taken += text.at(amp + 1).toLower();
    }
    for (QPushButton* b : std::as_const(buttons)) {
        QString text = b->text();
        if (text.contains(QLatin1Char('&')))
            continue;
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar c = text.at(i).toLower();
            if (c.isLetterOrNumber() && !taken.contains(c)) {
                taken += c;
                text.insert(i, QLatin1Char('&'));
                b->setText(text);
                break;
            }
        }
    }
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
    QPalette pal = m_clock->palette();
    pal.setColor(QPalette::WindowText, red ? QColor(255, 0, 0) : QColor(Qt::black));
    m_clock->setPalette(pal);
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
    // The tip names the program first: a tray holds many icons.
    const QString name = QStringLiteral("Dorvel");
    const QString text = tip.isEmpty()          ? name
                         : tip.startsWith(name) ? tip
                                                : name + QStringLiteral(": ") + tip;
    if (m_tray->toolTip() != text)
        m_tray->setToolTip(text);
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
    // A position stored with a screen that is gone would put the window out of sight.
    QList<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens.append(screen->availableGeometry());
    const QRect wanted(QPoint(twipsToPixelsX(leftTwips), twipsToPixelsY(topTwips)), size());
    move(windowlayout::visibleTopLeft(wanted, screens));
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
    // Without a tray the task bar is the only way back: the window stays there.
    if (trayAvailable())
        hideToTray();
    else
        showMinimized();
}

void MainWindow::showAndRepaint()
{
    // The first paint lays out every control; the pointer says the program is busy.
    setWaitCursor(true);
    show();
    repaint();
    setWaitCursor(false);
}

void MainWindow::setSplitRatio(double ratio)
{
    m_splitRatio = std::clamp(ratio, 0.05, 0.95);
    applySplit();
}

// The to-do list takes the user's share of both lists, but no more than its rows need; the
// activity list gets the rest.
void MainWindow::applySplit()
{
    if (!m_splitter || m_splitter->height() <= 0)
        return;
    const int total = m_splitter->height() - m_splitter->handleWidth();
    const int rows = m_todo.rowCount();
    const int rowHeight = m_grid->verticalHeader()->defaultSectionSize();
    const int frame = 2 * m_grid->frameWidth() + m_grid->horizontalHeader()->sizeHint().height() +
                      (m_grid->horizontalScrollBar()->isVisible()
                           ? m_grid->horizontalScrollBar()->sizeHint().height()
                           : 0);
    const int wanted = rows > kUncappedRows ? 0
                                            : std::max(twipsToPixelsY(kMinWantedTodoTwips),
                                                       frame + (rows + 2) * rowHeight);
    const int todoHeight = windowlayout::todoListHeight(
        total, m_splitRatio, wanted, m_grid->minimumHeight(), m_list->minimumHeight());
    m_splitter->setSizes({todoHeight, std::max(0, total - todoHeight)});
}

// Room the window gains goes to the short description, so every column stays readable.
void MainWindow::fitShortDesc()
{
    const int section = TodoList::ShortDesc - 1;
    QHeaderView* header = m_grid->horizontalHeader();
    if (m_grid->isColumnHidden(section))
        return;
    int others = 0;
    for (int i = 0; i < header->count(); ++i) {
        if (i != section && !header->isSectionHidden(i))
            others += header->sectionSize(i);
    }
    const int own = twipsToPixelsX(m_todo.columnWidth(TodoList::ShortDesc));
    const int width = windowlayout::stretchedWidth(own, m_grid->viewport()->width(), others);
    if (header->sectionSize(section) == width)
        return;
    m_syncingWidths = true;
    header->resizeSection(section, width);
    m_syncingWidths = false;
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
    fitShortDesc();
}

void MainWindow::restoreFromTray()
{
    showNormal();
    raise();
    activateWindow();
}

void MainWindow::bringToFront()
{
    restoreFromTray();
}

// A left click shows a hidden window and hides a shown one.
void MainWindow::toggleFromTray()
{
    if (isVisible() && !QWidget::isMinimized() && trayAvailable())
        hideToTray();
    else
        restoreFromTray();
}

// The middle click reloads the list and leaves the focus where the user had it.
void MainWindow::reloadFromTray()
{
    const QPointer<QWidget> previous = QApplication::activeWindow();
    if (isVisible())
        raise();
    Q_EMIT getRecordingsClicked();
    if (previous && previous != this)
        previous->activateWindow();
}

void MainWindow::hideToTray()
{
    hide();
}

void MainWindow::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || !QWidget::isMinimized() || !trayAvailable())
        return;
    // Hidden once the window system has finished minimising, so that it leaves the task bar.
    QTimer::singleShot(0, this, [this] {
        if (QWidget::isMinimized() && trayAvailable())
            hideToTray();
    });
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Resize) {
        if (watched == m_splitter)
            applySplit();
        else if (watched == m_grid->viewport())
            fitShortDesc();
    }
    return QWidget::eventFilter(watched, event);
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
