#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

namespace dorvel::demo {

struct SandboxOptions {
    QString folder;
    std::optional<int> entries; // nothing: the standard demo entries
    QString language = QStringLiteral("eng");
    QString standin; // the stand-in viewer executable to copy
    QDateTime now;   // local time the entries are placed relative to
    bool force = false;
};

struct Sandbox {
    QString root; // absolute, without a trailing "/"
    QString viewerFolder;
    QString exe;
    QString ini;
    QString database;
    QString recordings;
    QString config; // Dorvel.conf
    int entryCount = 0;
    QDateTime firstLaunch; // wall clock of the earliest recording start; invalid when none
};

// Creates the sandbox; returns a text that says what went wrong, or an empty text. A folder
// that exists and is not empty is refused unless options.force is set.
QString createSandbox(const SandboxOptions& options, Sandbox& out);

struct NewEntry {
    QString database;
    int channel = 0; // CHANNELNUM
    QString start;   // "yyyy.MM.dd HH:mm"
    QString end;
    QString title;
    QString longDesc;
    int pre = 0;
    int post = 0;
};

// Appends one RECORD row for the channel; returns an error text or an empty text.
QString addEntry(const NewEntry& entry, qint64* rowId = nullptr);

// A valid date-time in the database form "yyyy.MM.dd HH:mm".
bool isDbTime(const QString& text);

} // namespace dorvel::demo
