// The viewer's settings.ini as the load handler reads it: any bytes.

#include "fuzzcheck.h"
#include "startup.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray content(reinterpret_cast<const char*>(data), qsizetype(size));
    const dorvel::ViewerIni ini = dorvel::ViewerIni::parse(content);
    FUZZ_CHECK(ini.prerecordMinutes <= 59 && ini.postrecordMinutes <= 59, QString());
    // A record folder always ends in "/", so that a file name can be appended.
    FUZZ_CHECK(ini.recordDirectory.isEmpty() || ini.recordDirectory.endsWith(QLatin1Char('/')),
               ini.recordDirectory);
    return 0;
}
