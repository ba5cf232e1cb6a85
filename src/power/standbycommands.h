#pragma once

#include <QString>

namespace dorvel {

class AfterRecording;
struct PowerServices;

// The three user commands that lead into power management: the StandBy button, the
// wake-tool button and tray item, and the settings dialog's standby test.
class StandbyCommands {
public:
    StandbyCommands(PowerServices& services, AfterRecording& after) : m(services), m_after(after) {}

    void standByCommand();
    void wakeToolCommand();
    void standbyTest();

    // The test's warning, ten lines joined by CR LF; German for "deu", English otherwise.
    static QString standbyTestWarning(const QString& language);

private:
    PowerServices& m;
    AfterRecording& m_after;
};

} // namespace dorvel
