#pragma once

#include <QByteArray>

#include "platform/Http.h"

// What the update helper trusts and how far it lets a download go, fixed when the helper program
// is built and never read from its command line, so whoever starts it cannot make it accept
// another signer or an endless download. The product's helper is built with the agent's own
// key (the build's UPDATE_PUBLIC_KEY) and the limits of update/BuiltIn.cpp; a test build of the
// helper is given a test key and small limits instead.
struct BuiltIn {
    QByteArray publicKey;  // the vendor's minisign public key, the base64 line
    platform::DownloadLimits limits;
};

extern const BuiltIn HELPER_BUILT_IN;
