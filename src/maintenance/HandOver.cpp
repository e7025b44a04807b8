#include "maintenance/HandOver.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include "maintenance/InstallCopy.h"
#include "maintenance/Installer.h"
#include "platform/Bundle.h"

namespace {

constexpr qint64 MAX_RECORD_BYTES = 4096;

QString recordPath(const QString& installFolder) {
    return installFolder + QStringLiteral("/.Trackglint.app.hand-over");
}

// The name an install gives the copy it sets aside beside the installed one, and nothing else:
// a record naming anything more could otherwise move or remove files elsewhere.
bool isAsideName(const QString& name) {
    static const QRegularExpression pattern(QStringLiteral("^\\.Trackglint\\.app-[0-9a-f]{32}$"));
    return pattern.match(name).hasMatch();
}

}  // namespace

// The record, when it is whole and what it names is still there.
std::optional<HandOverRecord> pendingHandOver(const QString& installFolder) {
    QFile file(recordPath(installFolder));
    if (!file.open(QIODevice::ReadOnly) || file.size() > MAX_RECORD_BYTES) return std::nullopt;
    const QJsonObject fields = QJsonDocument::fromJson(file.readAll()).object();
    HandOverRecord record;
    record.deadline =
        QDateTime::fromString(fields[QStringLiteral("deadline")].toString(), Qt::ISODateWithMs);
    const QJsonValue aside = fields[QStringLiteral("aside")];
    if (!aside.isUndefined()) {
        if (!isAsideName(aside.toString())) return std::nullopt;
        record.aside = installFolder + u'/' + aside.toString();
        if (!QFileInfo(*record.aside).isDir()) return std::nullopt;
    }
    if (!record.deadline.isValid()) return std::nullopt;
    return record;
}

namespace {

// The record goes first: a copy set aside that no record names is only a leftover, while a
// record naming a copy that is gone could not be undone.
void finishLocked(const QString& installFolder) {
    const std::optional<HandOverRecord> record = pendingHandOver(installFolder);
    QFile::remove(recordPath(installFolder));
    if (record && record->aside) platform::removeTree(*record->aside);
}

}  // namespace

std::optional<QString> recordHandOver(const QString& installFolder, const HandOverRecord& record) {
    QJsonObject fields{
        {QStringLiteral("deadline"), record.deadline.toUTC().toString(Qt::ISODateWithMs)}};
    if (record.aside) {
        const QString name = QFileInfo(*record.aside).fileName();
        if (!isAsideName(name)) return QStringLiteral("unexpected name ") + name;
        fields[QStringLiteral("aside")] = name;
    }
    return platform::writeFilePrivately(recordPath(installFolder), QJsonDocument(fields).toJson());
}

void finishHandOver(const QString& installFolder) {
    const platform::FolderLock lock(installFolder, HAND_OVER_LOCK_WAIT);
    if (lock.held()) finishLocked(installFolder);
}

HandOverResult undoHandOver(const QString& installFolder, std::chrono::milliseconds wait) {
    const platform::FolderLock lock(installFolder, wait);
    if (!lock.held()) return {HandOverEnd::Busy, std::nullopt};
    const std::optional<HandOverRecord> record = pendingHandOver(installFolder);
    if (!record) return {HandOverEnd::TakenOver, std::nullopt};
    // Should the old copy not go back, the record stays, for a later start to try again.
    if (std::optional<QString> failure = putBack(record->aside, installFolder)) {
        return {HandOverEnd::PutBack, std::move(failure)};
    }
    QFile::remove(recordPath(installFolder));
    return {HandOverEnd::PutBack, std::nullopt};
}

HandOverAtStart::HandOverAtStart(platform::Starter& starter, QString installFolder,
                                 std::optional<QString> runningBundle)
    : starter_(starter),
      installFolder_(std::move(installFolder)),
      runningBundle_(std::move(runningBundle)) {}

bool HandOverAtStart::isInstalledCopy() const {
    const QString installed = QFileInfo(installedBundle(installFolder_)).canonicalFilePath();
    return runningBundle_ && !installed.isEmpty() &&
           QFileInfo(*runningBundle_).canonicalFilePath() == installed;
}

bool HandOverAtStart::settle() {
    lock_ = std::make_unique<platform::FolderLock>(installFolder_, HAND_OVER_LOCK_WAIT);
    // Looked at under the lock, so the old copy cannot be put back between this look and the
    // claim of the name.
    if (!platform::runningExecutableInPlace()) return false;
    const std::optional<HandOverRecord> record = pendingHandOver(installFolder_);
    // Another copy is deciding the hand-over: the new copy is not the one to take over.
    if (!lock_->held()) return !(record && isInstalledCopy());
    if (!record) {
        QFile::remove(recordPath(installFolder_));  // one that names nothing there any more
        return true;
    }
    if (QDateTime::currentDateTimeUtc() < record->deadline) {
        takingOver_ = isInstalledCopy();
        return true;
    }
    // With no earlier copy to go back to, the installed one stays: the only copy there is.
    if (!record->aside) {
        QFile::remove(recordPath(installFolder_));
        return true;
    }
    return putBackOldCopy(*record);
}

// The deadline has passed with no copy taken over: the old copy set aside goes back in place. A
// copy that was the new one (gone now) or the old one run from where it was set aside (back in
// place now) starts the copy in place and ends; any other carries on.
bool HandOverAtStart::putBackOldCopy(const HandOverRecord& record) {
    // Should the old copy not go back, nothing has moved: this copy carries on as it is.
    if (putBack(record.aside, installFolder_)) return true;
    QFile::remove(recordPath(installFolder_));
    if (platform::runningExecutableInPlace()) return true;
    lock_.reset();  // the copy started here settles nothing, but waits for none either
    starter_.startDetached(platform::executableIn(installedBundle(installFolder_)), {});
    return false;
}

void HandOverAtStart::claimed(bool runs) {
    if (runs && takingOver_ && lock_->held()) finishLocked(installFolder_);
    if (runs) removeLeftoverWorkFolders();
    takingOver_ = false;
    lock_.reset();
}
