#pragma once

#include <QString>

#include <functional>

namespace dorvel {

class MainView;
class Prompter;
class SettingsStore;
class ViewerDatabase;
struct MessageTable;

// CheckDatabaseVersion: a RECORD table of more than 8 columns is current. An older one gets
// the upgrade question; on Yes PRERECORD and POSTRECORD are added, on No (or a failed
// upgrade) the stored database path is deleted so that the next start asks for it again.
// In every one of these cases the tray icon is removed and the process ends through
// endProcess: the upgraded file is only used after a restart.
//
// A RECORD table whose columns cannot be read at all (locked for good, vanished, damaged) is
// no reason to offer an upgrade or to forget the path: that is ReadFailed, with the reason.
enum class DatabaseVersion { Current, Ended, ReadFailed };

struct VersionCheckServices {
    ViewerDatabase& db;
    Prompter& prompter;
    const MessageTable& msg;
    SettingsStore& store;
    MainView& view;
    std::function<void()> endProcess;
};

DatabaseVersion CheckDatabaseVersion(const VersionCheckServices& s, QString* reason = nullptr);

} // namespace dorvel
