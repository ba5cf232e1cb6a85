#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace dorvel {

// Options of this platform. None of them contains "min" or "cmos", which are switches
// matched anywhere in the command line.
inline const QString kSimulatePower = QStringLiteral("--simulate-power");
inline const QString kMirrorActivity = QStringLiteral("--mirror-activity");
inline const QString kQuitWhenIdle = QStringLiteral("--quit-when-idle");
inline const QString kHelp = QStringLiteral("--help");
inline const QString kHelpShort = QStringLiteral("-h");
inline const QString kVersion = QStringLiteral("--version");
inline const QString kCheckPower = QStringLiteral("--check-power");

struct ProgramOption {
    QStringList names; // the spellings that are accepted, as --help shows them
    QString description;
};

// Every option the program accepts, in the order --help lists them. The check of the
// command line accepts exactly these, so the help cannot miss one.
const QList<ProgramOption>& programOptions();

struct OptionsCheck {
    enum class Outcome { Run, Help, Version, CheckPower, Unknown };
    Outcome outcome = Outcome::Run;
    QString unknown; // the first argument that is not accepted
};

// An argument that begins with "-" must be an option of the table, unless it contains
// "min" or "cmos" (in any case): those words are switches wherever they appear. Any other
// word is left to the switch test, as before. The first help, version or unknown decides.
OptionsCheck checkOptions(const QStringList& argsWithoutProgram);

// The --help text; `programFolder` is where dorvel (and its wake-up tool) live.
QString helpText(const QString& programFolder);
QString versionText();

// Answers --help and --version and refuses unknown options before anything starts (no
// display is needed for them). Returns the exit status when the program must end now.
std::optional<int> handleCommandLineOptions(int argc, char* argv[]);

} // namespace dorvel
