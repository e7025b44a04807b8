#include "maintenance/Installer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <QUuid>
#include <optional>

#include "maintenance/HandOver.h"
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
const QString WORK_FOLDER_PREFIX = QStringLiteral("trackglint-update-");
// How long the timer's put-back waits for a starting copy to let go of the install folder
// before it tries again.
constexpr std::chrono::milliseconds PUT_BACK_WAIT{200};
constexpr std::chrono::milliseconds PUT_BACK_RETRY{1'000};

QString temporaryFolder() {
    return QFileInfo(QDir::tempPath()).canonicalFilePath();
}

// A new folder of this user's alone in the temporary folder, by its canonical path; none when
// it cannot be made.
std::optional<QString> makeWorkFolder() {
    const QString temporary = temporaryFolder();
    const QString path = temporary + u'/' + WORK_FOLDER_PREFIX +
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
      installFolder_(std::move(installFolder)),
      handOverLimit_(limits.handOver) {
    connect(&helper_, &platform::HelperProcess::finished, this, &Installer::helperEnded);
    handOver_.setSingleShot(true);
    connect(&handOver_, &QTimer::timeout, this, &Installer::putBackOldCopy);
}

Installer::~Installer() {
    abandonHandOver();
    helper_.stop();
    if (!workFolder_.isEmpty()) platform::removeTree(workFolder_);
}

void Installer::installUpdate(const QString& expecting) {
    if (helper_.running() || handOver_.isActive()) return;
    const std::optional<QString> workFolder = makeWorkFolder();
    if (!workFolder) return fail(DOWNLOAD_FAILED);
    workFolder_ = *workFolder;
    workLock_ = std::make_unique<platform::FolderLock>(workFolder_, std::chrono::milliseconds(0));
    if (!workLock_->held()) return fail(DOWNLOAD_FAILED);  // swept away as it was made
    const UpdateRequest request{workFolder_, QUrl(broker_ + QStringLiteral("/Trackglint.zip")),
                                expecting, platform::appVersion(), installFolder_};
    helper_.start(request.arguments());
}

// The helper's report: a failure, or the new copy in place, which is started and given its
// time to take over once the hand-over is on record.
void Installer::helperEnded(int status, const QByteArray& output) {
    platform::removeTree(workFolder_);
    workFolder_.clear();
    workLock_.reset();
    if (status != int(UpdateOutcome::Installed)) return fail(explanation(status, output));
    const std::optional<QString> aside =
        output.isEmpty() ? std::nullopt : std::optional(QFile::decodeName(output));
    const QDateTime deadline = QDateTime::currentDateTimeUtc().addMSecs(handOverLimit_.count());
    if (const std::optional<QString> error = recordHandOver(installFolder_, {aside, deadline})) {
        // A hand-over that would not outlive this copy does not begin.
        QString why = QStringLiteral("Couldn't keep track of the update (") + *error;
        if (const std::optional<QString> stuck = putBack(aside, installFolder_)) {
            why += QStringLiteral("), and the previous one couldn't be put back (") + *stuck;
        }
        return fail(why + QStringLiteral(")."));
    }
    const QString installed = platform::executableIn(installedBundle(installFolder_));
    if (!starter_.startDetached(installed, {QStringLiteral("--moved")})) return putBackOldCopy();
    handOver_.start(handOverLimit_);
    emit newCopyStarted();
}

void Installer::handedOver() {
    if (!handOver_.isActive()) return;
    handOver_.stop();
    finishHandOver(installFolder_);
}

bool Installer::abandonHandOver() {
    if (!handOver_.isActive()) return false;
    handOver_.stop();
    return undoHandOver(installFolder_, HAND_OVER_LOCK_WAIT).end == HandOverEnd::TakenOver;
}

// The new copy did not take over in time: the old copy goes back in its place, and this one
// carries on. Unless the new copy, starting just now, holds the install folder: then it is
// asked again shortly, and one that has taken over meanwhile ends this copy.
void Installer::putBackOldCopy() {
    const HandOverResult result = undoHandOver(installFolder_, PUT_BACK_WAIT);
    if (result.end == HandOverEnd::Busy) return handOver_.start(PUT_BACK_RETRY);
    handOver_.stop();
    if (result.end == HandOverEnd::TakenOver) return;
    if (result.failure) {
        return fail(QStringLiteral("The new version didn't start, and the previous one couldn't "
                                   "be put back (") +
                    *result.failure + QStringLiteral(")."));
    }
    fail(QStringLiteral("The new version didn't start."));
}

void removeLeftoverWorkFolders() {
    const QString temporary = temporaryFolder();
    if (!temporary.isEmpty()) platform::removeUnusedFolders(temporary, WORK_FOLDER_PREFIX);
}

void Installer::fail(const QString& reason) {
    emit failed(reason + QStringLiteral(" You can also just re-download from ") + siteOf(broker_) +
                u'.');
}
