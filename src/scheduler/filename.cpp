#include "filename.h"

#include <QFileInfo>
#include <QStringView>

namespace dorvel {

namespace {

// The Windows-1252 code of a character: below 128 and from 160 to 255 the code point itself,
// otherwise 255. The code page's characters at 128 to 159 (the euro sign, typographic quotes)
// need no table: those codes become "#" just as 255 does.
int codeOf(char32_t c)
{
    return c <= 255 ? int(c) : 255;
}

enum class Mapping { Remove, Underscore, Hash, Keep };

Mapping mappingOf(int code)
{
    if (code < 32)
        return Mapping::Remove;
    switch (code) {
    case ' ':
    case '.':
    case ':':
        return Mapping::Underscore;
    case '%':
    case '&':
    case '\'':
    case '*':
    case '/':
    case '?':
    case '\\':
    case '^':
    case '`':
        return Mapping::Hash;
    case 196: // Ä
    case 214: // Ö
    case 220: // Ü
    case 223: // ß
    case 228: // ä
    case 246: // ö
    case 252: // ü
        return Mapping::Keep;
    default:
        return code >= 123 ? Mapping::Hash : Mapping::Keep;
    }
}

// A file name may have at most 255 bytes; room is left for "_" + ten digits + ".ts".
constexpr qsizetype kMaxStemBytes = 255 - 11 - 3;

QString fitToFileName(QString stem)
{
    while (stem.toUtf8().size() > kMaxStemBytes)
        stem.chop(1); // every character of a stem is a single UTF-16 unit
    return stem;
}

bool taken(const QString& path)
{
    // On a case-sensitive file system this is exactly the same-letter-case test. Where the
    // file system ignores case, a name differing only in case counts as taken too, so that
    // the viewer never overwrites a recording. A dangling link counts as taken as well.
    const QFileInfo fi(path);
    return fi.exists() || fi.isSymLink();
}

} // namespace

QString makeFileName(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == QLatin1Char(' '))
        ++begin;
    while (end > begin && text.at(end - 1) == QLatin1Char(' '))
        --end;
    const QList<uint> chars = QStringView(text).mid(begin, end - begin).toUcs4();
    if (chars.size() < 2)
        return QStringLiteral("TEST");

    QString out;
    out.reserve(chars.size());
    for (const uint c : chars) {
        const int code = codeOf(char32_t(c));
        switch (mappingOf(code)) {
        case Mapping::Remove:
            break;
        case Mapping::Underscore:
            out.append(QLatin1Char('_'));
            break;
        case Mapping::Hash:
            out.append(QLatin1Char('#'));
            break;
        case Mapping::Keep:
            out.append(QChar(code)); // ASCII or a German letter: same code in Unicode
            break;
        }
    }
    return out;
}

QString uniqueRecordingName(const QString& text, const QString& recordDirectory)
{
    QString stem = makeFileName(text);
    if (stem.isEmpty())
        stem = QStringLiteral("TEST");
    stem = fitToFileName(stem);

    QString dir = recordDirectory;
    if (!dir.isEmpty() && !dir.endsWith(QLatin1Char('/')))
        dir.append(QLatin1Char('/'));
    const QString ext = QStringLiteral(".ts");

    if (!taken(dir + stem + ext))
        return stem;
    for (quint32 i = 1;; ++i) {
        const QString candidate = stem + QLatin1Char('_') + QString::number(i);
        if (!taken(dir + candidate + ext))
            return candidate;
    }
}

} // namespace dorvel
