#include "maintenance/Updater.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

#include "maintenance/Version.h"
#include "platform/Bundle.h"
#include "platform/Http.h"
#include "state/Constants.h"

namespace {

// The version reply is a few bytes of JSON; anything much larger is not one.
constexpr qint64 MAX_REPLY_BYTES = 16 * 1024;

// The "version" text of a reply that is a JSON object holding one; none for anything else.
std::optional<QString> remoteVersion(const QByteArray& body) {
    if (body.isEmpty()) return std::nullopt;
    const QJsonDocument document = QJsonDocument::fromJson(body);
    const QJsonValue version = document.object().value(QStringLiteral("version"));
    if (!document.isObject() || !version.isString()) return std::nullopt;
    return version.toString();
}

}  // namespace

Updater::Updater(AppState& state, QString updateKey, Distribution distribution, QObject* parent)
    : QObject(parent),
      state_(state),
      updateKey_(std::move(updateKey)),
      distribution_(distribution) {
    connect(&daily_, &QTimer::timeout, this, [this] { checkForUpdate(false); });
}

void Updater::scheduleChecks(std::chrono::milliseconds firstDelay,
                             std::chrono::milliseconds interval) {
    if (!enabled()) return;
    QTimer::singleShot(firstDelay, this, [this] { checkForUpdate(false); });
    daily_.start(interval);
}

void Updater::checkForUpdate(bool interactive) {
    if (!enabled()) return;
    // The version goes into the query as it is, without percent-encoding.
    const QUrl address(broker() + QStringLiteral("/version?v=") + platform::appVersion(),
                       QUrl::StrictMode);
    if (!address.isValid() || address.scheme().isEmpty()) {
        if (interactive) emit checkFailed();
        return;
    }
    const auto timeout = interactive ? ASKED_CHECK_TIMEOUT : CHECK_TIMEOUT;
    platform::get(address, timeout, MAX_REPLY_BYTES, this,
                  [this, interactive](const QByteArray& body) {
                      if (const std::optional<QString> remote = remoteVersion(body)) {
                          decide(*remote, interactive);
                      } else if (interactive) {
                          emit checkFailed();
                      }
                  });
}

void Updater::decide(const QString& remote, bool interactive) {
    if (isNewer(remote, platform::appVersion())) {
        state_.setUpdateAvailable(remote);
        emit updateFound(remote);
    } else if (interactive) {
        state_.setUpdateAvailable(std::nullopt);
        emit upToDate();
    }
}

void Updater::offerAgain() {
    if (const std::optional<QString> version = state_.updateAvailable()) emit updateFound(*version);
}
