#include "maintenance/InstallCopy.h"

#include <fcntl.h>
#include <stdio.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>
#include <cerrno>
#include <filesystem>
#include <functional>

#include "platform/Bundle.h"
#include "platform/DesktopEntry.h"

namespace fs = std::filesystem;

namespace {

constexpr fs::perms FOLDER = fs::perms(0755);
constexpr fs::perms PROGRAM = fs::perms(0755);
constexpr fs::perms DATA = fs::perms(0644);

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

// Copies `files` of the bundle at `source` into the new folder `fresh`, each file with its fixed
// permissions.
std::error_code copyFiles(const QString& source, const QStringList& files, const fs::path& fresh) {
    const QString programs = platform::executableFolderIn(source);
    std::error_code error;
    for (const QString& file : files) {
        const QString from = source + u'/' + file;
        const fs::path to = fresh / filePath(file);
        fs::create_directories(to.parent_path(), error);
        if (!error) fs::copy_file(filePath(from), to, error);
        if (!error) {
            const bool program = QFileInfo(from).path() == programs;
            fs::permissions(to, program ? PROGRAM : DATA, error);
        }
        if (error) return error;
    }
    return error;
}

// Gives `top` and every folder in it the permissions of an installed folder.
std::error_code openFolders(const fs::path& top) {
    std::error_code error;
    fs::permissions(top, FOLDER, error);
    for (fs::recursive_directory_iterator entries(top, error), end; !error && entries != end;
         entries.increment(error)) {
        if (entries->is_directory()) fs::permissions(entries->path(), FOLDER, error);
    }
    return error;
}

// Makes a copy with `copy`, under a hidden name beside the installed one, swaps it in and
// registers it.
std::optional<QString> install(const QString& installFolder,
                               const std::function<std::error_code(const fs::path&)>& copy) {
    const fs::path target = filePath(installedBundle(installFolder));
    const fs::path fresh = besides(target);
    std::error_code error;
    fs::create_directories(target.parent_path(), error);
    if (!error) error = copy(fresh);
    if (!error) error = swapIn(fresh, target);
    std::error_code ignored;
    fs::remove_all(fresh, ignored);
    if (error) return QString::fromLocal8Bit(error.message());
    platform::registerInstalledApplication(installedBundle(installFolder));
    return std::nullopt;
}

}  // namespace

QString defaultInstallFolder() {
    return QDir::homePath() + QStringLiteral("/Applications");
}

QString installedBundle(const QString& installFolder) {
    return installFolder + QStringLiteral("/Trackglint.app");
}

std::optional<QString> installCopy(const QString& source, const QString& installFolder) {
    return install(installFolder, [&source](const fs::path& fresh) {
        std::error_code error;
        fs::copy(filePath(source), fresh,
                 fs::copy_options::recursive | fs::copy_options::copy_symlinks, error);
        return error;
    });
}

std::optional<QString> installFiles(const QString& source, const QStringList& files,
                                    const QString& installFolder) {
    return install(installFolder, [&](const fs::path& fresh) {
        std::error_code error = copyFiles(source, files, fresh);
        if (!error) error = openFolders(fresh);
        return error;
    });
}
