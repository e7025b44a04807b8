#pragma once

#include <QString>
#include <QVariantMap>
#include <optional>

namespace platform {

// The application bundle the program runs from: a folder "NAME.app" holding
// Contents/Info.plist, the executable in Contents/Linux/ (Contents/MacOS/ on macOS) and the
// resources in Contents/Resources/. Found from the executable's own path; a program run from
// anywhere else has no bundle.
class Bundle {
  public:
    // The bundle holding `executablePath`, if it is in one.
    static std::optional<Bundle> containing(const QString& executablePath);
    // The bundle of the running program, if it has one.
    static std::optional<Bundle> current();

    const QString& path() const { return path_; }
    // Info.plist's dictionary; empty when it is missing or unreadable.
    QVariantMap info() const;
    // The text under `key` in Info.plist, or none when it is missing or not text.
    std::optional<QString> infoString(const QString& key) const;
    // The full path of a file among the resources, or none when there is no such file.
    std::optional<QString> resource(const QString& fileName) const;

  private:
    explicit Bundle(QString path) : path_(std::move(path)) {}
    QString path_;
};

// The folder of the bundle at `bundlePath` that holds its programs: Contents/Linux
// (Contents/MacOS on macOS).
QString executableFolderIn(const QString& bundlePath);
// The executable of the bundle at `bundlePath`: Contents/Linux/trackglint (Contents/MacOS/ on
// macOS).
QString executableIn(const QString& bundlePath);
// The update helper of the bundle at `bundlePath`, beside its executable: trackglint-update.
QString updateHelperIn(const QString& bundlePath);
// The update helper beside the running program's executable.
QString runningUpdateHelper();

// Whether the running program's executable is still the file at the path it was started from:
// not deleted, moved or replaced since (as when an update's hand-over put another copy back in
// its place). Where the system cannot tell (macOS), it is taken to be.
bool runningExecutableInPlace();

// The running version: the bundle's CFBundleShortVersionString, or none without a bundle or
// that text.
std::optional<QString> shortVersion();
// The running version as the update check sends it: the short version, or "0".
QString appVersion();
// The full path of one of the running bundle's resources, or none.
std::optional<QString> resourcePath(const QString& fileName);

}  // namespace platform
