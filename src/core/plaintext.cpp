#include "plaintext.h"

namespace dorvel {

namespace {

bool needsEscape(char16_t c)
{
    // C0, DEL and C1 controls; the line and paragraph separators; the bidirectional
    // embeddings, overrides and isolates that reorder what a line shows.
    return c < 0x20 || (c >= 0x7f && c <= 0x9f) || c == 0x2028 || c == 0x2029 ||
           (c >= 0x202a && c <= 0x202e) || (c >= 0x2066 && c <= 0x2069);
}

} // namespace

QString escapeControls(const QString& text)
{
    qsizetype i = 0;
    while (i < text.size() && !needsEscape(text.at(i).unicode()))
        ++i;
    if (i == text.size())
        return text; // the usual case costs no copy
    QString out = text.left(i);
    for (; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (!needsEscape(c))
            out += QChar(c);
        else if (c <= 0xff)
            out += QStringLiteral("\\x%1").arg(uint(c), 2, 16, QLatin1Char('0'));
        else
            out += QStringLiteral("\\u%1").arg(uint(c), 4, 16, QLatin1Char('0'));
    }
    return out;
}

} // namespace dorvel
