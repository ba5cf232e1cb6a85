// vm-press: presses a button of a running program through the accessibility bus, as a
// screen reader would, once the button is there and enabled. Runs inside the guest.
//   vm-press <application name> <button name> [seconds to wait, default 60]

#include "atspi.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <cstdio>

using dorvel::test::AtSpi;

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() < 2 || args.size() > 3) {
        std::fprintf(stderr, "usage: vm-press <application> <button> [seconds]\n");
        return 2;
    }
    const int limitMs = (args.size() == 3 ? args.at(2).toInt() : 60) * 1000;
    QElapsedTimer clock;
    clock.start();
    AtSpi a11y;
    while (!a11y.connect()) {
        if (clock.elapsed() > limitMs) {
            std::fprintf(stderr, "vm-press: no accessibility bus\n");
            return 1;
        }
        QThread::msleep(500);
    }
    const QString button = QStringLiteral("push button");
    while (clock.elapsed() <= limitMs) {
        if (const auto root = a11y.application(args.at(0))) {
            const auto node = a11y.find(*root, button, args.at(1));
            if (node && a11y.hasState(*node, AtSpi::Enabled) && a11y.press(*node)) {
                std::printf("vm-press: pressed \"%s\" of %s\n", qPrintable(args.at(1)),
                            qPrintable(args.at(0)));
                return 0;
            }
        }
        QThread::msleep(500);
    }
    std::fprintf(stderr, "vm-press: no enabled button \"%s\" in %s\n", qPrintable(args.at(1)),
                 qPrintable(args.at(0)));
    return 1;
}
