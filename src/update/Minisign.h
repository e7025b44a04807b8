#pragma once

#include <QByteArray>

// Whether `signature`, the text of a minisign signature file, proves that the holder of the
// secret key matching `publicKey` (the base64 line of a minisign public key) signed `message`:
// the prehashed Ed25519 algorithm ("ED", over the message's BLAKE2b-512 hash) with the same key
// id, and a valid global signature over that signature and the trusted comment, so the
// comment cannot be altered either. Legacy signatures of the unhashed message are refused.
bool minisignVerifies(const QByteArray& message, const QByteArray& signature,
                      const QByteArray& publicKey);
