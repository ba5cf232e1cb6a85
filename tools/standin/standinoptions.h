#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

namespace dorvel::standin {

// The viewer's command-line switches, one argument each, in any order. Switch names are
// matched without regard to letter case; unknown arguments are ignored.
struct Options {
    bool close = false;
    bool priorityHigh = false;
    bool streamOnly = false;
    bool tray = false;
    std::optional<int> delay; // only logged
    std::optional<int> recordMinutes;
    std::optional<int> channel;
    QString fileStem; // empty: a name made from channel and start time
    // One text per switch whose value could not be used; the switch is then treated as absent.
    QStringList problems;

    static Options parse(const QStringList& args);
};

// RecordDirectory= from the viewer's settings.ini, read the way the scheduler reads it: every
// line is split at commas into fields, blanks and enclosing double quotes removed; a field
// matches when it contains the key anywhere and the value is the rest of the field after as
// many characters as the key has; the last match wins; a missing "/" is appended. Empty when
// the key is missing or has no value.
QString recordDirectoryFromIni(const QByteArray& content);

// The file stem of a recording: the /file= value, or Orbivu_<channel>_<yyyyMMdd_HHmmss>.
// A "/" in the value becomes "#" so that a stem can never leave the record folder.
QString recordingStem(const Options& options, const QDateTime& start);

// Candidate names in the order tried: <stem>.ts, then <stem>_dup1.ts, <stem>_dup2.ts, ...
QString candidateFileName(const QString& stem, int attempt);

// ORBIVU_STANDIN_SECONDS_PER_MINUTE: a positive number, 60 when unset or unusable.
double secondsPerMinute(const QByteArray& envValue, QString* problem = nullptr);

} // namespace dorvel::standin
