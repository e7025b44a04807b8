#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <optional>

// Whether the bundle at `bundlePath` is exactly what the vendor signed. The bundle carries
// Contents/CodeSignature/manifest, whose first line is "identifier com.trackglint.app" and
// whose other lines each name one file of the bundle as "SHA256-HEX  PATH" (the format of
// sha256sum), and manifest.minisig beside it, the vendor's minisign signature of the manifest.
// The signature must verify with `publicKey` (the base64 line of a minisign public key), and
// the bundle must hold the listed files, byte for byte, and nothing else but folders: no
// other file and no link of any kind.
bool signatureHolds(const QString& bundlePath, const QByteArray& publicKey);

// The files a manifest lists, each with its hash as written; none when the text is not a
// manifest of this program's.
std::optional<QHash<QString, QByteArray>> manifestFiles(const QByteArray& manifest);
