#include "update/FetchAndInstall.h"

#include <QFile>

#include "maintenance/InstallCopy.h"
#include "maintenance/Version.h"
#include "platform/Bundle.h"
#include "platform/Http.h"
#include "platform/PropertyList.h"
#include "update/Archive.h"
#include "update/Assessment.h"
#include "update/BundleSignature.h"

namespace {

constexpr qint64 MAX_INFO_BYTES = 1 << 20;

// The bundle carries exactly the offered version, and it is newer than the running one.
bool carriesVersion(const QString& bundlePath, const UpdateRequest& request) {
    QFile file(bundlePath + QStringLiteral("/Contents/Info.plist"));
    if (file.size() > MAX_INFO_BYTES || !file.open(QIODevice::ReadOnly)) return false;
    const std::optional<QVariantMap> info = platform::readPropertyList(file.readAll());
    if (!info) return false;
    const QVariant version = info->value(QStringLiteral("CFBundleShortVersionString"));
    return version.typeId() == QMetaType::QString && version.toString() == request.expecting &&
           isNewer(request.expecting, request.running);
}

// Downloads the archive to `path`; what failed, if anything did.
std::optional<UpdateOutcome> download(const UpdateRequest& request, const QString& path,
                                      const platform::DownloadLimits& limits) {
    switch (platform::getToFile(request.archive, path, limits)) {
        case platform::Download::Saved:
            return std::nullopt;
        case platform::Download::TooLarge:
            return UpdateOutcome::TooLarge;
        case platform::Download::Stalled:
            return UpdateOutcome::Stalled;
        case platform::Download::TookTooLong:
            return UpdateOutcome::TookTooLong;
        case platform::Download::Failed:
            break;
    }
    return UpdateOutcome::DownloadFailed;
}

}  // namespace

UpdateReport fetchAndInstall(const UpdateRequest& request, const BuiltIn& builtIn) {
    const QString archive = request.workFolder + QStringLiteral("/Trackglint.zip");
    const QString bundle = request.workFolder + QStringLiteral("/Trackglint.app");
    if (const std::optional<UpdateOutcome> failure = download(request, archive, builtIn.limits)) {
        return {*failure, {}};
    }
    if (!unpackZip(archive, request.workFolder)) return {UpdateOutcome::NotUnpacked, {}};
    const std::optional<QStringList> files = signedFiles(bundle, builtIn.publicKey);
    if (!files) return {UpdateOutcome::NotGenuine, {}};
    if (!mayRunHere(platform::executableIn(bundle)) ||
        !mayRunHere(platform::updateHelperIn(bundle))) {
        return {UpdateOutcome::CannotRun, {}};
    }
    if (!carriesVersion(bundle, request)) return {UpdateOutcome::WrongVersion, {}};
    const Replacement replacement = installFiles(bundle, *files, request.installFolder);
    if (replacement.failure) return {UpdateOutcome::NotReplaced, *replacement.failure};
    return {UpdateOutcome::Installed, replacement.aside.value_or(QString())};
}
