// The real dorvel on a real X server: a title is edited in place with the mouse and the
// keyboard (double-click, type, Enter), and the viewer database holds the new title.

#include "sandbox.h"

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScopeGuard>
#include <QScreen>

using namespace dorvel::test;

namespace {

bool xdotool(const QStringList& args)
{
    return xdo(args).has_value();
}

bool isHeaderCyan(QRgb p)
{
    // The style shades the sections a little.
    return qRed(p) < 110 && qGreen(p) > 200 && qBlue(p) > 200 && qAbs(qGreen(p) - qBlue(p)) < 20;
}

// The middle of the first data row's cell in the given column of the to-do list, found as a
// user finds it: just below the cyan header row, the cells are told apart by the grid lines
// between them. Nothing while the list is not on the screen.
std::optional<QPoint> firstRowCell(const QImage& screen, int column)
{
    const auto cyanIn = [&](int y) {
        int n = 0;
        for (int x = 0; x < screen.width(); ++x)
            n += isHeaderCyan(screen.pixel(x, y));
        return n;
    };
    int y = 0;
    while (y < screen.height() && cyanIn(y) < 200)
        ++y;
    while (y < screen.height() && cyanIn(y) >= 200)
        ++y;
    const int lineY = y + 2; // inside the first row, above its texts
    if (lineY >= screen.height() - 10)
        return std::nullopt;
    const auto white = [&](int x) { return screen.pixel(x, lineY) == qRgb(255, 255, 255); };
    int cell = 0;
    for (int x = 0; x < screen.width();) {
        if (!white(x)) {
            ++x;
            continue;
        }
        const int from = x;
        while (x < screen.width() && white(x))
            ++x;
        if (x - from >= 10 && ++cell == column)
            return QPoint((from + x) / 2, y + 8);
    }
    return std::nullopt;
}

} // namespace

class TestE2EEdit : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void titleEditedInPlace()
    {
        QVERIFY2(QGuiApplication::platformName() == QLatin1String("xcb"), "needs an X server");
        // The window in the top left corner.
        const auto box = E2ESandbox::empty({{"ShutDownType", "Never"},
                                            {"HPos", "0"},
                                            {"VPos", "0"},
                                            {"HSize", "15000"},
                                            {"VSize", "6000"}});
        QVERIFY(box->ok);
        const QDateTime start = QDateTime::currentDateTime().addDays(1);
        QVERIFY(box->addEntry(1, start, start.addSecs(3600), QStringLiteral("Old title"), 2, 2));
        box->onDisplay();

        auto dorvel = box->start();
        QVERIFY(dorvel.waitFor(" 1 Recordings added to ToDo list", 20000));

        // The title cell, found on the screen as a user finds it.
        std::optional<QPoint> title;
        QElapsedTimer shown;
        shown.start();
        QImage screen;
        while (!title && shown.elapsed() < 10000) {
            QTest::qWait(200);
            screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
            title = firstRowCell(screen, 5); // SHORTDESC
        }
        if (!title)
            screen.save(QDir::temp().filePath(QStringLiteral("tst_e2e_edit.png")));
        // A viewer of another program on this machine counts as the user's viewer.
        QVERIFY2(QProcess::execute(QStringLiteral("pgrep"),
                                   {QStringLiteral("-f"), QStringLiteral("Orbivu.EXE")}) != 0,
                 "a viewer is running: no edit box can open");
        QVERIFY2(title, "no to-do list on the screen");

        QVERIFY(xdotool({"mousemove", QString::number(title->x()), QString::number(title->y()),
                         "click", "--repeat", "2", "--delay", "120", "1"}));
        QTest::qWait(500);
        QVERIFY(xdotool({"key", "--delay", "50", "ctrl+a"}));
        QVERIFY(xdotool({"type", "--delay", "30", "New title"}));
        const QImage typed = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
        QVERIFY(xdotool({"key", "Return"}));
        const auto keepScreen = qScopeGuard([&] {
            if (QTest::currentTestFailed())
                typed.save(QDir::temp().filePath(QStringLiteral("tst_e2e_edit.png")));
        });

        QVERIFY2(dorvel.waitFor(":   Recordings edited", 15000), dorvel.out);
        QVERIFY(dorvel.waitFor(" 1 Recordings added to ToDo list\n", 5000));
        QCOMPARE(box->recordsTitled(QStringLiteral("New title")), 1);
        QCOMPARE(box->recordsTitled(QStringLiteral("Old title")), 0);
        QVERIFY(dorvel.terminate());
    }
};

QTEST_MAIN(TestE2EEdit)
#include "tst_e2e_edit.moc"
