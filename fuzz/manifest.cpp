// The bundle manifest: whatever it lists, written out again it reads back the same.

#include "Fuzz.h"
#include "update/BundleSignature.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::optional<QHash<QString, QByteArray>> files = manifestFiles(fuzzBytes(data, size));
    if (!files) return 0;
    QByteArray again = "identifier com.trackglint.app\n";
    for (auto file = files->cbegin(); file != files->cend(); ++file)
        again += file.value() + "  " + file.key().toUtf8() + '\n';
    REQUIRE(manifestFiles(again) == files);
    return 0;
}
