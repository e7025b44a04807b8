#pragma once

#include <QByteArray>
#include <QString>

// Whether the bundle at `bundlePath` is exactly what the vendor signed. The bundle carries
// Contents/CodeSignature/manifest, whose first line is "identifier com.trackglint.app" and
// whose other lines each name one file of the bundle as "SHA256-HEX  PATH" (the format of
// sha256sum), and manifest.minisig beside it, the vendor's minisign signature of the manifest.
// The signature must verify with `publicKey` (the base64 line of a minisign public key), and
// the bundle must hold the listed files, byte for byte, and nothing else but folders: no
// other file and no link of any kind.
bool signatureHolds(const QString& bundlePath, const QByteArray& publicKey);
