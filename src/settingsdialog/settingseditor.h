#pragma once

#include <QString>

#include <functional>
#include <optional>

namespace dorvel {

struct AppState;
class Autostart;
class MainView;
class Prompter;
class SettingsStore;
class TickTimer;

// What the settings dialog shows, one value per control.
struct DialogValues {
    enum class Shutdown { None, Never, LastRec, Rule }; // Option4, Option6, Option7

    QString database;                // Text1
    bool german = false;             // Option1; otherwise Option2
    bool useShortdesc = false;       // CheckReName
    bool ignoreOverlap = false;      // Check_IgnoreOverlap
    bool startPendingRecord = false; // Check_StartPendingRecord
    bool recDelay = false;           // Check_Delay
    bool saveLog = false;            // Check_WriteLogFile
    QString recDelayText;            // Text2
    bool streamonly = false;         // Check_Streamonly
    bool autoRun = false;            // Option3; otherwise Option5
    bool askForClose = false;        // Check_CloseQuestion
    bool autoClose = false;          // Check_AutoClose
    bool waitForClose = false;       // Check_WaitProg
    QString waitForProg;             // Text_WaitForProg
    Shutdown shutdown = Shutdown::None;
    QString ruleMinutesText; // Text4
};

// The settings dialog's logic: it fills the controls from the live values, reacts to the
// choices that act at once, and writes every option on OK. The window only renders and
// forwards.
class SettingsEditor {
public:
    struct Services {
        AppState& state;
        SettingsStore& store;
        Prompter& prompter;
        MainView& view;
        Autostart& autostart;
        std::function<void()> standbyTest;
    };

    explicit SettingsEditor(Services services);

    DialogValues load() const;
    // Language, database and the standby test are locked while the viewer runs.
    bool viewerRunning() const;
    // Where the dialog goes, in twips: 150 right of and 100 below the main window's corner.
    struct Place {
        int left = 0, top = 0;
    };
    Place place() const;

    // Option3 / Option5 clicked: the autostart entry is written or removed at once; Cancel
    // does not undo it.
    void autostartChosen(bool on);

    // Text4 left: a whole number of minutes from 15 to 999, or MsgITimeRange.
    static std::optional<qint16> iTimeMinutes(const QString& text);
    bool checkITime(const QString& text);
    // Text2 left: a whole number that fits the setting (values of 10 and less are accepted
    // and later ignored), or a message.
    static std::optional<qint16> delayMilliseconds(const QString& text);
    bool checkDelay(const QString& text);
    // Text_WaitForProg: one program's file name, compared with running programs' paths.
    static std::optional<QString> waitProgram(const QString& text);
    bool checkWaitProgram(const QString& text);

    // Command_Search: the chosen database's path when it passed the trial open, for Text1;
    // nothing when it failed (with a message) or nothing was chosen. The database in use
    // stays open until the dialog has closed and the load runs again, so that a recording
    // started meanwhile is taken from the database its entry came from.
    std::optional<QString> searchDatabase(const QString& shownPath);

    // CommandCheck_Suspend.
    void standbyTest();
    // Command_CheckPower: what dorvel --check-power reports about this PC.
    QString powerReadinessReport() const;

    // OKButton: the ten steps. Returns false when a field holds a value that cannot be
    // saved; the dialog then stays open and nothing has been written.
    bool accept(const DialogValues& values);
    // CancelButton: nothing is saved and nothing is reloaded.
    void cancel();

    static QString fileFilter();
    // Messages of this dialog that are not in the message table carry both languages.
    static QString delayRangeText();
    static QString waitProgramText();
    static QString notSavedText(const QString& file, const QStringList& keys);
    static QString viewerRunsText();
    static QString fileNameText();
    static QString viewerFolderText(const QString& missing);

private:
    bool validate(const DialogValues& v);
    // The rules start-up applies to a database path besides the open itself: the name, the
    // viewer's executable and its settings.ini in the folder above "database".
    bool checkViewerFolder(const QString& path);
    void showShutdownType();

    Services m;
};

// The main window's settings button: the dialog modally while the scheduler keeps ticking,
// then the start-up load again when a new language or database was chosen.
void runSettingsCommand(AppState& state, TickTimer& timer, const std::function<void()>& showDialog,
                        const std::function<void()>& reload);

} // namespace dorvel
