#include "platform/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>

namespace platform {
namespace {

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

}  // namespace

bool writeFilePrivately(const QString& path, const QByteArray& bytes) {
    const QFileInfo target(path);
    QByteArray temporary =
        QFile::encodeName(target.absolutePath() + "/." + target.fileName() + ".XXXXXX");
    // mkstemp creates the file with mode 0600; fchmod makes sure whatever the platform.
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) return false;
    const bool written =
        ::fchmod(fd, S_IRUSR | S_IWUSR) == 0 && writeAll(fd, bytes) && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (written && closed && ::rename(temporary.constData(), QFile::encodeName(path)) == 0) {
        return true;
    }
    ::unlink(temporary.constData());
    return false;
}

void keepPrivate(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    struct stat info {};
    if (::stat(name.constData(), &info) != 0 || (info.st_mode & (S_IRWXG | S_IRWXO)) == 0) return;
    ::chmod(name.constData(), info.st_mode & (S_IRWXU | S_ISUID | S_ISGID | S_ISVTX));
}

}  // namespace platform
