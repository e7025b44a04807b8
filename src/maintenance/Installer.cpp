#include "maintenance/Installer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <QUuid>
#include <optional>

#include "maintenance/InstallCopy.h"
#include "maintenance/UpdateRequest.h"
#include "platform/Bundle.h"
#include "platform/Files.h"

#ifndef TRACKGLINT_UPDATE_PUBLIC_KEY
#define TRACKGLINT_UPDATE_PUBLIC_KEY ""
#endif

const QString UPDATE_PUBLIC_KEY = QStringLiteral(TRACKGLINT_UPDATE_PUBLIC_KEY);

namespace {

const QString DOWNLOAD_FAILED = QStringLiteral("The download failed.");

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

// What the alert says about a helper's report of failure.
QString explanation(int status, const QByteArray& output) {
    switch (UpdateOutcome(status)) {
        case UpdateOutcome::DownloadFailed:
            return DOWNLOAD_FAILED;
        case UpdateOutcome::TooLarge:
            return QStringLiteral("The download was larger than an update can be.");
        case UpdateOutcome::Stalled:
            return QStringLiteral("The download stopped making progress.");
        case UpdateOutcome::TookTooLong:
            return QStringLiteral("The download took too long.");
        case UpdateOutcome::NotUnpacked:
            return QStringLiteral("The download couldn't be unpacked.");
        case UpdateOutcome::NotGenuine:
            return QStringLiteral("The downloaded copy failed its security check.");
        case UpdateOutcome::CannotRun:
            return QStringLiteral("The downloaded copy can't run on this system.");
        case UpdateOutcome::WrongVersion:
            return QStringLiteral("The downloaded copy's version didn't match the offered update.");
        case UpdateOutcome::NotReplaced:
            return QStringLiteral("Couldn't replace the app (") + QString::fromUtf8(output) +
                   QStringLiteral(").");
        default:
            return QStringLiteral("The update stopped unexpectedly.");
    }
}

// The vendor's web site, named in the failure alert as the place to download by hand.
QString siteOf(const QString& broker) {
    const QString host = QUrl(broker).host();
    return host.isEmpty() ? broker : host;
}

}  // namespace

Installer::Installer(platform::Starter& starter, const QString& helper, QString broker,
                     QString installFolder, InstallLimits limits, QObject* parent)
    : QObject(parent),
      starter_(starter),
      helper_(helper),
      broker_(std::move(broker)),
      installFolder_(std::move(installFolder)) {
    connect(&helper_, &platform::HelperProcess::finished, this, &Installer::helperEnded);
    handOver_.setSingleShot(true);
    handOver_.setInterval(limits.handOver);
    connect(&handOver_, &QTimer::timeout, this, &Installer::putBackOldCopy);
}

Installer::~Installer() {
    helper_.stop();
    if (!workFolder_.isEmpty()) platform::removeTree(workFolder_);
}

void Installer::installUpdate(const QString& expecting) {
    if (helper_.running() || handOver_.isActive()) return;
    const std::optional<QString> workFolder = makeWorkFolder();
    if (!workFolder) return fail(DOWNLOAD_FAILED);
    workFolder_ = *workFolder;
    const UpdateRequest request{workFolder_, QUrl(broker_ + QStringLiteral("/Trackglint.zip")),
                                expecting, platform::appVersion(), installFolder_};
    helper_.start(request.arguments());
}

// The helper's report: a failure, or the new copy in place, which is started and given its
// time to take over.
void Installer::helperEnded(int status, const QByteArray& output) {
    platform::removeTree(workFolder_);
    workFolder_.clear();
    if (status != int(UpdateOutcome::Installed)) return fail(explanation(status, output));
    aside_ = output.isEmpty() ? std::nullopt : std::optional(QFile::decodeName(output));
    const QString installed = platform::executableIn(installedBundle(installFolder_));
    if (!starter_.startDetached(installed, {QStringLiteral("--moved")})) return putBackOldCopy();
    handOver_.start();
    emit newCopyStarted();
}

void Installer::handedOver() {
    if (!handOver_.isActive()) return;
    handOver_.stop();
    if (aside_) platform::removeTree(*aside_);
}

// The new copy did not take over: the old copy goes back in its place, and this one carries on.
void Installer::putBackOldCopy() {
    if (const std::optional<QString> error = putBack(aside_, installFolder_)) {
        return fail(QStringLiteral("The new version didn't start, and the previous one couldn't "
                                   "be put back (") +
                    *error + QStringLiteral(")."));
    }
    fail(QStringLiteral("The new version didn't start."));
}

void Installer::fail(const QString& reason) {
    emit failed(reason + QStringLiteral(" You can also just re-download from ") + siteOf(broker_) +
                u'.');
}
