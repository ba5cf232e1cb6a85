#include "options.h"

#include "powerreadiness.h"
#include "settingsstore.h"
#include "system.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <cstdio>

namespace dorvel {

namespace {

void print(FILE* to, const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), to);
    std::fflush(to);
}

bool isSwitchWord(const QString& arg)
{
    return arg.contains(QLatin1String("min"), Qt::CaseInsensitive) ||
           arg.contains(QLatin1String("cmos"), Qt::CaseInsensitive);
}

QString column(const QString& left, const QString& right)
{
    return QStringLiteral("  ") + left.leftJustified(22) + right + QLatin1Char('\n');
}

QString configFile(const QString& app)
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QLatin1Char('/') + app + QLatin1Char('/') + app + QStringLiteral(".conf");
}

} // namespace

const QList<ProgramOption>& programOptions()
{
    static const QList<ProgramOption> options = {
        {{kSimulatePower},
         QStringLiteral("carry out no power-off, standby or wake alarm: each request goes to\n"
                        "the event log and the activity list and reports success")},
        {{kMirrorActivity},
         QStringLiteral("also print every activity-list line to standard output (automatic\n"
                        "without a display)")},
        {{kQuitWhenIdle}, QStringLiteral("end as soon as start-up is done (for measurements)")},
        {{kCheckPower},
         QStringLiteral("tell whether this PC is ready for unattended recording (wake by RTC,\n"
                        "power-off and suspend without a password, wake-up tool, autostart,\n"
                        "automatic login) and how to put right what is not; exit status 0\n"
                        "only when it is ready")},
        {{kHelpShort, kHelp}, QStringLiteral("show this help and end")},
        {{kVersion}, QStringLiteral("show the version and end")},
    };
    return options;
}

OptionsCheck checkOptions(const QStringList& argsWithoutProgram)
{
    for (const QString& arg : argsWithoutProgram) {
        if (arg == kHelp || arg == kHelpShort)
            return {OptionsCheck::Outcome::Help, {}};
        if (arg == kVersion)
            return {OptionsCheck::Outcome::Version, {}};
        if (arg == kCheckPower)
            return {OptionsCheck::Outcome::CheckPower, {}};
        if (!arg.startsWith(QLatin1Char('-')) || isSwitchWord(arg))
            continue;
        bool known = false;
        for (const ProgramOption& option : programOptions())
            known = known || option.names.contains(arg);
        if (!known)
            return {OptionsCheck::Outcome::Unknown, arg};
    }
    return {};
}

QString versionText()
{
    return QStringLiteral("dorvel %1\n").arg(QStringLiteral(DORVEL_VERSION));
}

QString helpText(const QString& programFolder)
{
    QString text = QStringLiteral(
        "Usage: dorvel [min] [cmos] [OPTION]...\n"
        "Makes unattended TV recordings with the viewer Orbivu: starts the viewer for each\n"
        "timer entry of its database and decides afterwards whether the PC stays on, sleeps\n"
        "or powers off.\n\n"
        "Switches (found anywhere in the command line, in any letter case):\n");
    text += column(QStringLiteral("min"), QStringLiteral("start minimised to the tray"));
    text += column(QStringLiteral("cmos"),
                   QStringLiteral("start in wake-up-tool mode (when Nocturo is installed)"));
    text += QStringLiteral("\nOptions:\n");
    for (const ProgramOption& option : programOptions()) {
        const QStringList lines = option.description.split(QLatin1Char('\n'));
        text += column(option.names.join(QStringLiteral(", ")), lines.first());
        for (qsizetype i = 1; i < lines.size(); ++i)
            text += column(QString(), lines.at(i));
    }
    const QString logFolder = logFolderFor(programFolder, false);
    const QString autostart =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
        QStringLiteral("/autostart/Dorvel.desktop");
    text += QStringLiteral("\nFiles:\n");
    text += column(QStringLiteral("settings"),
                   configFile(QStringLiteral("Dorvel")) + QStringLiteral(" [Startup]"));
    text += column(QStringLiteral("event log"),
                   logFolder + QStringLiteral("/Dorvel.log (when SaveLog is on)"));
    text += column(QStringLiteral("autostart entry"), autostart);
    text += column(QStringLiteral("wake-up tool"), programFolder + QStringLiteral("/Nocturo.exe"));
    text += column(QStringLiteral("viewer"),
                   QStringLiteral("the folder of the database (OrbivuDBPath) holds Orbivu.EXE,"));
    text += column(QString(), QStringLiteral("settings.ini and Database/Orbivu.mdb"));
    text += column(QStringLiteral("read only"), configFile(QStringLiteral("OrbivuCHedit")));
    text += column(QString(), configFile(QStringLiteral("Nocturo")));
    text += QStringLiteral(
        "\nEvery event-log line and every message also goes to standard error, with its\n"
        "level, so that the messages of an autostarted Dorvel reach the journal.\n"
        "Exit status: 0, or 2 for an unknown option; with --check-power 1 when the PC is\n"
        "not ready.\n");
    return text;
}

std::optional<int> handleCommandLineOptions(int argc, char* argv[])
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    const OptionsCheck check = checkOptions(args);
    switch (check.outcome) {
    case OptionsCheck::Outcome::Run:
        return std::nullopt;
    case OptionsCheck::Outcome::Version:
        print(stdout, versionText());
        return 0;
    case OptionsCheck::Outcome::Unknown:
        print(stderr, QStringLiteral("dorvel: unknown option '%1'\n"
                                     "Try 'dorvel --help' for the switches and options.\n")
                          .arg(check.unknown));
        return 2;
    case OptionsCheck::Outcome::CheckPower: {
        QCoreApplication app(argc, argv);
        const QtSettingsStore store;
        const QList<ReadinessItem> items = checkPowerReadiness(
            systemReadinessInputs(QCoreApplication::applicationDirPath(), store));
        print(stdout, formatReadiness(items));
        return isReadyForUnattendedRecording(items) ? 0 : 1;
    }
    case OptionsCheck::Outcome::Help:
        break;
    }
    // The program's folder through any symbolic link, as the running program finds it.
    QCoreApplication app(argc, argv);
    print(stdout, helpText(QCoreApplication::applicationDirPath()));
    return 0;
}

} // namespace dorvel
