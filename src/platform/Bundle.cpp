#include "platform/Bundle.h"

#include <sys/stat.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "platform/PropertyList.h"

namespace platform {
namespace {

// The folder under Contents/ that holds the executable, named by the build for the platform.
const QString EXECUTABLE_FOLDER = QStringLiteral(TRACKGLINT_EXECUTABLE_FOLDER);
const QString UPDATE_HELPER = QStringLiteral("trackglint-update");

}  // namespace

std::optional<Bundle> Bundle::containing(const QString& executablePath) {
    QDir folder = QFileInfo(executablePath).absoluteDir();
    if (folder.dirName() != EXECUTABLE_FOLDER || !folder.cdUp()) return std::nullopt;
    if (folder.dirName() != QLatin1String("Contents") || !folder.cdUp()) return std::nullopt;
    if (!folder.dirName().endsWith(QLatin1String(".app"))) return std::nullopt;
    if (!QFileInfo(folder.filePath(QStringLiteral("Contents/Info.plist"))).isFile()) {
        return std::nullopt;
    }
    return Bundle(folder.absolutePath());
}

std::optional<Bundle> Bundle::current() {
    return containing(QCoreApplication::applicationFilePath());
}

QVariantMap Bundle::info() const {
    QFile file(path_ + QStringLiteral("/Contents/Info.plist"));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return readPropertyList(file.readAll()).value_or(QVariantMap());
}

std::optional<QString> Bundle::infoString(const QString& key) const {
    const QVariant value = info().value(key);
    if (value.typeId() != QMetaType::QString) return std::nullopt;
    return value.toString();
}

std::optional<QString> Bundle::resource(const QString& fileName) const {
    const QString path = path_ + QStringLiteral("/Contents/Resources/") + fileName;
    if (!QFileInfo(path).isFile()) return std::nullopt;
    return path;
}

QString executableFolderIn(const QString& bundlePath) {
    return bundlePath + QStringLiteral("/Contents/") + EXECUTABLE_FOLDER;
}

QString executableIn(const QString& bundlePath) {
    return executableFolderIn(bundlePath) + QStringLiteral("/trackglint");
}

QString updateHelperIn(const QString& bundlePath) {
    return executableFolderIn(bundlePath) + u'/' + UPDATE_HELPER;
}

QString runningUpdateHelper() {
    return QCoreApplication::applicationDirPath() + u'/' + UPDATE_HELPER;
}

bool runningExecutableInPlace() {
#ifdef Q_OS_LINUX
    // /proc/self/exe leads to the file the process runs, even once it is deleted; the path the
    // program found at its start leads to whatever is there now.
    struct stat running {};
    struct stat there {};
    const QByteArray path = QFile::encodeName(QCoreApplication::applicationFilePath());
    return ::stat("/proc/self/exe", &running) == 0 && !path.isEmpty() &&
           ::stat(path.constData(), &there) == 0 && running.st_dev == there.st_dev &&
           running.st_ino == there.st_ino;
#else
    return true;
#endif
}

std::optional<QString> shortVersion() {
    const std::optional<Bundle> bundle = Bundle::current();
    if (!bundle) return std::nullopt;
    return bundle->infoString(QStringLiteral("CFBundleShortVersionString"));
}

QString appVersion() {
    return shortVersion().value_or(QStringLiteral("0"));
}

std::optional<QString> resourcePath(const QString& fileName) {
    const std::optional<Bundle> bundle = Bundle::current();
    return bundle ? bundle->resource(fileName) : std::nullopt;
}

}  // namespace platform
