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
#include "platform/Files.h"

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
    std::string name = ".";
    name.append(target.filename().string()).append("-").append(tag);
    return target.parent_path() / name;
}

// Where a swap left the copy that was in place (under a hidden name beside it; empty when there
// was none), or what stopped it, in which case nothing moved.
struct Swap {
    std::error_code error;
    fs::path old;
};

// Without an atomic exchange the old copy steps aside, and steps back should the new one fail
// to take its place.
Swap renameThroughAside(const fs::path& fresh, const fs::path& target) {
    Swap swap{{}, besides(target)};
    fs::rename(target, swap.old, swap.error);
    if (swap.error) return swap;
    fs::rename(fresh, target, swap.error);
    std::error_code ignored;
    if (swap.error) fs::rename(swap.old, target, ignored);
    return swap;
}

// Puts `fresh` at `target`. A copy already there is exchanged with it in one step where the file
// system can, so it is left at `fresh`, and otherwise steps aside under another hidden name.
Swap swapIn(const fs::path& fresh, const fs::path& target) {
    std::error_code error;
    if (!fs::exists(target, error)) {
        fs::rename(fresh, target, error);
        return {error, {}};
    }
#ifdef RENAME_EXCHANGE
    if (::renameat2(AT_FDCWD, fresh.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) == 0) {
        return {{}, fresh};
    }
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
        return {std::error_code(errno, std::system_category()), {}};
    }
#endif
    return renameThroughAside(fresh, target);
}

QString reason(const std::error_code& error) {
    return QString::fromLocal8Bit(error.message());
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

// Makes a copy with `copy` under a hidden name beside the installed one, swaps it in and
// registers it; the copy it replaced stays aside.
Replacement install(const QString& installFolder,
                    const std::function<std::error_code(const fs::path&)>& copy) {
    const fs::path target = filePath(installedBundle(installFolder));
    const fs::path fresh = besides(target);
    std::error_code error;
    fs::create_directories(target.parent_path(), error);
    if (!error) error = copy(fresh);
    const Swap swap = error ? Swap{error, {}} : swapIn(fresh, target);
    if (swap.error) {
        std::error_code ignored;
        fs::remove_all(fresh, ignored);
        return {std::nullopt, reason(swap.error)};
    }
    platform::registerInstalledApplication(installedBundle(installFolder));
    if (swap.old.empty()) return {};
    return {QFile::decodeName(swap.old.c_str()), std::nullopt};
}

}  // namespace

QString defaultInstallFolder() {
    return QDir::homePath() + QStringLiteral("/Applications");
}

QString installedBundle(const QString& installFolder) {
    return installFolder + QStringLiteral("/Trackglint.app");
}

std::optional<QString> installCopy(const QString& source, const QString& installFolder) {
    const Replacement replacement = install(installFolder, [&source](const fs::path& fresh) {
        std::error_code error;
        fs::copy(filePath(source), fresh,
                 fs::copy_options::recursive | fs::copy_options::copy_symlinks, error);
        return error;
    });
    if (replacement.aside) platform::removeTree(*replacement.aside);
    return replacement.failure;
}

Replacement installFiles(const QString& source, const QStringList& files,
                         const QString& installFolder) {
    return install(installFolder, [&](const fs::path& fresh) {
        std::error_code error = copyFiles(source, files, fresh);
        if (!error) error = openFolders(fresh);
        return error;
    });
}

std::optional<QString> putBack(const std::optional<QString>& aside, const QString& installFolder) {
    const fs::path target = filePath(installedBundle(installFolder));
    if (!aside) {
        std::error_code error;
        fs::remove_all(target, error);
        return error ? std::optional(reason(error)) : std::nullopt;
    }
    const Swap swap = swapIn(filePath(*aside), target);
    if (swap.error) return reason(swap.error);
    std::error_code ignored;  // the copy that did not start may stay behind, hidden
    if (!swap.old.empty()) fs::remove_all(swap.old, ignored);
    return std::nullopt;
}
