#include "platform/Files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QThread>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace platform {
namespace {

// The template of the temporary file that stands in for `target` while it is written.
QString temporaryPattern(const QFileInfo& target) {
    return target.absolutePath() + QStringLiteral("/.") + target.fileName() +
           QStringLiteral(".XXXXXX");
}

// The file a write to `path` replaces: `path` itself, or, through any chain of symbolic links,
// the file they lead to (which need not exist yet).
QFileInfo writeTarget(const QString& path) {
    QFileInfo target(path);
    for (int hops = 0; target.isSymLink() && hops < 40; ++hops) {
        target = QFileInfo(target.symLinkTarget());
    }
    return target;
}

QString systemError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool writeAll(int fd, const QByteArray& bytes) {
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, size_t(left));
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        left -= written;
    }
    return true;
}

// Creates the temporary file for `target` (mode 0600, made sure of by fchmod below) and locks
// it, so a sweep of leftovers passes it by; one that a sweep removed before the lock was taken
// is made anew. Returns the descriptor, or -1 with errno set.
int lockedTemporary(const QFileInfo& target, QByteArray& name) {
    for (int attempt = 0; attempt < 8; ++attempt) {
        name = QFile::encodeName(temporaryPattern(target));
        const int fd = ::mkstemp(name.data());
        if (fd < 0) return -1;
        struct stat info {};
        if (::flock(fd, LOCK_EX) == 0 && ::fstat(fd, &info) == 0 && info.st_nlink > 0) return fd;
        ::close(fd);
    }
    errno = EBUSY;
    return -1;
}

}  // namespace

std::optional<QString> writeFilePrivately(const QString& path, const QByteArray& bytes) {
    const QFileInfo target = writeTarget(path);
    QByteArray temporary;
    const int fd = lockedTemporary(target, temporary);
    if (fd < 0) return systemError();
    const bool written =
        ::fchmod(fd, S_IRUSR | S_IWUSR) == 0 && writeAll(fd, bytes) && ::fsync(fd) == 0;
    std::optional<QString> failure;
    if (!written) failure = systemError();
    // Renamed while still locked, so no sweep can take the file away in between.
    if (!failure && ::rename(temporary.constData(), QFile::encodeName(target.filePath())) != 0) {
        failure = systemError();
    }
    if (failure) ::unlink(temporary.constData());
    ::close(fd);
    return failure;
}

void removeUnfinishedWrites(const QString& path) {
    // Beside the file written to, and beside a link to it, where earlier copies wrote.
    for (const QFileInfo& target : {QFileInfo(path), writeTarget(path)}) {
        const QString pattern = QFileInfo(temporaryPattern(target)).fileName();
        const QDir folder(target.absolutePath());
        const QStringList found = folder.entryList({pattern.left(pattern.size() - 6) + "??????"},
                                                   QDir::Files | QDir::Hidden | QDir::System);
        for (const QString& name : found) {
            const QByteArray file = QFile::encodeName(folder.filePath(name));
            const int fd = ::open(file.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
            if (fd < 0) continue;
            struct stat info {};
            // Only this user's own plain files that no save is writing right now.
            if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::getuid() &&
                ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
                ::unlink(file.constData());
            }
            ::close(fd);
        }
    }
}

void keepPrivate(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    struct stat info {};
    if (::stat(name.constData(), &info) != 0 || (info.st_mode & (S_IRWXG | S_IRWXO)) == 0) return;
    ::chmod(name.constData(), info.st_mode & (S_IRWXU | S_ISUID | S_ISGID | S_ISVTX));
}

std::optional<QString> strictUtf8(QByteArrayView bytes) {
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = decoder(bytes);
    if (decoder.hasError()) return std::nullopt;
    return text;
}

void removeTree(const QString& path) {
    std::error_code ignored;
    std::filesystem::remove_all(QFile::encodeName(path).toStdString(), ignored);
}

FolderLock::FolderLock(const QString& path, std::chrono::milliseconds wait) {
    fd_ = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) return;
    constexpr auto POLL = std::chrono::milliseconds(20);
    for (auto waited = std::chrono::milliseconds(0); ::flock(fd_, LOCK_EX | LOCK_NB) != 0;
         waited += POLL) {
        if (errno != EWOULDBLOCK && errno != EINTR) return;
        if (waited >= wait) return;
        QThread::msleep(POLL.count());
    }
    // A folder removed while the lock was awaited has no links left.
    struct stat info {};
    held_ = ::fstat(fd_, &info) == 0 && info.st_nlink > 0;
}

FolderLock::~FolderLock() {
    if (fd_ >= 0) ::close(fd_);
}

void removeUnusedFolders(const QString& folder, const QString& prefix) {
    const QDir parent(folder);
    const QStringList found =
        parent.entryList({prefix + u'*'}, QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString& name : found) {
        const QString path = parent.filePath(name);
        struct stat info {};
        // Only this user's own folders, never a link to one elsewhere.
        if (::lstat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISDIR(info.st_mode) ||
            info.st_uid != ::getuid()) {
            continue;
        }
        const FolderLock lock(path, std::chrono::milliseconds(0));
        if (lock.held()) removeTree(path);
    }
}

}  // namespace platform
