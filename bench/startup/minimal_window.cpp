// The anchor: the smallest Qt Widgets program that opens one window and reaches its idle loop.

#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("minimal"));
    // "--label": the same window laid out around one line of text before it is shown, as a
    // window that shows text must be; that makes Qt load its font database.
    if (app.arguments().contains(QStringLiteral("--label"))) {
        (new QVBoxLayout(&window))->addWidget(new QLabel(QStringLiteral("minimal"), &window));
        window.adjustSize();
    }
    window.show();
    // "--stay" keeps it idling, as the anchor of the idle-CPU benchmark.
    if (!app.arguments().contains(QStringLiteral("--stay")))
        QTimer::singleShot(0, &app, &QCoreApplication::quit);
    return app.exec();
}
