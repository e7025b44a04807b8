// A minisign signature file, checked against a fixed key and message. Only the signature the
// seeds hold verifies; whatever else arrives must be refused without harm.

#include "update/Minisign.h"
#include "Fuzz.h"

namespace {

const QByteArray PUBLIC_KEY = "RWTWuRyOtFIpYCRHdDgeDaOU1Mc1EEoV3ViAXktYTOuEhuQWFLk7D8gm";
const QByteArray MESSAGE = "identifier com.trackglint.app\nabc  Contents/Info.plist\n";
const QByteArray SIGNED =
    "xtkoF7roP0647Ccxl4duaVwmlUi6hMy/J0XHZeX48AB2/5He/tl8w7EKOmbgUjDuDjMCXOVZdrRknLAsBE92Ag==";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray signature = fuzzBytes(data, size);
    // A signature that verifies carries the key holder's own signature over the trusted comment
    // (padding of its base64 may be left out).
    if (minisignVerifies(MESSAGE, signature, PUBLIC_KEY)) {
        const QByteArray global = signature.split('\n').value(3).trimmed();
        REQUIRE(QByteArray::fromBase64(global) == QByteArray::fromBase64(SIGNED));
    }
    return 0;
}
