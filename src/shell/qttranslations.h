#pragma once

class QTranslator;

namespace dorvel {

// Qt's own texts (OK/Cancel, the file dialog) in the program's language: German with the
// German table, Qt's English otherwise. The translator is the caller's; missing translation
// files leave Qt's English. Returns whether German texts are in use.
bool useQtTranslations(QTranslator& translator, bool german);

} // namespace dorvel
