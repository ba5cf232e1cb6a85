// Wires the real backends together: the settings store, the viewer database, the process
// table, the power backend (logind or simulated), and the main window.

#include "app.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    return dorvel::runApplication(argc, argv);
}
