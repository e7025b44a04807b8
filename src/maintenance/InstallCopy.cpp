#include "maintenance/InstallCopy.h"

#include <fcntl.h>
#include <stdio.h>

#include <QDir>
#include <QFile>
#include <QUuid>
#include <cerrno>
#include <filesystem>

#include "platform/DesktopEntry.h"

namespace fs = std::filesystem;

namespace {

fs::path filePath(const QString& path) {
    return fs::path(QFile::encodeName(path).toStdString());
}

// A new hidden name in the same folder as `target`.
fs::path besides(const fs::path& target) {
    const std::string tag = QUuid::createUuid().toString(QUuid::Id128).toStdString();
    return target.parent_path() / ("." + target.filename().string() + "-" + tag);
}

// Without an atomic exchange the old copy steps aside, and steps back should the new one fail
// to take its place.
std::error_code renameThroughAside(const fs::path& fresh, const fs::path& target) {
    std::error_code error;
    const fs::path aside = besides(target);
    fs::rename(target, aside, error);
    if (error) return error;
    fs::rename(fresh, target, error);
    std::error_code ignored;
    if (error) {
        fs::rename(aside, target, ignored);
    } else {
        fs::remove_all(aside, ignored);
    }
    return error;
}

// Puts `fresh` at `target`. An existing target is exchanged with it in one step where the file
// system can, and then is left at `fresh`.
std::error_code swapIn(const fs::path& fresh, const fs::path& target) {
    std::error_code error;
    if (!fs::exists(target, error)) {
        fs::rename(fresh, target, error);
        return error;
    }
#ifdef RENAME_EXCHANGE
    if (::renameat2(AT_FDCWD, fresh.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) == 0) {
        return {};
    }
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
        return std::error_code(errno, std::system_category());
    }
#endif
    return renameThroughAside(fresh, target);
}

}  // namespace

QString defaultInstallFolder() {
    return QDir::homePath() + QStringLiteral("/Applications");
}

QString installedBundle(const QString& installFolder) {
    return installFolder + QStringLiteral("/Trackglint.app");
}

std::optional<QString> installCopy(const QString& source, const QString& installFolder) {
    const fs::path target = filePath(installedBundle(installFolder));
    const fs::path fresh = besides(target);
    std::error_code error;
    fs::create_directories(target.parent_path(), error);
    if (!error) {
        fs::copy(filePath(source), fresh,
                 fs::copy_options::recursive | fs::copy_options::copy_symlinks, error);
    }
    if (!error) error = swapIn(fresh, target);
    std::error_code ignored;
    fs::remove_all(fresh, ignored);
    if (error) return QString::fromLocal8Bit(error.message());
    platform::registerInstalledApplication(installedBundle(installFolder));
    return std::nullopt;
}
