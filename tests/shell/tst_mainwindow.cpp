// The main window offscreen and under Xvfb: the language form, the column widths
// that the to-do list and the view share, the tray, closing, and the layout rules.

#include "activitylist.h"
#include "fakes.h"
#include "languageform.h"
#include "mainwindow.h"
#include "messages.h"
#include "todolist.h"
#include "windowlayout.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTableView>
#include <QTest>

using namespace dorvel;
using namespace Qt::StringLiterals;

namespace {

// Rows as the loader fills them, with date-times in the default text form.
void fillTodo(TodoList& todo, int rows)
{
    if (rows == 0)
        return;
    QStringList headers{u" "_s,         u"Num"_s,      u"Channel"_s,   u"STARTTIME"_s, u"ENDTIME"_s,
                        u"SHORTDESC"_s, u"LONGDESC"_s, u"PRERECORD"_s, u"POSTRECORD"_s};
    todo.setHeaders(headers);
    QList<TodoList::Row> list;
    for (int i = 1; i <= rows; ++i) {
        const QString row = u"\t%1\tDas Erste HD\t2026-12-%2 20:15:00\t2026-12-%2 21:45:00\t"
                            "Tatort: Der Fall Holdt\tKrimi\t10\t15\t%3"_s.arg(i)
                                .arg(10 + i % 18)
                                .arg(202612102005LL + i);
        list.append({row.split(QLatin1Char('\t')), TodoList::RowColour::Default, 0, {}});
    }
    todo.replaceRows(list);
    todo.setColumnWidth(0, 150);
    for (int c = TodoList::Num; c <= TodoList::PostRecord; ++c)
        todo.setColumnWidth(c, todo.savedWidths[c - TodoList::Num]);
    for (int c = TodoList::SortKey; c < TodoList::ColumnCount; ++c)
        todo.setColumnWidth(c, 0);
}

// The font at twice its size, however its size is given.
QFont doubled(QFont font)
{
    if (font.pointSizeF() > 0)
        font.setPointSizeF(font.pointSizeF() * 2);
    else
        font.setPixelSize(font.pixelSize() * 2);
    return font;
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
    // Minimising, by the button or by "min" at the start, leaves only the tray icon where there
    // is a tray; without one the window stays in the task bar, so that it can never be lost.
    // Left click toggles, double click restores, middle click reloads without showing.
    void tray_data()
    {
        QTest::addColumn<bool>("tray");
        QTest::addColumn<QString>("before"); // shown, hidden, or minimised by "button" or "min"
        QTest::addColumn<QSystemTrayIcon::ActivationReason>("reason");
        QTest::addColumn<bool>("shownAfter");
        QTest::addColumn<int>("reloads");
        const auto left = QSystemTrayIcon::Trigger, twice = QSystemTrayIcon::DoubleClick;
        QTest::addRow("tray, minimise button") << true << "button" << left << true << 0;
        QTest::addRow("tray, started with min") << true << "min" << left << true << 0;
        QTest::addRow("no tray, minimise button") << false << "button" << left << true << 0;
        QTest::addRow("no tray, started with min") << false << "min" << left << true << 0;
        QTest::addRow("left click on hidden") << true << "hidden" << left << true << 0;
        QTest::addRow("left click on shown") << true << "shown" << left << false << 0;
        QTest::addRow("double click on hidden") << true << "hidden" << twice << true << 0;
        QTest::addRow("double click on shown") << true << "shown" << twice << true << 0;
        QTest::addRow("middle click on hidden")
            << true << "hidden" << QSystemTrayIcon::MiddleClick << false << 1;
        QTest::addRow("menu opened") << true << "hidden" << QSystemTrayIcon::Context << false << 0;
    }
    void tray()
    {
        QFETCH(bool, tray);
        QFETCH(QString, before);
        QFETCH(QSystemTrayIcon::ActivationReason, reason);
        QFETCH(bool, shownAfter);
        Window f;
        MainWindow& w = f.w;
        w.trayAvailable = [tray] { return tray; };
        QSignalSpy reload(&w, &MainWindow::getRecordingsClicked);
        if (before != "hidden") {
            w.showAndRepaint();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
        }
        if (before == "button" || before == "min") {
            before == "min" ? w.minimize() : w.showMinimized();
            if (tray)
                QTRY_VERIFY(!w.isVisible());
            QCoreApplication::processEvents();
            QCOMPARE(w.isVisible(), !tray);
            QVERIFY(w.isMinimized());
        }
        Q_EMIT f.child<QSystemTrayIcon>("TrayIcon")->activated(reason);
        QCoreApplication::processEvents();
        QTRY_COMPARE(w.isVisible(), shownAfter);
        QVERIFY(!shownAfter || !w.isMinimized()); // raised and shown normally
        QTEST(int(reload.count()), "reloads");
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
            QVERIFY(!grid->isColumnHidden(c - 1));
            const int width = header->sectionSize(c - 1);
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

    // Cyan headers, timed-out entries in their colour, and a red clock while nothing is
    // started: what the user goes by at a glance.
    void colours()
    {
        Window f(2);
        f.w.resize(1000, 600);
        f.w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.w));
        const auto share = [](QWidget* w, bool (*isColour)(QRgb)) {
            const QImage img = w->grab().toImage();
            int n = 0;
            for (int y = 0; y < img.height(); ++y) {
                for (int x = 0; x < img.width(); ++x)
                    n += isColour(img.pixel(x, y));
            }
            return double(n) / (img.width() * img.height());
        };
        const auto cyan = [](QRgb p) { return qRed(p) < 40 && qGreen(p) > 230 && qBlue(p) > 230; };
        const auto red = [](QRgb p) { return qRed(p) > 200 && qGreen(p) < 60 && qBlue(p) < 60; };
        auto* grid = f.child<QTableView>("MSFlexGrid1");
        QVERIFY(share(grid->horizontalHeader(), cyan) > 0.5);
        // A timed-out entry is painted in its colour, the others not.
        const auto timedOut = [](QRgb p) {
            return qRed(p) == 255 && qGreen(p) == 120 && qBlue(p) == 120;
        };
        QCOMPARE(share(grid->viewport(), timedOut), 0.0);
        f.todo.setRowColour(1, TodoList::RowColour::TimedOut);
        const double oneRow = share(grid->viewport(), timedOut);
        QVERIFY(oneRow > 0);
        f.todo.setRowColour(2, TodoList::RowColour::TimedOut);
        QVERIFY(share(grid->viewport(), timedOut) > 1.5 * oneRow);
        auto* clock = f.child<QLabel>("Label1");
        f.w.setClockText(u"2026-12-06 21:44:01"_s);
        f.w.setClockRed(true);
        QVERIFY(share(clock, red) > 0);
        f.w.setClockRed(false);
        QCOMPARE(share(clock, red), 0.0);
    }

    // The clock keeps its size while the seconds tick, and fits every text it shows, in any
    // font.
    void clockSize()
    {
        Window f;
        f.w.show();
        auto* clock = f.child<QLabel>("Label1");
        const auto fits = [clock](const QString& text) {
            return clock->sizeHint().width() >= clock->fontMetrics().horizontalAdvance(text) &&
                   clock->minimumSizeHint().width() >= clock->fontMetrics().horizontalAdvance(text);
        };
        f.w.setClockText(u"2026-12-06 21:44:01"_s);
        const QSize ticking = clock->sizeHint();
        for (const QString& t :
             {u"2026-12-06 21:44:02"_s, u"2026-12-06 11:11:11"_s, u"2026-12-06 08:48:58"_s}) {
            f.w.setClockText(t);
            QCOMPARE(clock->sizeHint(), ticking);
            QVERIFY2(fits(t), qPrintable(t));
        }
        const QString notStarted = u"Not started: no recordings loaded yet"_s;
        f.w.setClockText(notStarted);
        QVERIFY(fits(notStarted));
        clock->setFont(doubled(clock->font()));
        QVERIFY(fits(notStarted));
        f.w.setClockText(u"2026-12-06 21:44:03"_s);
        QVERIFY(fits(u"2026-12-06 21:44:03"_s));
        QVERIFY(clock->sizeHint().width() > ticking.width());
    }

    // The header fits its titles in whatever font it is given.
    void headerFollowsItsFont()
    {
        Window f(2);
        f.w.show();
        QHeaderView* header = f.child<QTableView>("MSFlexGrid1")->horizontalHeader();
        const int before = header->sizeHint().height();
        QVERIFY(before >= header->fontMetrics().height());
        const QFont big = doubled(header->font());
        header->setFont(big);
        QVERIFY(header->sizeHint().height() >= QFontMetrics(big).height());
        QVERIFY(header->sizeHint().height() > before);
    }

    // Widths go from the list to the view in twips and the user's drags come back.
    void columnWidthsRoundTrip()
    {
        Window f;
        auto* grid = f.child<QTableView>("MSFlexGrid1");
        f.todo.setColumnWidth(TodoList::ShortDesc, 1440);
        f.todo.setColumnWidth(TodoList::Channel, 1000);
        f.todo.setColumnWidth(TodoList::SortKey, 0);
        QCOMPARE(grid->horizontalHeader()->sectionSize(TodoList::ShortDesc - 1),
                 f.w.twipsToPixelsX(1440));
        QVERIFY(grid->isColumnHidden(TodoList::SortKey - 1));
        grid->horizontalHeader()->resizeSection(TodoList::Channel - 1, f.w.twipsToPixelsX(2880));
        QCOMPARE(f.todo.columnWidth(TodoList::Channel), 2880);
    }

    // Tab leaves the list; Ctrl+Q and the close button ask the logic, which may refuse.
    void keyboardAndClose()
    {
        Window f(5);
        MainWindow& w = f.w;
        int questions = 0, unloads = 0;
        bool allow = false;
        w.onQueryClose = [&] { return ++questions, allow; };
        w.onUnload = [&] { ++unloads; };
        w.show();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        auto* grid = f.child<QTableView>("MSFlexGrid1");
        grid->setFocus();
        QTest::keyClick(grid, Qt::Key_Tab);
        QVERIFY(!grid->hasFocus());
        QTest::keyClick(&w, Qt::Key_Q, Qt::ControlModifier);
        QCOMPARE(questions, 1);
        QVERIFY(w.isVisible());
        QVERIFY(!w.close());
        QCOMPARE(unloads, 0);
        allow = true;
        QVERIFY(w.close());
        QCOMPARE(unloads, 1);
    }

    // A position stored with a screen that is gone brings the window back on a screen.
    void storedPositionOffScreen()
    {
        Window f;
        f.w.resizeWindow(9000, 6000);
        f.w.placeWindow(-30000, 30000);
        QVERIFY(QGuiApplication::primaryScreen()->availableGeometry().contains(f.w.pos()));
    }

    // The form insists on a choice; it is wide enough for its title, and Enter presses OK.
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
        QVERIFY(form.minimumWidth() > form.fontMetrics().horizontalAdvance(form.windowTitle()));
        QVERIFY(ok->isDefault());
    }

    void todoHeight_data()
    {
        QTest::addColumn<int>("total");
        QTest::addColumn<double>("ratio");
        QTest::addColumn<int>("wanted"); // what the rows need; 0: no cap
        QTest::addColumn<int>("height");
        // Minimums: to-do list 47, activity list 40.
        QTest::addRow("half") << 600 << 0.5 << 0 << 300;
        QTest::addRow("capped by the rows") << 600 << 0.5 << 120 << 120;
        QTest::addRow("rows need more than the share") << 600 << 0.5 << 500 << 300;
        QTest::addRow("ratio below range counts as 0.05") << 1000 << 0.0 << 0 << 50;
        QTest::addRow("ratio above range counts as 0.95") << 1000 << 2.5 << 0 << 950;
        QTest::addRow("activity list keeps its minimum") << 500 << 0.95 << 0 << 460;
        QTest::addRow("to-do list keeps its minimum") << 500 << 0.05 << 0 << 47;
        QTest::addRow("no room at all") << 60 << 0.5 << 0 << 47;
    }
    void todoHeight()
    {
        QFETCH(int, total);
        QFETCH(double, ratio);
        QFETCH(int, wanted);
        QTEST(windowlayout::todoListHeight(total, ratio, wanted, 47, 40), "height");
    }

    void ratio_data()
    {
        QTest::addColumn<int>("todo");
        QTest::addColumn<int>("activity");
        QTest::addColumn<double>("ratio");
        QTest::addRow("a quarter") << 100 << 300 << 0.25;
        QTest::addRow("all to-do list") << 400 << 0 << 0.95;
        QTest::addRow("all activity list") << 0 << 400 << 0.05;
        QTest::addRow("nothing laid out yet") << 0 << 0 << 0.5;
    }
    void ratio()
    {
        QFETCH(int, todo);
        QFETCH(int, activity);
        QTEST(windowlayout::splitRatioOf(todo, activity), "ratio");
    }

    void visibleScreen_data()
    {
        QTest::addColumn<QRect>("window");
        QTest::addColumn<QPoint>("topLeft");
        // Two screens side by side: 0..1919 and 1920..3199 wide.
        QTest::addRow("on the second screen") << QRect(2000, 50, 800, 600) << QPoint(2000, 50);
        QTest::addRow("partly off, title bar seen")
            << QRect(1800, 900, 800, 600) << QPoint(1800, 900);
        QTest::addRow("a screen that is gone") << QRect(5000, 100, 800, 600) << QPoint(1120, 100);
        QTest::addRow("title bar above the top") << QRect(100, -20, 800, 600) << QPoint(100, 0);
        QTest::addRow("larger than the screen") << QRect(-9000, -9000, 3000, 2000) << QPoint(0, 0);
    }
    void visibleScreen()
    {
        QFETCH(QRect, window);
        const QList<QRect> screens{QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)};
        QTEST(windowlayout::visibleTopLeft(window, screens), "topLeft");
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
