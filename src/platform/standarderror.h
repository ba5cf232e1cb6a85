#pragma once

#include <QString>

namespace dorvel {

// How grave a line on standard error is; the values are the syslog priorities.
enum class Severity { Error = 3, Warning = 4, Info = 6 };

// A text as lines for standard error, each carrying its severity: as the priority prefix
// "<N>" that the journal reads when standard error is connected to it, otherwise as a word
// after the program's name ("dorvel: warning: ..."). A text of several lines gives one
// line each, so that no line reaches the journal without its severity.
QByteArray standardErrorLines(Severity severity, const QString& text, bool toJournal);

// Whether standard error is the journal stream that systemd named in $JOURNAL_STREAM.
bool standardErrorIsJournal();

// Writes the text to standard error at once; an autostarted program's messages thus reach
// the user's journal.
void writeStandardError(Severity severity, const QString& text);

} // namespace dorvel
