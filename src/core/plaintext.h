#pragma once

#include <QString>

namespace dorvel {

// Text from the viewer database (titles, channel names and numbers) may hold anything. Where
// it goes into one line of the activity list, the event log or standard output, control
// characters are shown escaped, as \x0a, \x1b, \u2028 and so on, so that no line can be split
// or forged and no terminal sequence can reach a terminal. Everything else is unchanged.
QString escapeControls(const QString& text);

} // namespace dorvel
