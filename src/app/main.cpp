// Wires the real backends together: the settings store, the viewer database, the process
// table, the power backend (logind or simulated), and the main window.

#include "app.h"
#include "options.h"

#include <QGuiApplication>

int main(int argc, char* argv[])
{
    if (const std::optional<int> status = dorvel::handleCommandLineOptions(argc, argv))
        return *status;
    // Ties the windows to the menu entry (its icon; on Wayland the app id).
    QGuiApplication::setDesktopFileName(QStringLiteral(DORVEL_APP_ID));
    return dorvel::runApplication(argc, argv);
}
