#include "update/Minisign.h"

#include <sodium.h>

#include <QList>
#include <optional>

namespace {

constexpr qsizetype ALGORITHM_BYTES = 2;
constexpr qsizetype KEY_ID_BYTES = 8;
constexpr qsizetype HEADER_BYTES = ALGORITHM_BYTES + KEY_ID_BYTES;
const QByteArray UNTRUSTED_PREFIX = "untrusted comment: ";
const QByteArray TRUSTED_PREFIX = "trusted comment: ";

QByteArray fromBase64(const QByteArray& text) {
    const auto decoded =
        QByteArray::fromBase64Encoding(text.trimmed(), QByteArray::AbortOnBase64DecodingErrors);
    return decoded ? *decoded : QByteArray();
}

const unsigned char* bytes(const QByteArray& array) {
    return reinterpret_cast<const unsigned char*>(array.constData());
}

bool ed25519Verifies(const QByteArray& signature, const QByteArray& message,
                     const QByteArray& key) {
    return signature.size() == crypto_sign_BYTES &&
           crypto_sign_verify_detached(bytes(signature), bytes(message),
                                       static_cast<unsigned long long>(message.size()),
                                       bytes(key)) == 0;
}

QByteArray blake2b512(const QByteArray& message) {
    QByteArray hash(crypto_generichash_BYTES_MAX, '\0');
    crypto_generichash(reinterpret_cast<unsigned char*>(hash.data()), size_t(hash.size()),
                       bytes(message), static_cast<unsigned long long>(message.size()), nullptr, 0);
    return hash;
}

// The parts of a signature file: the algorithm, key id and signature of the message; the
// trusted comment; and the global signature over the first signature and the comment.
struct SignatureFile {
    QByteArray header;
    QByteArray trustedComment;
    QByteArray globalSignature;
};

std::optional<SignatureFile> readSignatureFile(const QByteArray& text) {
    QList<QByteArray> lines = text.split('\n');
    for (QByteArray& line : lines) {
        if (line.endsWith('\r')) line.chop(1);
    }
    if (lines.size() < 4 || !lines[0].startsWith(UNTRUSTED_PREFIX) ||
        !lines[2].startsWith(TRUSTED_PREFIX)) {
        return std::nullopt;
    }
    return SignatureFile{fromBase64(lines[1]), lines[2].mid(TRUSTED_PREFIX.size()),
                         fromBase64(lines[3])};
}

}  // namespace

bool minisignVerifies(const QByteArray& message, const QByteArray& signature,
                      const QByteArray& publicKey) {
    if (sodium_init() < 0) return false;
    // A whole public key file is accepted too: its key is the last line.
    const QByteArray key = fromBase64(publicKey.trimmed().split('\n').constLast());
    const std::optional<SignatureFile> file = readSignatureFile(signature);
    if (key.size() != HEADER_BYTES + crypto_sign_PUBLICKEYBYTES || !key.startsWith("Ed") || !file ||
        !file->header.startsWith("ED") ||
        file->header.mid(ALGORITHM_BYTES, KEY_ID_BYTES) != key.mid(ALGORITHM_BYTES, KEY_ID_BYTES)) {
        return false;
    }
    const QByteArray keyBytes = key.mid(HEADER_BYTES);
    const QByteArray signedHash = file->header.mid(HEADER_BYTES);
    return ed25519Verifies(signedHash, blake2b512(message), keyBytes) &&
           ed25519Verifies(file->globalSignature, signedHash + file->trustedComment, keyBytes);
}
