#pragma once

#include "prompter.h"
#include "system.h"

#include <QString>

#include <functional>
#include <optional>

namespace dorvel {

struct AppState;
class ActivityList;
class Clock;
class EventLog;
class MainView;
class SettingsStore;
class TickTimer;
class TodoList;
class ViewerDatabase;

// Values read from the viewer's settings.ini.
struct ViewerIni {
    QString recordDirectory;
    int prerecordMinutes = 2;
    int postrecordMinutes = 2;

    // Free-format comma fields (commas inside double quotes kept), blanks and enclosing
    // quotes removed; a field matches when it starts with the whole key "Name="; the last
    // occurrence wins. A leading byte-order mark is ignored.
    static ViewerIni parse(const QByteArray& content);
};

// The main window's load handler, the database path resolution and the two close handlers.
class Startup {
public:
    struct Services {
        AppState& state;
        SettingsStore& store;
        Prompter& prompter;
        MainView& view;
        const Clock& clock;
        TodoList& todo;
        ActivityList& activity;
        ViewerDatabase& db;
        EventLog& log;
        TickTimer& timer;
        CommandLine commandLine;
        QString programFolder; // where the dorvel executable lives
    };
    struct Hooks {
        std::function<bool()> anotherInstanceRunning = [] { return false; };
        // Why the single-instance lock could not be taken at all; empty when it could.
        std::function<QString()> instanceLockProblem = [] { return QString(); };
        std::function<void()> checkAfterRecording = [] {};
        std::function<void()> getRecordings = [] {};
        std::function<void()> closeWakeTimer = [] {};
        // Ends the process at once with that exit status (non-zero for a fatal start). In
        // tests it only records the call.
        std::function<void(int status)> endProcess = [](int) {};
    };

    Startup(Services services, Hooks hooks);

    // Returns false when the process has been ended (a second instance or a fatal failure).
    bool loadMainWindow();
    // Returns true when the window may close.
    bool queryCloseMainWindow();
    void unloadMainWindow();
    // Logout, shutdown or kill: keep the layout as a close would, ask nothing, end.
    void terminate();
    // Stores position, sizes, splitter and column widths, unless the window is minimised.
    void saveLayout();

    std::optional<QString> resolveDatabasePath();
    // The open-file dialog for the database; nothing when cancelled.
    std::optional<QString> browseForDatabase(const QString& startPath);

    static QString defaultDatabasePath();

private:
    void fatal(const QString& text, Prompter::Icon icon = Prompter::Icon::None,
               bool forgetPath = true);
    // A fatal start that must not forget the database path: the path is not at fault.
    void fatalKeepingPath(const QString& text);
    void readSettings();

    Services m;
    Hooks m_hooks;
};

} // namespace dorvel
