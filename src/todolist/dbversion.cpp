#include "dbversion.h"

#include "mainview.h"
#include "messages.h"
#include "prompter.h"
#include "settings.h"
#include "viewerdb.h"

namespace dorvel {

DatabaseVersion CheckDatabaseVersion(const VersionCheckServices& s, QString* reason)
{
    const std::optional<int> columns = s.db.recordColumnCount();
    if (!columns) {
        if (reason)
            *reason = s.db.lastError();
        return DatabaseVersion::ReadFailed;
    }
    if (*columns > ViewerDatabase::kOldRecordColumns)
        return DatabaseVersion::Current;

    ProgramSettings settings(s.store);
    const auto answer = s.prompter.show(
        {s.msg.MsgDatabaseTooOld, Prompter::Buttons::YesNo, Prompter::Icon::Question, {}, false});
    if (answer == Prompter::Answer::Yes) {
        if (s.db.upgradeRecordTable()) {
            s.prompter.message(QStringLiteral("OK Database actualized, Please Restart Dorvel!"));
        } else {
            s.prompter.message(QStringLiteral("Database update failed!"), Prompter::Icon::Critical);
            settings.removeIfExists(keys::OrbivuDBPath);
        }
    } else {
        settings.removeIfExists(keys::OrbivuDBPath);
    }
    s.view.removeTrayIcon();
    if (s.endProcess)
        s.endProcess();
    return DatabaseVersion::Ended;
}

} // namespace dorvel
