#include "maintenance/Installer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <QUuid>

#include "maintenance/BundleSignature.h"
#include "maintenance/InstallCopy.h"
#include "maintenance/Version.h"
#include "platform/Archive.h"
#include "platform/Assessment.h"
#include "platform/Bundle.h"
#include "platform/Http.h"
#include "platform/PropertyList.h"

#ifndef TRACKGLINT_UPDATE_PUBLIC_KEY
#define TRACKGLINT_UPDATE_PUBLIC_KEY ""
#endif

const QString UPDATE_PUBLIC_KEY = QStringLiteral(TRACKGLINT_UPDATE_PUBLIC_KEY);

namespace {

const QString DOWNLOAD_FAILED = QStringLiteral("The download failed.");
const QString NOT_UNPACKED = QStringLiteral("The download couldn't be unpacked.");
const QString NOT_GENUINE = QStringLiteral("The downloaded copy failed its security check.");
const QString NOT_ASSESSED = QStringLiteral("The downloaded copy isn't notarized.");
const QString WRONG_VERSION =
    QStringLiteral("The downloaded copy's version didn't match the offered update.");
constexpr qint64 MAX_INFO_BYTES = 1 << 20;

// A new folder of this user's alone in the temporary folder, by its canonical path; none when
// it cannot be made.
std::optional<QString> makeWorkFolder() {
    const QString temporary = QFileInfo(QDir::tempPath()).canonicalFilePath();
    const QString path = temporary + QStringLiteral("/trackglint-update-") +
                         QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    if (temporary.isEmpty() ||
        !QDir().mkdir(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)) {
        return std::nullopt;
    }
    return path;
}

// The bundle carries exactly the offered version, and it is newer than the running one.
bool carriesVersion(const QString& bundlePath, const QString& expecting) {
    QFile file(bundlePath + QStringLiteral("/Contents/Info.plist"));
    if (file.size() > MAX_INFO_BYTES || !file.open(QIODevice::ReadOnly)) return false;
    const std::optional<QVariantMap> info = platform::readPropertyList(file.readAll());
    if (!info) return false;
    const QVariant version = info->value(QStringLiteral("CFBundleShortVersionString"));
    return version.typeId() == QMetaType::QString && version.toString() == expecting &&
           isNewer(expecting, platform::appVersion());
}

// The vendor's web site, named in the failure alert as the place to download by hand.
QString siteOf(const QString& broker) {
    const QString host = QUrl(broker).host();
    return host.isEmpty() ? broker : host;
}

}  // namespace

Installer::Installer(platform::Starter& starter, QString broker, QString updateKey,
                     QString installFolder, std::function<void()> quit, QObject* parent)
    : QObject(parent),
      starter_(starter),
      broker_(std::move(broker)),
      updateKey_(updateKey.toUtf8()),
      installFolder_(std::move(installFolder)),
      quit_(std::move(quit)) {
    background_.setMaxThreadCount(1);
}

Installer::~Installer() {
    stopping_ = true;
    background_.waitForDone();
}

void Installer::installUpdate(const QString& expecting) {
    const std::optional<QString> workFolder = makeWorkFolder();
    if (!workFolder) return finish(DOWNLOAD_FAILED);
    background_.start([this, workFolder = *workFolder, expecting] {
        const std::optional<QString> failure = fetchAndInstall(workFolder, expecting);
        QDir(workFolder).removeRecursively();
        if (stopping_) return;
        QMetaObject::invokeMethod(
            this, [this, failure] { finish(failure); }, Qt::QueuedConnection);
    });
}

// On the worker: the whole way from the archive to the installed copy. Returns the failure's
// message, or none when the new copy is in place.
std::optional<QString> Installer::fetchAndInstall(const QString& workFolder,
                                                  const QString& expecting) const {
    const QString archive = workFolder + QStringLiteral("/Trackglint.zip");
    const QString bundle = workFolder + QStringLiteral("/Trackglint.app");
    const QUrl address(broker_ + QStringLiteral("/Trackglint.zip"));
    if (!platform::getToFile(address, archive, [this] { return stopping_.load(); })) {
        return DOWNLOAD_FAILED;
    }
    if (!platform::unpackZip(archive, workFolder)) return NOT_UNPACKED;
    if (!signatureHolds(bundle, updateKey_)) return NOT_GENUINE;
    if (!platform::mayRunHere(platform::executableIn(bundle))) return NOT_ASSESSED;
    if (!carriesVersion(bundle, expecting)) return WRONG_VERSION;
    if (const std::optional<QString> error = installCopy(bundle, installFolder_)) {
        return QStringLiteral("Couldn't replace the app (") + *error + QStringLiteral(").");
    }
    return std::nullopt;
}

// On the main thread: the failure, or the start of the new copy and the end of this one.
void Installer::finish(const std::optional<QString>& failure) {
    if (failure) {
        emit failed(*failure + QStringLiteral(" You can also just re-download from ") +
                    siteOf(broker_) + u'.');
        return;
    }
    const QString installed = platform::executableIn(installedBundle(installFolder_));
    if (starter_.startDetached(installed, {QStringLiteral("--moved")})) quit_();
}
