#pragma once

#include <QString>

namespace dorvel {

// Turns a free text (a programme title) into a file-name stem: blanks around it trimmed, "TEST"
// for fewer than two characters, then each character mapped by its Windows-1252 code
// (characters outside that code page count as 255): control characters dropped, blank, "."
// and ":" become "_", characters unsafe in a file name and every non-ASCII letter except
// Ä Ö Ü ß ä ö ü become "#". The result therefore never holds "/" or ".".
QString makeFileName(const QString& text);

// makeFileName plus "_1", "_2", ... until <recordDirectory><name>.ts does not exist yet. The
// result has neither folder nor ".ts" (the viewer adds both). Two guards keep the viewer able
// to write the file: a stem that maps to nothing becomes "TEST", and a stem is shortened so
// that the file name with suffix and ".ts" stays within the 255 bytes a file name may have.
QString uniqueRecordingName(const QString& text, const QString& recordDirectory);

} // namespace dorvel
