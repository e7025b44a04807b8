#include "update/BundleSignature.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <optional>

#include "update/Minisign.h"

namespace {

const QString MANIFEST = QStringLiteral("Contents/CodeSignature/manifest");
const QString SIGNATURE = QStringLiteral("Contents/CodeSignature/manifest.minisig");
const QByteArray IDENTIFIER_LINE = "identifier com.trackglint.app";
constexpr qint64 MAX_MANIFEST_BYTES = 1 << 20;

bool plainFile(const QFileInfo& file) {
    return file.isFile() && !file.isSymbolicLink();
}

std::optional<QByteArray> readSmallFile(const QString& path) {
    QFile file(path);
    if (!plainFile(QFileInfo(path)) || file.size() > MAX_MANIFEST_BYTES ||
        !file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return file.readAll();
}

QByteArray sha256Hex(const QString& path) {
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file)) return {};
    return hash.result().toHex();
}

// Every file of the bundle is listed, with its hash, and every listed file is there.
bool holdsExactly(const QString& bundlePath, QHash<QString, QByteArray> listed) {
    const QDir bundle(bundlePath);
    QDirIterator entries(bundlePath,
                         QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                         QDirIterator::Subdirectories);
    while (entries.hasNext()) {
        entries.next();
        const QFileInfo entry = entries.fileInfo();
        if (entry.isDir() && !entry.isSymbolicLink()) continue;
        const QString path = bundle.relativeFilePath(entry.filePath());
        if (path == MANIFEST || path == SIGNATURE) continue;
        const QByteArray expected = listed.take(path);
        if (!plainFile(entry) || expected.isEmpty() || sha256Hex(entry.filePath()) != expected) {
            return false;
        }
    }
    return listed.isEmpty();
}

}  // namespace

std::optional<QHash<QString, QByteArray>> manifestFiles(const QByteArray& manifest) {
    QList<QByteArray> lines = manifest.split('\n');
    if (lines.size() < 2 || lines.takeFirst() != IDENTIFIER_LINE || !lines.takeLast().isEmpty()) {
        return std::nullopt;
    }
    QHash<QString, QByteArray> files;
    for (const QByteArray& line : lines) {
        const qsizetype gap = line.indexOf("  ");
        if (gap < 0) return std::nullopt;
        files.insert(QString::fromUtf8(line.mid(gap + 2)), line.left(gap));
    }
    return files;
}

bool signatureHolds(const QString& bundlePath, const QByteArray& publicKey) {
    const QFileInfo bundle(bundlePath);
    if (!bundle.isDir() || bundle.isSymbolicLink()) return false;
    const std::optional<QByteArray> manifest = readSmallFile(bundlePath + u'/' + MANIFEST);
    const std::optional<QByteArray> signature = readSmallFile(bundlePath + u'/' + SIGNATURE);
    if (!manifest || !signature || !minisignVerifies(*manifest, *signature, publicKey)) {
        return false;
    }
    const std::optional<QHash<QString, QByteArray>> listed = manifestFiles(*manifest);
    return listed && holdsExactly(bundlePath, *listed);
}
