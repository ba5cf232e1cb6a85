#include "settingseditor.h"
#include "powerreadiness.h"

#include "appstate.h"
#include "autostart.h"
#include "mainview.h"
#include "prompter.h"
#include "settings.h"
#include "settingsstore.h"
#include "ticktimer.h"
#include "viewerdb.h"

#include <QFileInfo>
#include <QStringList>

#include <limits>

namespace dorvel {

namespace {

const QString kDeu = QStringLiteral("deu");
const QString kEng = QStringLiteral("eng");
const QString kNever = QStringLiteral("Never");
const QString kLastRec = QStringLiteral("LastRec");
const QString kRule = QStringLiteral("Rule");

// A program's file name is compared with whole executable paths; longer names cannot exist.
constexpr int kMaxFileName = 255;

} // namespace

SettingsEditor::SettingsEditor(Services services) : m(std::move(services)) {}

DialogValues SettingsEditor::load() const
{
    const AppState& s = m.state;
    const Settings& v = s.settings;
    DialogValues d;
    d.database = s.orbivuDBPath;
    d.german = v.language == kDeu;
    d.useShortdesc = v.useShortdesc;
    d.ignoreOverlap = v.ignoreOverlap;
    d.startPendingRecord = v.startPendingRecord;
    d.recDelayText = QString::number(v.recDelaySec);
    d.recDelay = v.recDelay;
    d.streamonly = v.streamonly;
    d.saveLog = v.saveLog;
    d.autoRun = v.autoRun;
    d.askForClose = v.askForClose;
    d.waitForClose = v.waitForClose;
    d.autoClose = v.autoClose;
    if (v.shutDownType == kNever)
        d.shutdown = DialogValues::Shutdown::Never;
    else if (v.shutDownType == kLastRec)
        d.shutdown = DialogValues::Shutdown::LastRec;
    else if (v.shutDownType == kRule)
        d.shutdown = DialogValues::Shutdown::Rule;
    d.ruleMinutesText = QString::number(v.ruleMinutes);
    d.waitForProg = v.waitForProg;
    return d;
}

bool SettingsEditor::viewerRunning() const
{
    return m.state.orbivuState != 0;
}

SettingsEditor::Place SettingsEditor::place() const
{
    const MainView::Geometry g = m.view.geometryTwips();
    return {g.left + 150, g.top + 100};
}

void SettingsEditor::autostartChosen(bool on)
{
    static const QString name = QStringLiteral("Dorvel");
    if (on)
        m.autostart.setRunEntry(name, m.state.appPath + QStringLiteral("/dorvel"),
                                {QStringLiteral("min")});
    else
        m.autostart.deleteRunEntry(name);
}

std::optional<qint16> SettingsEditor::iTimeMinutes(const QString& text)
{
    // A whole number only: "20abc" would be stored as typed and read back as 20.
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    if (!ok || v < 15 || v > 999)
        return std::nullopt;
    return qint16(v);
}

bool SettingsEditor::checkITime(const QString& text)
{
    if (iTimeMinutes(text))
        return true;
    m.prompter.message(m.state.msg.MsgITimeRange);
    return false;
}

std::optional<qint16> SettingsEditor::delayMilliseconds(const QString& text)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return qint16(0); // nothing typed: ignored like any value of 10 and less
    bool ok = false;
    const qint64 v = t.toLongLong(&ok);
    // Never wrapped or cut to 16 bits: 70000 must not become 4464.
    if (!ok || v < std::numeric_limits<qint16>::min() || v > std::numeric_limits<qint16>::max())
        return std::nullopt;
    return qint16(v);
}

bool SettingsEditor::checkDelay(const QString& text)
{
    if (delayMilliseconds(text))
        return true;
    m.prompter.message(delayRangeText());
    return false;
}

std::optional<QString> SettingsEditor::waitProgram(const QString& text)
{
    // Blanks around a name would make it match no program at all.
    const QString name = text.trimmed();
    // A "/" would match a folder, and then every program in it would hold the power action.
    if (name.contains(QLatin1Char('/')) || name.size() > kMaxFileName)
        return std::nullopt;
    return name;
}

bool SettingsEditor::checkWaitProgram(const QString& text)
{
    if (waitProgram(text))
        return true;
    m.prompter.message(waitProgramText());
    return false;
}

QString SettingsEditor::fileFilter()
{
    return QStringLiteral("Database Files (*.mdb *.MDB)");
}

QString SettingsEditor::delayRangeText()
{
    return QStringLiteral("msek Aufnahmeverzögerung: eine ganze Zahl bis 32767 / "
                          "msec recorddelay: a whole number up to 32767");
}

QString SettingsEditor::waitProgramText()
{
    return QStringLiteral("Programmname: nur der Dateiname, ohne \"/\", höchstens 255 Zeichen / "
                          "Program name: the file name only, without \"/\", at most 255 "
                          "characters");
}

QString SettingsEditor::notSavedText(const QString& file, const QStringList& keys)
{
    return QStringLiteral("Die Einstellungen konnten nicht gespeichert werden (schreibgeschützt "
                          "oder Datenträger voll) / The settings could not be saved (read-only "
                          "or disk full):\n%1\n\nDiese Einstellungen bleiben unverändert / These "
                          "settings keep their old values:\n%2")
        .arg(file, keys.join(QStringLiteral(", ")));
}

QString SettingsEditor::viewerRunsText()
{
    return QStringLiteral("Sprache und Datenbank wurden nicht geändert: Orbivu läuft / "
                          "Language and database were not changed: Orbivu is running");
}

QString SettingsEditor::fileNameText()
{
    return QStringLiteral("Der Dateiname muss Orbivu.mdb enthalten / "
                          "The file name must contain Orbivu.mdb");
}

QString SettingsEditor::viewerFolderText(const QString& missing)
{
    return QStringLiteral("Nicht gefunden / Not found: ") + missing;
}

bool SettingsEditor::checkViewerFolder(const QString& path)
{
    // The load after the dialog would end the program on any of these.
    if (!path.contains(QStringLiteral("orbivu.mdb"), Qt::CaseInsensitive)) {
        m.prompter.message(m.state.msg.MsgNoDatabase + QStringLiteral("\n") + fileNameText());
        return false;
    }
    const qsizetype at = path.indexOf(QStringLiteral("database"), 0, Qt::CaseInsensitive);
    const QString folder =
        at < 3 ? QFileInfo(path).absolutePath() + QLatin1Char('/') : path.left(at);
    const QFileInfo exe(folder + QStringLiteral("Orbivu.EXE"));
    if (at < 3 || !exe.isFile() || exe.isSymLink()) {
        m.prompter.message(viewerFolderText(exe.filePath()));
        return false;
    }
    const QString ini = folder + QStringLiteral("settings.ini");
    if (!QFileInfo(ini).isFile()) {
        m.prompter.message(viewerFolderText(ini));
        return false;
    }
    return true;
}

std::optional<QString> SettingsEditor::searchDatabase(const QString& shownPath)
{
    AppState& s = m.state;
    s.reloadRequested = false;
    const std::optional<QString> chosen =
        m.prompter.openFile(s.msg.MsgSelectDatabase, fileFilter(), shownPath);
    if (!chosen || *chosen == shownPath)
        return std::nullopt;
    if (chosen->size() < 3 || !QFileInfo(*chosen).isFile()) {
        m.prompter.message(s.msg.MsgNoDatabase);
        return std::nullopt;
    }
    if (!ViewerDatabase::canOpen(*chosen)) {
        m.prompter.message(s.msg.MsgOpenDatabaseFailed, Prompter::Icon::Critical);
        return std::nullopt;
    }
    if (!checkViewerFolder(*chosen))
        return std::nullopt;
    s.reloadRequested = true;
    return chosen;
}

QString SettingsEditor::powerReadinessReport() const
{
    return formatReadiness(checkPowerReadiness(systemReadinessInputs(m.state.appPath, m.store)));
}

void SettingsEditor::standbyTest()
{
    // The button is locked while the viewer runs; it may have started since.
    if (viewerRunning())
        return;
    m.standbyTest();
}

bool SettingsEditor::validate(const DialogValues& v)
{
    if (v.shutdown == DialogValues::Shutdown::Rule && !checkITime(v.ruleMinutesText))
        return false;
    return checkDelay(v.recDelayText) && checkWaitProgram(v.waitForProg);
}

bool SettingsEditor::accept(const DialogValues& v)
{
    if (!validate(v))
        return false;
    AppState& s = m.state;
    Settings& live = s.settings;
    ProgramSettings store(m.store);
    QStringList notSaved;
    auto saved = [&](const KeyDefault& k, bool ok) {
        if (!ok)
            notSaved << QString::fromLatin1(k.key);
        return ok;
    };

    // 1.
    s.reloadRequested = false;
    // 2. and 3. Only while the viewer is not running: the load that makes them take effect
    // would lose track of a recording. The live language is left for that load.
    const QString stored = store.text(keys::OrbivuDBPath);
    const bool languageChanged =
        (v.german && live.language == kEng) || (!v.german && live.language == kDeu);
    const bool databaseChanged = v.database != stored;
    if (viewerRunning() && (languageChanged || databaseChanged)) {
        m.prompter.message(viewerRunsText());
    } else {
        if (languageChanged &&
            saved(keys::Language, store.save(keys::Language, v.german ? kDeu : kEng)))
            s.reloadRequested = true;
        if (databaseChanged &&
            saved(keys::OrbivuDBPath, store.save(keys::OrbivuDBPath, v.database)))
            s.reloadRequested = true;
    }
    // 4. and 6. A live flag changes only with the stored one.
    auto flag = [&](const KeyDefault& k, bool on, bool& liveValue) {
        if (saved(k, store.saveFlag(k, on)))
            liveValue = on;
    };
    flag(keys::UseShortdesc, v.useShortdesc, live.useShortdesc);
    flag(keys::IgnoreOverlap, v.ignoreOverlap, live.ignoreOverlap);
    flag(keys::StartPendingRecord, v.startPendingRecord, live.startPendingRecord);
    flag(keys::RecDelay, v.recDelay, live.recDelay);
    flag(keys::SaveLog, v.saveLog, live.saveLog);
    // 5. Values of 10 and less are ignored.
    if (const qint16 delay = *delayMilliseconds(v.recDelayText); delay > 10) {
        if (saved(keys::RecDelaySec, store.save(keys::RecDelaySec, QString::number(delay))))
            live.recDelaySec = delay;
    }
    flag(keys::Streamonly, v.streamonly, live.streamonly);
    flag(keys::AutoRun, v.autoRun, live.autoRun);
    flag(keys::AskForClose, v.askForClose, live.askForClose);
    flag(keys::AutoClose, v.autoClose, live.autoClose);
    flag(keys::WaitForClose, v.waitForClose, live.waitForClose);
    // 7.
    const QString program = *waitProgram(v.waitForProg);
    if (program != live.waitForProg &&
        saved(keys::WaitForProg, store.save(keys::WaitForProg, program)))
        live.waitForProg = program;
    // 8.
    auto shutdownType = [&](const QString& type) {
        if (saved(keys::ShutDownType, store.save(keys::ShutDownType, type)))
            live.shutDownType = type;
    };
    switch (v.shutdown) {
    case DialogValues::Shutdown::Never:
        shutdownType(kNever);
        break;
    case DialogValues::Shutdown::LastRec:
        shutdownType(kLastRec);
        break;
    case DialogValues::Shutdown::Rule: {
        shutdownType(kRule);
        const qint16 minutes = *iTimeMinutes(v.ruleMinutesText);
        if (saved(keys::RuleMinutes, store.save(keys::RuleMinutes, QString::number(minutes))))
            live.ruleMinutes = minutes;
        break;
    }
    case DialogValues::Shutdown::None: // a hand-edited type the dialog cannot show: kept
        break;
    }
    // 9.
    showShutdownType();
    if (!notSaved.isEmpty())
        m.prompter.message(notSavedText(m.store.fileName(key::App), notSaved),
                           Prompter::Icon::Critical);
    // 10.
    return true;
}

void SettingsEditor::showShutdownType()
{
    const QString& type = m.state.settings.shutDownType;
    MainView& view = m.view;
    if (type == kNever) {
        view.setShutdownLabel(QStringLiteral("NoShutdown"));
        view.setNoShutDownEnabled(false);
        if (view.goTimerVisible()) {
            view.setGoTimerChecked(false);
            view.setGoTimerEnabled(true);
        }
    } else if (type == kLastRec) {
        view.setShutdownLabel(kLastRec);
        view.setNoShutDownEnabled(true);
        if (view.goTimerVisible()) {
            view.setGoTimerChecked(false);
            view.setGoTimerEnabled(false);
        }
    } else if (type == kRule) {
        view.setShutdownLabel(QStringLiteral("ITime"));
        view.setNoShutDownEnabled(true);
        if (view.goTimerVisible())
            view.setGoTimerEnabled(true);
    }
}

void SettingsEditor::cancel()
{
    // The database in use was never replaced, so there is nothing to take back by a load.
    m.state.reloadRequested = false;
}

void runSettingsCommand(AppState& state, TickTimer& timer, const std::function<void()>& showDialog,
                        const std::function<void()>& reload)
{
    // The tick runs on while the dialog is open: nothing left open may cost a recording. Only
    // a start by the standby test is taken back when the timer was off before (an overlap).
    const bool wasActive = timer.isActive();
    showDialog();
    if (!wasActive)
        timer.stop();
    if (state.reloadRequested)
        reload();
}

} // namespace dorvel
