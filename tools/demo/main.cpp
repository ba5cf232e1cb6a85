// dorvel-demo: makes a sandbox in which dorvel runs against the stand-in viewer, or appends
// one entry to a viewer database.

#include "sandbox.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>

namespace {

void print(FILE* to, const QString& text)
{
    std::fputs(qPrintable(text + QLatin1Char('\n')), to);
}

int fail(const QString& text)
{
    print(stderr, QStringLiteral("dorvel-demo: ") + text);
    return 1;
}

std::optional<int> wholeNumber(const QString& text)
{
    bool ok = false;
    const int v = text.toInt(&ok);
    return ok ? std::optional<int>(v) : std::nullopt;
}

int addEntry(const QStringList& args)
{
    if (args.size() < 5 || args.size() > 7)
        return fail(QStringLiteral("usage: dorvel-demo --add-entry <db> <channelnum> "
                                   "\"<yyyy.MM.dd HH:mm>\" \"<yyyy.MM.dd HH:mm>\" <title> "
                                   "[pre] [post]"));
    dorvel::demo::NewEntry e;
    e.database = args.at(0);
    const auto channel = wholeNumber(args.at(1));
    const auto pre = args.size() > 5 ? wholeNumber(args.at(5)) : std::optional<int>(0);
    const auto post = args.size() > 6 ? wholeNumber(args.at(6)) : std::optional<int>(0);
    if (!channel || !pre || !post)
        return fail(QStringLiteral("channel number, pre and post minutes must be whole numbers"));
    e.channel = *channel;
    e.start = args.at(2);
    e.end = args.at(3);
    e.title = args.at(4);
    e.pre = *pre;
    e.post = *post;
    qint64 rowId = 0;
    if (const QString error = dorvel::demo::addEntry(e, &rowId); !error.isEmpty())
        return fail(error);
    print(stdout, QStringLiteral("Added entry %1: channel %2, %3 - %4, %5")
                      .arg(rowId)
                      .arg(e.channel)
                      .arg(e.start, e.end, e.title));
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("dorvel-demo"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Creates a sandbox folder in which dorvel runs against the stand-in viewer:\n"
        "  viewer/Orbivu.EXE, viewer/settings.ini, viewer/Database/Orbivu.mdb,\n"
        "  recordings/ and config/Dorvel/Dorvel.conf (use XDG_CONFIG_HOME=<folder>/config).\n"
        "With --add-entry: dorvel-demo --add-entry <db> <channelnum> \"<yyyy.MM.dd HH:mm>\" "
        "\"<yyyy.MM.dd HH:mm>\" <title> [pre] [post]"));
    parser.addHelpOption();
    const QCommandLineOption entries(QStringLiteral("entries"),
                                     QStringLiteral("Generate N entries spread over the future "
                                                    "instead of the standard demo (0 to 100000)."),
                                     QStringLiteral("N"));
    const QCommandLineOption language(QStringLiteral("language"),
                                      QStringLiteral("dorvel's language: eng or deu."),
                                      QStringLiteral("eng|deu"), QStringLiteral("eng"));
    const QCommandLineOption standin(QStringLiteral("standin"),
                                     QStringLiteral("The stand-in viewer to copy (default: "
                                                    "orbivu-standin next to this program)."),
                                     QStringLiteral("PATH"));
    const QCommandLineOption now(QStringLiteral("now"),
                                 QStringLiteral("Place the entries relative to this local time "
                                                "instead of the current time."),
                                 QStringLiteral("yyyy-MM-dd HH:mm"));
    const QCommandLineOption force(QStringLiteral("force"),
                                   QStringLiteral("Use a folder that exists and is not empty."));
    const QCommandLineOption add(QStringLiteral("add-entry"),
                                 QStringLiteral("Append one entry to a viewer database."));
    parser.addOptions({entries, language, standin, now, force, add});
    parser.addPositionalArgument(QStringLiteral("folder"), QStringLiteral("The sandbox folder."));
    if (!parser.parse(app.arguments()))
        return fail(parser.errorText());
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);

    const QStringList args = parser.positionalArguments();
    if (parser.isSet(add))
        return addEntry(args);
    if (args.size() != 1)
        return fail(QStringLiteral("give exactly one sandbox folder (see --help)"));

    dorvel::demo::SandboxOptions options;
    options.folder = args.first();
    options.force = parser.isSet(force);
    options.language = parser.value(language);
    if (options.language != QStringLiteral("eng") && options.language != QStringLiteral("deu"))
        return fail(QStringLiteral("--language must be eng or deu"));
    if (parser.isSet(entries)) {
        options.entries = wholeNumber(parser.value(entries));
        if (!options.entries)
            return fail(QStringLiteral("--entries needs a whole number"));
    }
    options.standin = parser.isSet(standin) ? parser.value(standin)
                                            : QCoreApplication::applicationDirPath() +
                                                  QStringLiteral("/orbivu-standin");
    if (parser.isSet(now)) {
        const QString text = parser.value(now);
        options.now = QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm"));
        if (!options.now.isValid())
            options.now = QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        if (!options.now.isValid())
            return fail(QStringLiteral("--now \"%1\" is not a local time in the form "
                                       "yyyy-MM-dd HH:mm")
                            .arg(text));
    }

    dorvel::demo::Sandbox box;
    if (const QString error = dorvel::demo::createSandbox(options, box); !error.isEmpty())
        return fail(error);

    print(stdout, QStringLiteral("Sandbox:      %1").arg(box.root));
    print(stdout, QStringLiteral("Viewer:       %1").arg(box.exe));
    print(stdout, QStringLiteral("Database:     %1").arg(box.database));
    print(stdout, QStringLiteral("Recordings:   %1/").arg(box.recordings));
    print(stdout, QStringLiteral("Settings:     %1").arg(box.config));
    print(stdout, QStringLiteral("Entries:      %1").arg(box.entryCount));
    print(stdout, QStringLiteral("First launch: %1")
                      .arg(box.firstLaunch.isValid()
                               ? box.firstLaunch.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                               : QStringLiteral("none")));
    print(stdout, QStringLiteral("Run dorvel with XDG_CONFIG_HOME=%1/config").arg(box.root));
    return 0;
}
