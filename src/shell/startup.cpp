#include "startup.h"

#include "activitylist.h"
#include "appstate.h"
#include "clock.h"
#include "eventlog.h"
#include "mainview.h"
#include "settingsstore.h"
#include "ticktimer.h"
#include "todolist.h"
#include "viewerdb.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cmath>
#include <limits>

namespace dorvel {

namespace {

const QString kOrbivuMdb = QStringLiteral("orbivu.mdb");

// A field without a number keeps the default; a fraction is cut off.
std::optional<int> wholeMinutes(const QString& text)
{
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return int(std::clamp(std::trunc(v), double(std::numeric_limits<int>::min()),
                          double(std::numeric_limits<int>::max())));
}

} // namespace

namespace {

// Splits a line at the commas outside double quotes; a field loses its surrounding blanks
// and enclosing quotes.
QStringList freeFormatFields(const QString& line)
{
    QStringList fields;
    QString field;
    bool quoted = false;
    auto finish = [&] {
        field = field.trimmed();
        if (field.size() >= 2 && field.startsWith(QLatin1Char('"')) &&
            field.endsWith(QLatin1Char('"')))
            field = field.mid(1, field.size() - 2);
        fields.append(field);
        field.clear();
    };
    for (const QChar c : line) {
        if (c == QLatin1Char('"'))
            quoted = !quoted;
        if (c == QLatin1Char(',') && !quoted)
            finish();
        else
            field += c;
    }
    finish();
    return fields;
}

// The value of `key` ("Name=") when the field holds that key by its whole name.
std::optional<QString> valueOf(const QString& field, const QString& key)
{
    if (!field.startsWith(key))
        return std::nullopt;
    QString value = field.mid(key.size()).trimmed();
    if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
        value = value.mid(1, value.size() - 2);
    return value;
}

} // namespace

ViewerIni ViewerIni::parse(const QByteArray& content)
{
    static const QString kDir = QStringLiteral("RecordDirectory=");
    static const QString kPre = QStringLiteral("PrerecordMinutes=");
    static const QString kPost = QStringLiteral("PostrecordMinutes=");
    ViewerIni ini;
    QString text = QString::fromUtf8(content);
    if (text.startsWith(QChar(0xfeff))) // an editor's byte-order mark
        text.remove(0, 1);
    for (QString line : text.split(QLatin1Char('\n'))) {
        line.remove(QLatin1Char('\r'));
        for (const QString& field : freeFormatFields(line)) {
            if (const auto dir = valueOf(field, kDir)) {
                ini.recordDirectory = *dir;
                // An empty value stays empty: "/" would send recordings to the root folder.
                if (!ini.recordDirectory.isEmpty() &&
                    !ini.recordDirectory.endsWith(QLatin1Char('/')))
                    ini.recordDirectory += QLatin1Char('/');
            } else if (const auto pre = valueOf(field, kPre)) {
                if (const auto v = wholeMinutes(*pre))
                    ini.prerecordMinutes = *v;
            } else if (const auto post = valueOf(field, kPost)) {
                if (const auto v = wholeMinutes(*post))
                    ini.postrecordMinutes = *v;
            }
        }
    }
    ini.prerecordMinutes = std::min(ini.prerecordMinutes, 59);
    ini.postrecordMinutes = std::min(ini.postrecordMinutes, 59);
    return ini;
}

Startup::Startup(Services services, Hooks hooks) : m(std::move(services)), m_hooks(std::move(hooks))
{}

QString Startup::defaultDatabasePath()
{
    return QDir::homePath() + QStringLiteral("/Orbivu/DATABASE/Orbivu.mdb");
}

void Startup::fatal(const QString& text, Prompter::Icon icon, bool forgetPath)
{
    m.prompter.message(text, icon);
    if (forgetPath)
        ProgramSettings(m.store).removeIfExists(keys::OrbivuDBPath);
    m_hooks.endProcess(1);
}

void Startup::fatalKeepingPath(const QString& text)
{
    fatal(text, Prompter::Icon::Critical, false);
}

std::optional<QString> Startup::browseForDatabase(const QString& startPath)
{
    return m.prompter.openFile(m.state.msg.MsgSelectDatabase,
                               QStringLiteral("Database Files (*.mdb)"), startPath);
}

std::optional<QString> Startup::resolveDatabasePath()
{
    ProgramSettings settings(m.store);
    QString path = settings.text(keys::OrbivuDBPath);
    if (path.isEmpty()) {
        if (settings.text(keys::TestPath).isEmpty()) {
            settings.save(keys::TestPath, QStringLiteral("1"));
            path = m.store.get(QStringLiteral("OrbivuCHedit"), QStringLiteral("Startup"),
                               QStringLiteral("OrbivuPath"), QString());
            if (path.isEmpty())
                path = defaultDatabasePath();
        }
        // TestPath already "1": an earlier first start did not get through; ask.
    }
    if (!path.contains(kOrbivuMdb, Qt::CaseInsensitive))
        path.clear();
    if (path.isEmpty() || !QFileInfo::exists(path)) {
        const std::optional<QString> chosen = browseForDatabase(defaultDatabasePath());
        if (!chosen || chosen->size() < 3 || !QFileInfo::exists(*chosen) ||
            !chosen->contains(kOrbivuMdb, Qt::CaseInsensitive)) {
            fatal(m.state.msg.MsgNoDatabase);
            return std::nullopt;
        }
        path = *chosen;
    }
    return path;
}

bool Startup::loadMainWindow()
{
    AppState& s = m.state;
    ProgramSettings settings(m.store);

    // 1. One instance only; the second ends silently. A lock that cannot be made at all is
    // no second instance: it is said, and nothing starts that could record twice.
    if (const QString problem = m_hooks.instanceLockProblem(); !problem.isEmpty()) {
        fatalKeepingPath(problem);
        return false;
    }
    if (m_hooks.anotherInstanceRunning()) {
        m_hooks.endProcess(0);
        return false;
    }
    // Writing to a settings file that could not be read would replace it with defaults.
    if (const QString unreadable = m.store.unreadableFile(key::App); !unreadable.isEmpty()) {
        fatalKeepingPath(QStringLiteral("FATAL ERROR: cannot read ") + unreadable);
        return false;
    }
    // 2.
    const bool firstLoad = !s.reloadRequested;
    if (firstLoad) {
        s.firstPaint = true;
        s.appPath = m.programFolder;
        // The folder is made by the first line written: with SaveLog off nothing appears.
        m.log.setPath(logFolderFor(s.appPath, false) + QStringLiteral("/Dorvel.log"));
    }
    // 3. Language.
    s.settings.language = settings.text(keys::Language);
    if (s.settings.language.isEmpty()) {
        const QString chosen = m.view.chooseLanguage();
        if (!chosen.isEmpty()) {
            s.settings.language = chosen;
            settings.save(keys::Language, chosen);
        }
    }
    s.msg = MessageTable::forLanguage(s.settings.language);
    m.view.applyLanguage(s.msg);
    // 4.
    s.wakeToolPresent = false;
    s.pendingPowerAction.clear();
    // 5.
    const std::optional<QString> path = resolveDatabasePath();
    if (!path)
        return false;
    // 6. A file that another program keeps locked (both start at login) is no broken
    // database: the load waits for it and tries again. The stored path is forgotten only
    // for a file that is missing or is no viewer database.
    const bool lockedAtStart = !m.db.open(*path) && [&] {
        const ViewerDatabase::Failure why = m.db.lastFailure();
        if (why == ViewerDatabase::Failure::Locked)
            return true;
        fatal(s.msg.MsgOpenDatabaseFailed, Prompter::Icon::Critical,
              why == ViewerDatabase::Failure::Missing ||
                  why == ViewerDatabase::Failure::NotViewerDatabase);
        return false;
    }();
    if (!lockedAtStart && !m.db.isOpen())
        return false;
    // 7.
    s.orbivuDBPath = *path;
    settings.save(keys::OrbivuDBPath, *path);
    // 8. The viewer folder is the database path cut before the first "database".
    const qsizetype at = path->indexOf(QStringLiteral("database"), 0, Qt::CaseInsensitive);
    const QString exeMissing = QStringLiteral("FATAL ERROR: Orbivu.EXE not found in ");
    if (at < 3) {
        fatal(exeMissing + s.orbivuExePath);
        return false;
    }
    const QString folder = path->left(at);
    s.orbivuExePath = folder + QStringLiteral("Orbivu.EXE");
    // A symbolic link would show its target's name in the process table and never match.
    const QFileInfo exe(s.orbivuExePath);
    if (!exe.isFile() || exe.isSymLink() || !exe.isExecutable()) {
        fatal(exeMissing + s.orbivuExePath);
        return false;
    }
    // 9.
    s.settingsIniPath = folder + QStringLiteral("settings.ini");
    QFile ini(s.settingsIniPath);
    if (!QFileInfo::exists(s.settingsIniPath)) {
        fatal(QStringLiteral("FATAL ERROR: settings.ini not found in ") + s.settingsIniPath);
        return false;
    }
    // There but unreadable: the path is right, only the file's rights are wrong.
    if (!QFileInfo(s.settingsIniPath).isFile() || !ini.open(QIODevice::ReadOnly)) {
        fatalKeepingPath(QStringLiteral("FATAL ERROR: cannot read ") + s.settingsIniPath);
        return false;
    }
    const ViewerIni viewerIni = ViewerIni::parse(ini.readAll());
    s.recordDirectory = viewerIni.recordDirectory;
    s.prerecordMinutes = viewerIni.prerecordMinutes;
    s.postrecordMinutes = viewerIni.postrecordMinutes;
    // 10.
    if (settings.text(keys::TestPath) == QStringLiteral("1"))
        settings.removeIfExists(keys::TestPath);
    // 11.
    s.orbivuState = 0;
    s.orbivuTaskId = 0;
    s.orbivuTaskStart = 0;
    s.standbyMode = false;
    s.gridEdited = false;
    s.pendingPowerAction.clear();
    // 12.-14.
    readSettings();
    if (s.settings.saveLog) {
        // The log's folder appears only when there is a log to keep.
        QDir().mkpath(QFileInfo(m.log.path()).absolutePath());
        m.log.start();
    }
    if (s.settings.suspendCheck)
        m.view.setStandbyButtonEnabled(true);
    const QString byteOnOff = m.store.get(QStringLiteral("Nocturo"), QStringLiteral("StartUp"),
                                          QStringLiteral("ByteOnOff"), QStringLiteral("0"));
    if (numericPrefix(byteOnOff) != 0.0) {
        m.view.setWakeToolButtonEnabled(true);
        s.wakeToolPresent = true;
        m.view.setGoTimerVisible(true);
    }
    // 15.
    const QString& type = s.settings.shutDownType;
    if (type == QStringLiteral("Never")) {
        m.view.setShutdownLabel(QStringLiteral("NoShutdown"));
        m.view.setNoShutDownEnabled(false);
        if (m.view.goTimerVisible())
            m.view.setGoTimerEnabled(true);
    } else if (type == QStringLiteral("LastRec")) {
        m.view.setShutdownLabel(QStringLiteral("LastRec"));
        m.view.setNoShutDownEnabled(true);
    } else if (type == QStringLiteral("Rule")) {
        m.view.setShutdownLabel(QStringLiteral("ITime"));
        m.view.setNoShutDownEnabled(true);
        if (m.view.goTimerVisible())
            m.view.setGoTimerEnabled(true);
    }
    // 16.
    settings.readAhead({keys::HPos, keys::VPos, keys::VSize, keys::HSize, keys::MyFormatStr});
    s.hPos = settings.number(keys::HPos);
    s.vPos = settings.number(keys::VPos);
    s.vSize = settings.number(keys::VSize);
    s.hSize = settings.number(keys::HSize);
    const FormatStr format = FormatStr::parse(settings.text(keys::MyFormatStr));
    s.splitRatio = format.splitRatio;
    m.todo.savedWidths = format.columnWidths;
    // 17.
    if (firstLoad)
        m.view.placeWindow(s.hPos, s.vPos);
    m.view.resizeWindow(s.hSize, s.vSize);
    m.view.setSplitRatio(s.splitRatio);
    m.view.setCaption(s.mainCaption);
    // 18.
    m.view.showAndRepaint();
    m.view.addTrayIcon();
    // 20.
    m.activity.clear();
    m.activity.append(QStringLiteral("Logfile:"));
    if (lockedAtStart)
        m.activity.append(formatDefault(m.clock.now()) +
                          QStringLiteral(":   The Orbivu database is locked by another program "
                                         "(%1); waiting for it")
                              .arg(m.db.lastError()));
    // 21.-22.
    m_hooks.checkAfterRecording();
    m_hooks.getRecordings();
    // 23.
    if (m.commandLine.hasSwitch(QStringLiteral("min")))
        m.view.minimize();
    // 24.
    if (m.commandLine.hasSwitch(QStringLiteral("cmos")) && s.wakeToolPresent) {
        s.wakeToolMode = true;
        if (type == QStringLiteral("Rule"))
            m.view.setStandbyLabel(QStringLiteral("Nocturo"));
        m.view.setGoTimerChecked(true);
        m.log.writeLine(QStringLiteral("   Dorvel started with Nocturo=on"));
    }
    // 25.
    s.reloadRequested = false;
    // Lowered last: start-up at the lowest priority waits for every other program on a busy
    // machine.
    setIdlePriority();
    return true;
}

void Startup::readSettings()
{
    ProgramSettings p(m.store);
    p.readAhead({keys::UseShortdesc, keys::IgnoreOverlap, keys::StartPendingRecord, keys::SaveLog,
                 keys::RecDelay, keys::Streamonly, keys::RecDelaySec, keys::AutoRun,
                 keys::AskForClose, keys::AutoClose, keys::WaitForClose, keys::WaitForProg,
                 keys::SuspendCheck, keys::ShutDownType, keys::RuleMinutes});
    Settings& v = m.state.settings;
    v.useShortdesc = p.flag(keys::UseShortdesc);
    v.ignoreOverlap = p.flag(keys::IgnoreOverlap);
    v.startPendingRecord = p.flag(keys::StartPendingRecord);
    v.saveLog = p.flag(keys::SaveLog);
    v.recDelay = p.flag(keys::RecDelay);
    v.streamonly = p.flag(keys::Streamonly);
    v.recDelaySec = p.number(keys::RecDelaySec);
    v.autoRun = p.flag(keys::AutoRun);
    v.askForClose = p.flag(keys::AskForClose);
    v.autoClose = p.flag(keys::AutoClose);
    v.waitForClose = p.flag(keys::WaitForClose);
    v.waitForProg = p.text(keys::WaitForProg);
    v.suspendCheck = p.flag(keys::SuspendCheck);
    v.shutDownType = p.text(keys::ShutDownType);
    v.ruleMinutes = p.number(keys::RuleMinutes);
}

bool Startup::queryCloseMainWindow()
{
    AppState& s = m.state;
    s.reloadRequested = false;
    // The tick runs on while the question is open: a close clicked by mistake and left
    // unanswered must not cost a recording. It stops only when the close goes ahead.
    bool cancel = false;
    if (s.settings.shutDownType != QStringLiteral("Rule") && m.todo.recordingCount > 0 &&
        s.settings.askForClose) {
        const QString question = s.msg.MsgCloseQuestionHead +
                                 QString::number(m.todo.recordingCount) +
                                 s.msg.MsgCloseQuestionTail;
        const auto answer = m.prompter.show(
            {question, Prompter::Buttons::OkCancel, Prompter::Icon::Question, {}, false});
        cancel = answer != Prompter::Answer::Ok;
    }
    if (!cancel)
        m.timer.stop();
    // Geometry is saved whether or not the close goes ahead.
    saveLayout();
    return !cancel;
}

void Startup::saveLayout()
{
    // A minimised window's geometry is not the one the user laid out.
    if (m.view.isMinimized())
        return;
    ProgramSettings p(m.store);
    const MainView::Geometry g = m.view.geometryTwips();
    p.save(keys::HPos, QString::number(g.left));
    p.save(keys::VPos, QString::number(g.top));
    std::array<int, 8> widths{};
    for (int c = 0; c < 8; ++c)
        widths[c] = m.todo.columnWidth(c + 1);
    p.save(keys::MyFormatStr, FormatStr::build(m.state.splitRatio, widths));
    if (g.height > 2890)
        p.save(keys::VSize, QString::number(g.height));
    if (g.width > 3000)
        p.save(keys::HSize, QString::number(g.width));
}

void Startup::terminate()
{
    m.timer.stop();
    saveLayout();
    unloadMainWindow();
}

void Startup::unloadMainWindow()
{
    m.state.reloadRequested = false;
    m.timer.stop();
    m.view.removeTrayIcon();
    m_hooks.closeWakeTimer();
    m_hooks.endProcess(0);
}

} // namespace dorvel
