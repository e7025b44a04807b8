#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <optional>

// The files of the bundle at `bundlePath`, by their paths inside it, when the bundle is exactly
// what the vendor signed; none otherwise. The bundle carries Contents/CodeSignature/manifest,
// whose first line is "identifier com.trackglint.app" and whose other lines each name one file
// of the bundle as "SHA256-HEX  PATH" (the format of sha256sum), and manifest.minisig beside
// it, the vendor's minisign signature of the manifest. The signature must verify with
// `publicKey` (the base64 line of a minisign public key), and the bundle must hold the listed
// files, byte for byte, and nothing else but folders: no other file and no link of any kind.
// The bundle is walked by the bytes of its names, and a name that is not valid UTF-8 or a
// folder that cannot be read fails the check: what cannot be seen cannot be proved absent.
// The files returned are those listed, the manifest and its signature.
std::optional<QStringList> signedFiles(const QString& bundlePath, const QByteArray& publicKey);

// The files a manifest lists, each with its hash as written; none when the text is not a
// manifest of this program's.
std::optional<QHash<QString, QByteArray>> manifestFiles(const QByteArray& manifest);
