// The main window offscreen and under Xvfb: designed names and captions, colours, the
// language form, the column widths that the to-do list and the view share, hiding to the tray,
// the tray's clicks, the splitter, and the state icons.

#include "activitylist.h"
#include "fakes.h"
#include "languageform.h"
#include "mainwindow.h"
#include "messages.h"
#include "todolist.h"

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalSpy>
#include <QSplitter>
#include <QSystemTrayIcon>
#include <QTableView>
#include <QTest>
#include <QTimer>

using namespace dorvel;
using namespace Qt::StringLiterals;

namespace {

QString plain(QString caption)
{
    return caption.remove(QLatin1Char('&'));
}

// A to-do list row as the loader fills it, with date-times in the default text form.
QString row(int i)
{
    return QStringLiteral("\t%1\tDas Erste HD\t2026-12-%2 20:15:00\t2026-12-%2 21:45:00\t"
                          "Tatort: Der Fall Holdt\tKrimi\t10\t15\t%3")
        .arg(i)
        .arg(10 + i % 18)
        .arg(202612102005LL + i);
}

void fillTodo(TodoList& todo, int rows)
{
    if (rows == 0)
        return;
    QStringList headers{u" "_s,         u"Num"_s,      u"Channel"_s,   u"STARTTIME"_s, u"ENDTIME"_s,
                        u"SHORTDESC"_s, u"LONGDESC"_s, u"PRERECORD"_s, u"POSTRECORD"_s};
    todo.setHeaders(headers);
    QList<TodoList::Row> list;
    for (int i = 1; i <= rows; ++i)
        list.append({row(i).split(QLatin1Char('\t')), TodoList::RowColour::Default, 0, {}});
    todo.replaceRows(list);
    todo.setColumnWidth(0, 150);
    for (int c = TodoList::Num; c <= TodoList::PostRecord; ++c)
        todo.setColumnWidth(c, todo.savedWidths[c - TodoList::Num]);
    for (int c = TodoList::SortKey; c < TodoList::ColumnCount; ++c)
        todo.setColumnWidth(c, 0);
}

// Drags the splitter bar by dy pixels as a mouse does.
void dragSplitter(QSplitter* splitter, int dy)
{
    QWidget* handle = splitter->handle(1);
    const QPoint local(handle->width() / 2, handle->height() / 2);
    auto send = [&](QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
        QMouseEvent e(type, at, handle->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(handle, &e);
    };
    send(QEvent::MouseButtonPress, local, Qt::LeftButton);
    for (int step = 1; step <= 10; ++step)
        send(QEvent::MouseMove, local + QPoint(0, dy * step / 10), Qt::LeftButton);
    send(QEvent::MouseButtonRelease, local + QPoint(0, dy), Qt::NoButton);
}

// The window with the list and the prompter it shows.
struct Window {
    // The list is filled before the window takes it, as at a start.
    explicit Window(int rows = 0) : filled((fillTodo(todo, rows), rows)) {}
    template <typename W = QWidget> W* child(const char* name) const
    {
        return w.findChild<W*>(QString::fromLatin1(name));
    }
    TodoList todo;
    int filled;
    ActivityList activity;
    test::FakePrompter prompter;
    MainWindow w{todo, activity, prompter};
};

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Each caption follows the chosen language from its own entry of the table.
    void captions_data()
    {
        QTest::addColumn<QString>("language");
        QTest::newRow("eng") << "eng";
        QTest::newRow("deu") << "deu";
    }
    void captions()
    {
        QFETCH(QString, language);
        Window f;
        MainWindow& w = f.w;
        const MessageTable m = MessageTable::forLanguage(language);
        w.applyLanguage(m);
        auto text = [&](const char* name) { return plain(f.child<QPushButton>(name)->text()); };
        QCOMPARE(
            (QStringList{text("Command1"), text("Command2"), text("Command3"), text("Command4"),
                         f.child<QGroupBox>("Frame2")->title(), f.child<QLabel>("Label2")->text()}),
            (QStringList{m.MsgStartViewer, m.MsgGetRecordings, m.MsgSettings, m.MsgDeleteSelection,
                         m.MsgActiveOptions, m.MsgNextEvent}));
        // Standby and the wake-up tool wait until the start has found them.
        QVERIFY(!f.child("Command5")->isEnabled());
        QVERIFY(!f.child("Command6")->isEnabled());
        // Every button has an Alt key of its own.
        QString keys;
        for (QPushButton* b : w.findChildren<QPushButton*>()) {
            const qsizetype amp = b->text().indexOf(QLatin1Char('&'));
            QVERIFY2(amp >= 0, qPrintable(b->text()));
            const QChar key = b->text().at(amp + 1).toLower();
            QVERIFY2(!keys.contains(key), qPrintable(b->text()));
            keys += key;
        }
    }

    // Minimising leaves only the tray icon, where there is a tray; without one the window
    // stays in the task bar, so that it can never be lost. "min" at the start does the same.
    void minimiseToTray_data()
    {
        QTest::addColumn<bool>("tray");
        QTest::addColumn<bool>("startedMin");
        QTest::newRow("tray, minimise button") << true << false;
        QTest::newRow("tray, started with min") << true << true;
        QTest::newRow("no tray, minimise button") << false << false;
        QTest::newRow("no tray, started with min") << false << true;
    }
    void minimiseToTray()
    {
        QFETCH(bool, tray);
        QFETCH(bool, startedMin);
        Window f;
        MainWindow& w = f.w;
        w.trayAvailable = [tray] { return tray; };
        w.showAndRepaint();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        if (startedMin)
            w.minimize();
        else
            w.showMinimized();
        if (tray)
            QTRY_VERIFY(!w.isVisible());
        QCoreApplication::processEvents();
        QCOMPARE(w.isVisible(), !tray);
        QVERIFY(w.isMinimized());
        // The tray's left click brings it back, raised and shown normally.
        auto* icon = f.child<QSystemTrayIcon>("TrayIcon");
        Q_EMIT icon->activated(QSystemTrayIcon::Trigger);
        QTRY_VERIFY(w.isVisible());
        QVERIFY(!w.isMinimized());
    }

    // Left click toggles, double click restores, middle click reloads without showing.
    void trayClicks_data()
    {
        QTest::addColumn<bool>("shownBefore");
        QTest::addColumn<int>("reason");
        QTest::addColumn<bool>("shownAfter");
        QTest::addColumn<int>("reloads");
        QTest::newRow("left click on hidden")
            << false << int(QSystemTrayIcon::Trigger) << true << 0;
        QTest::newRow("left click on shown") << true << int(QSystemTrayIcon::Trigger) << false << 0;
        QTest::newRow("double click on hidden")
            << false << int(QSystemTrayIcon::DoubleClick) << true << 0;
        QTest::newRow("double click on shown")
            << true << int(QSystemTrayIcon::DoubleClick) << true << 0;
        QTest::newRow("middle click on hidden")
            << false << int(QSystemTrayIcon::MiddleClick) << false << 1;
        QTest::newRow("middle click on shown")
            << true << int(QSystemTrayIcon::MiddleClick) << true << 1;
        QTest::newRow("menu opened") << false << int(QSystemTrayIcon::Context) << false << 0;
    }
    void trayClicks()
    {
        QFETCH(bool, shownBefore);
        QFETCH(int, reason);
        QFETCH(bool, shownAfter);
        QFETCH(int, reloads);
        Window f;
        MainWindow& w = f.w;
        w.trayAvailable = [] { return true; };
        QSignalSpy reload(&w, &MainWindow::getRecordingsClicked);
        if (shownBefore) {
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
        }
        auto* icon = f.child<QSystemTrayIcon>("TrayIcon");
        Q_EMIT icon->activated(QSystemTrayIcon::ActivationReason(reason));
        QCoreApplication::processEvents();
        QCOMPARE(w.isVisible(), shownAfter);
        QCOMPARE(reload.count(), reloads);
    }

    // The bar stops where the activity list is 600 twips high and 700 twips below the top of
    // the to-do list; the share is reported for the close handler.
    void splitterLimits_data()
    {
        QTest::addColumn<int>("drag");
        QTest::newRow("down to the end") << 2000;
        QTest::newRow("up to the end") << -2000;
    }
    void splitterLimits()
    {
        QFETCH(int, drag);
        Window f(150);
        MainWindow& w = f.w;
        w.resize(900, 700);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        auto* splitter = f.child<QSplitter>("Label3");
        auto* grid = f.child<QWidget>("MSFlexGrid1");
        auto* list = f.child<QWidget>("List1");
        QSignalSpy ratio(&w, &MainWindow::splitRatioChanged);
        dragSplitter(splitter, drag);
        QVERIFY(!ratio.isEmpty());
        if (drag > 0)
            QCOMPARE(list->height(), w.twipsToPixelsY(600));
        else
            QCOMPARE(grid->height(), w.twipsToPixelsY(700));
        const double reported = ratio.last().at(0).toDouble();
        QCOMPARE(reported, w.splitRatio());
        QVERIFY(qAbs(reported - double(grid->height()) / (grid->height() + list->height())) <
                    0.01 ||
                reported == 0.05 || reported == 0.95);
    }

    // A stored share comes back at the next start; a short list gives its spare room to the
    // activity list.
    void splitRatioApplied_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<double>("ratio");
        QTest::addColumn<bool>("capped");
        QTest::newRow("long list, 30 %") << 150 << 0.3 << false;
        QTest::newRow("long list, 70 %") << 150 << 0.7 << false;
        QTest::newRow("three rows, 70 %") << 3 << 0.7 << true;
    }
    void splitRatioApplied()
    {
        QFETCH(int, rows);
        QFETCH(double, ratio);
        QFETCH(bool, capped);
        Window f(rows);
        MainWindow& w = f.w;
        w.resize(900, 800);
        w.setSplitRatio(ratio);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QList<int> sizes = f.child<QSplitter>("Label3")->sizes();
        const double share = double(sizes.at(0)) / (sizes.at(0) + sizes.at(1));
        if (capped)
            QVERIFY2(share < ratio - 0.1, qPrintable(QString::number(share)));
        else
            QVERIFY2(qAbs(share - ratio) < 0.02, qPrintable(QString::number(share)));
        // The user's share stays what was stored; only the shown heights follow the rows.
        QCOMPARE(w.splitRatio(), ratio);
    }

    // At the default widths every column shows its title and its text whole, at this DPI (the
    // test also runs at 192 DPI); a wider window gives its room to the short description.
    void columnsLegible()
    {
        Window f(5);
        MainWindow& w = f.w;
        w.resize(1000, 600);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        auto* grid = f.child<QTableView>("MSFlexGrid1");
        QHeaderView* header = grid->horizontalHeader();
        const QFontMetrics cellFont(grid->font());
        const QFontMetrics headerFont(header->font());
        const int margin = 2 * (grid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1);
        const int headerMargin = 2 * grid->style()->pixelMetric(QStyle::PM_HeaderMargin);
        for (int c = TodoList::Num; c <= TodoList::PostRecord; ++c) {
            const int section = c - 1;
            QVERIFY(!grid->isColumnHidden(section));
            const int width = header->sectionSize(section);
            const QString title = f.todo.header(c);
            QVERIFY2(headerFont.horizontalAdvance(title) + headerMargin <= width,
                     qPrintable(title));
            if (c == TodoList::LongDesc || c == TodoList::ShortDesc)
                continue; // free text: as long as the user typed it
            const QString text = f.todo.cell(1, c);
            QVERIFY2(cellFont.horizontalAdvance(text) + margin <= width, qPrintable(text));
        }
        const int shortDesc = header->sectionSize(TodoList::ShortDesc - 1);
        const int start = header->sectionSize(TodoList::StartTime - 1);
        // Wider than all columns together by 600 pixels.
        w.resize(w.width() + std::max(0, header->length() - grid->viewport()->width()) + 600, 600);
        QTRY_VERIFY(header->sectionSize(TodoList::ShortDesc - 1) > shortDesc + 300);
        QCOMPARE(header->sectionSize(TodoList::StartTime - 1), start);
        // The stretch is shown, not stored: the column keeps its own width for the next start.
        QCOMPARE(f.todo.columnWidth(TodoList::ShortDesc), 3000);
    }

    // The three states differ in outline, not only in colour; the tip names the program.
    void stateIcons()
    {
        Window f;
        MainWindow& w = f.w;
        auto* tray = f.child<QSystemTrayIcon>("TrayIcon");
        QList<QImage> masks;
        for (auto state : {MainView::StateIcon::Recording, MainView::StateIcon::ViewerRunning,
                           MainView::StateIcon::Idle}) {
            w.setStateIcon(state);
            const QImage image = tray->icon().pixmap(32, 32).toImage();
            QVERIFY(!image.isNull());
            QCOMPARE(w.windowIcon().cacheKey(), tray->icon().cacheKey());
            masks.append(image.createAlphaMask());
        }
        for (int a = 0; a < masks.size(); ++a) {
            QCOMPARE(masks.at(a).size(), QSize(32, 32));
            for (int b = a + 1; b < masks.size(); ++b) {
                int differ = 0;
                for (int y = 0; y < 32; ++y)
                    for (int x = 0; x < 32; ++x)
                        differ += masks.at(a).pixelIndex(x, y) != masks.at(b).pixelIndex(x, y);
                QVERIFY2(differ > 32 * 32 / 20, qPrintable(QString::number(differ)));
            }
        }
        w.setTrayTip(u"Waiting"_s);
        QCOMPARE(tray->toolTip(), u"Dorvel: Waiting"_s);
    }

    void keyboard()
    {
        Window f(5);
        MainWindow& w = f.w;
        int questions = 0;
        w.onQueryClose = [&] {
            ++questions;
            return false;
        };
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        auto* grid = f.child<QTableView>("MSFlexGrid1");
        grid->setFocus();
        QVERIFY(grid->hasFocus());
        QTest::keyClick(grid, Qt::Key_Tab);
        QVERIFY(!grid->hasFocus());
        QTest::keyClick(&w, Qt::Key_Q, Qt::ControlModifier);
        QCOMPARE(questions, 1);
        QVERIFY(w.isVisible());
    }

    // With German chosen, Qt's own buttons speak German too.
    void qtTextsFollowTheLanguage()
    {
        Window f;
        MainWindow& w = f.w;
        w.applyLanguage(MessageTable::forLanguage(u"deu"_s));
        const QString cancel = QCoreApplication::translate("QPlatformTheme", "Cancel");
        if (cancel == u"Cancel"_s)
            QSKIP("Qt's German translations are not installed");
        QCOMPARE(cancel, u"Abbrechen"_s);
        w.applyLanguage(MessageTable::forLanguage(u"eng"_s));
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), u"Cancel"_s);
    }

    // A position stored with a screen that is gone brings the window back on a screen.
    void storedPositionOffScreen()
    {
        Window f;
        MainWindow& w = f.w;
        w.resizeWindow(9000, 6000);
        w.placeWindow(-30000, 30000);
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY(screen.contains(w.pos()));
    }

    void trayMenuOrder()
    {
        Window f;
        MainWindow& w = f.w;
        auto* menu = f.child<QMenu>("mPopupSys");
        QVERIFY(menu);
        // The entries the menu lays out, as the user sees them when it opens.
        auto shown = [menu] {
            QStringList texts;
            for (QAction* a : menu->actions()) {
                if (!menu->actionGeometry(a).isEmpty())
                    texts << (a->isSeparator() ? u"-"_s : a->text());
            }
            return texts;
        };
        const QStringList rest{"&NoShutDown", "-", "&Update", "-", "&Restore", "&Exit"};
        QCOMPARE(shown(), rest); // the wake-up tool is offered only where it is installed
        w.setGoTimerVisible(true);
        QCOMPARE(shown(), QStringList{"&GoNocturo"} + rest);
    }

    void languageFormInsistsOnAChoice()
    {
        test::FakePrompter prompter;
        LanguageForm form(prompter);
        auto* ok = form.findChild<QPushButton*>(u"OKButton"_s);
        ok->click();
        QCOMPARE(prompter.texts(),
                 QStringList{u"Bitte Sprache auswählen / Please select a language"_s});
        QCOMPARE(form.language(), QString());
        form.findChild<QRadioButton*>(u"Option2"_s)->setChecked(true);
        ok->click();
        QCOMPARE(form.language(), u"eng"_s);
        QCOMPARE(form.result(), int(QDialog::Accepted));
        QCOMPARE(form.windowTitle(), u"Sprache auswählen / Select Language"_s);
        // Wide enough for its title; Enter presses OK.
        QVERIFY(form.minimumWidth() > form.fontMetrics().horizontalAdvance(form.windowTitle()));
        QVERIFY(ok->isDefault());
    }

    // Widths go from the list to the view in twips and the user's drags come back.
    void columnWidthsRoundTrip()
    {
        Window f;
        MainWindow& w = f.w;
        auto* grid = f.child<QTableView>("MSFlexGrid1");
        f.todo.setColumnWidth(TodoList::ShortDesc, 1440);
        f.todo.setColumnWidth(TodoList::Channel, 1000);
        f.todo.setColumnWidth(TodoList::SortKey, 0);
        QCOMPARE(grid->horizontalHeader()->sectionSize(TodoList::ShortDesc - 1),
                 w.twipsToPixelsX(1440));
        QVERIFY(grid->isColumnHidden(TodoList::SortKey - 1));
        grid->horizontalHeader()->resizeSection(TodoList::Channel - 1, w.twipsToPixelsX(2880));
        QCOMPARE(f.todo.columnWidth(TodoList::Channel), 2880);
    }

    void closeAsksTheLogic()
    {
        Window f;
        MainWindow& w = f.w;
        int unloads = 0;
        bool allow = false;
        w.onQueryClose = [&] { return allow; };
        w.onUnload = [&] { ++unloads; };
        w.show();
        QVERIFY(!w.close());
        QCOMPARE(unloads, 0);
        allow = true;
        QVERIFY(w.close());
        QCOMPARE(unloads, 1);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
