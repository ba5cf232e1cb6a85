#pragma once

#include <QDBusConnection>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace dorvel {

class SettingsStore;

// What a PC needs before Dorvel can record unattended: wake by RTC, power-off and suspend
// without a password, the wake-up tool, a desktop that logs in and starts Dorvel by itself.
struct ReadinessItem {
    enum class State { Ok, Problem, Unknown, Note };
    QString name;
    State state = State::Ok;
    QString detail;     // what was found
    QString fix;        // how to put it right; empty when nothing is to do
    bool needed = true; // a Problem or Unknown here keeps the PC from being ready
};

struct ReadinessInputs {
    QString root = QStringLiteral("/"); // where sys/, proc/, dev/ and etc/ are
    QString programFolder;              // dorvel and Nocturo.exe
    QString configHome;                 // $XDG_CONFIG_HOME: autostart/, KDE's power settings
    QString userName;
    QDBusConnection systemBus{QString()};
    const SettingsStore* store = nullptr; // the wake-up tool's "installed" mark
    // Runs a desktop's settings tool (gsettings, xfconf-query) and gives its output; empty
    // when it is missing or fails.
    std::function<QString(const QString& program, const QStringList& args)> runCommand;
    int busTimeoutMs = 5000;
};

// The real PC: "/", the system bus, the user's folders and settings tools.
ReadinessInputs systemReadinessInputs(const QString& programFolder, const SettingsStore& store);

QList<ReadinessItem> checkPowerReadiness(const ReadinessInputs& in);
// True when no needed item is a Problem or Unknown.
bool isReadyForUnattendedRecording(const QList<ReadinessItem>& items);
// The report as dorvel --check-power prints it and the settings dialog shows it.
QString formatReadiness(const QList<ReadinessItem>& items);

} // namespace dorvel
