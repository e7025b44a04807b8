// An XML property list, as the bundle's Info.plist is read.

#include "Fuzz.h"
#include "platform/PropertyList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    (void)platform::readPropertyList(fuzzBytes(data, size));
    return 0;
}
