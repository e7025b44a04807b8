// The version order: three versions, one per line. The order must be strict (never both ways,
// never a version newer than itself) and transitive.

#include "Fuzz.h"
#include "maintenance/Version.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QList<QByteArray> fields = fuzzFields(data, size, 3);
    const QString a = QString::fromUtf8(fields[0]), b = QString::fromUtf8(fields[1]),
                  c = QString::fromUtf8(fields[2]);
    REQUIRE(!isNewer(a, a));
    REQUIRE(!(isNewer(a, b) && isNewer(b, a)));
    if (isNewer(a, b) && isNewer(b, c)) REQUIRE(isNewer(a, c));
    return 0;
}
