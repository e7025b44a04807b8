#include "update/BundleSignature.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <filesystem>
#include <optional>

#include "platform/Files.h"
#include "update/Minisign.h"

namespace {

namespace fs = std::filesystem;

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

// The path of `entry` inside the folder `root`, when it is valid UTF-8.
std::optional<QString> pathInside(const fs::path& root, const fs::path& entry) {
    return platform::strictUtf8(QByteArrayView(entry.lexically_relative(root).native()));
}

// Every file of the bundle is listed, with its hash, and every listed file is there. Any
// entry the walk cannot read ends it, and fails.
bool holdsExactly(const QString& bundlePath, QHash<QString, QByteArray> listed) {
    const fs::path root = QFile::encodeName(bundlePath).toStdString();
    std::error_code error;
    for (fs::recursive_directory_iterator entries(root, error), end; !error && entries != end;
         entries.increment(error)) {
        const std::optional<QString> path = pathInside(root, entries->path());
        const fs::file_status status = entries->symlink_status(error);
        if (!path || error) return false;
        if (fs::is_directory(status) || *path == MANIFEST || *path == SIGNATURE) continue;
        const QByteArray expected = listed.take(*path);
        if (!fs::is_regular_file(status) || expected.isEmpty() ||
            sha256Hex(bundlePath + u'/' + *path) != expected) {
            return false;
        }
    }
    return !error && listed.isEmpty();
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

std::optional<QStringList> signedFiles(const QString& bundlePath, const QByteArray& publicKey) {
    const QFileInfo bundle(bundlePath);
    if (!bundle.isDir() || bundle.isSymbolicLink()) return std::nullopt;
    const std::optional<QByteArray> manifest = readSmallFile(bundlePath + u'/' + MANIFEST);
    const std::optional<QByteArray> signature = readSmallFile(bundlePath + u'/' + SIGNATURE);
    if (!manifest || !signature || !minisignVerifies(*manifest, *signature, publicKey)) {
        return std::nullopt;
    }
    const std::optional<QHash<QString, QByteArray>> listed = manifestFiles(*manifest);
    if (!listed || !holdsExactly(bundlePath, *listed)) return std::nullopt;
    return listed->keys() + QStringList{MANIFEST, SIGNATURE};
}
