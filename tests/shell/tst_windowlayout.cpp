// The main window's layout rules: the split between the two lists and a stored position that
// no screen shows any more.

#include "windowlayout.h"

#include <QTest>

using namespace dorvel::windowlayout;

class TestWindowLayout : public QObject {
    Q_OBJECT
private Q_SLOTS:
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
        QTEST(todoListHeight(total, ratio, wanted, 47, 40), "height");
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
        QTEST(splitRatioOf(todo, activity), "ratio");
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
        QTEST(visibleTopLeft(window, screens), "topLeft");
    }
};

QTEST_GUILESS_MAIN(TestWindowLayout)
#include "tst_windowlayout.moc"
