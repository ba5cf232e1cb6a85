// Programme titles turned into recording file names: never a path, never hidden, always a
// name the file system takes.

#include "filename.h"
#include "fuzzcheck.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

using namespace dorvel;

namespace {

QString recordDirectory()
{
    // Some names are taken already, so that the numbering is exercised.
    static QTemporaryDir dir;
    static const bool filled = [] {
        for (const char* name : {"TEST.ts", "TEST_1.ts", "Tatort.ts", "a_b.ts"}) {
            QFile f(dir.filePath(QString::fromLatin1(name)));
            if (!f.open(QIODevice::WriteOnly))
                return false;
        }
        return true;
    }();
    (void)filled;
    return dir.path() + QLatin1Char('/');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    // The stem may be empty (a title of control characters); the unique name guards that.
    const QString stem = makeFileName(text);
    FUZZ_CHECK(!stem.contains(QLatin1Char('/')) && !stem.contains(QLatin1Char('.')), stem);

    const QString dir = recordDirectory();
    const QString name = uniqueRecordingName(text, dir);
    FUZZ_CHECK(!name.isEmpty(), text);
    FUZZ_CHECK(!name.contains(QLatin1Char('/')) && !name.contains(QChar(0)), name);
    FUZZ_CHECK(QFile::encodeName(name + QStringLiteral(".ts")).size() <= 255, name);
    FUZZ_CHECK(!QFile::exists(dir + name + QStringLiteral(".ts")), name);
    return 0;
}
