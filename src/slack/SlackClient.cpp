#include "slack/SlackClient.h"

#include <QJsonDocument>
#include <QUrl>
#include <algorithm>

#include "platform/Http.h"
#include "state/Constants.h"
#include "state/TimeText.h"

using namespace std::chrono_literals;

namespace {

constexpr auto SLACK_WAIT = 10s;
// Slack's replies are small; an emoji list of a large workspace runs to a few hundred KiB.
constexpr qint64 MAX_REPLY_BYTES = 8 << 20;
const QString RATE_LIMITED = QStringLiteral("ratelimited");

SlackReply failure(const QString& error) {
    return {{QStringLiteral("ok"), false}, {QStringLiteral("error"), error}};
}

QString errorOf(const SlackReply& reply) {
    const QJsonValue error = reply.value(QStringLiteral("error"));
    return error.isString() ? error.toString() : QStringLiteral("?");
}

// The reply for what came back over HTTP: Slack's own when it sent one, else the network
// failure, with the HTTP status when there was one.
SlackReply replyFor(const platform::HttpReply& http) {
    SlackReply reply = parseSlackReply(http.body);
    if (http.status == 0) return networkFailure();
    if (http.status == 429) return failure(RATE_LIMITED);
    if (reply == networkFailure() && http.status != 200) {
        reply.insert(QStringLiteral("http_status"), http.status);
    }
    return reply;
}

QString timeText(const QDateTime& when) {
    return shortTimeText(when.toLocalTime().time());
}

}  // namespace

bool rejectsToken(const QString& error) {
    static const QStringList rejections = {
        QStringLiteral("invalid_auth"), QStringLiteral("token_revoked"),
        QStringLiteral("account_inactive"), QStringLiteral("not_authed"),
        QStringLiteral("token_expired")};
    return rejections.contains(error);
}

SlackClient::SlackClient(const platform::Clock& clock, QObject* parent)
    : QObject(parent), clock_(clock) {}

// Remembers what a reply says about the token: a time to wait, or a refusal for good.
void SlackClient::learn(const QString& token, const QString& method, int status,
                        std::optional<qint64> retryAfter, const SlackReply& reply) {
    const QString error = errorOf(reply);
    const bool rateLimited = status == 429 || error == RATE_LIMITED;
    const QString rejection = !replySucceeded(reply) && rejectsToken(error) ? error : QString();
    bool rejected = false;
    {
        QMutexLocker lock(&mutex_);
        rejected = limits_.learn(token, method, rateLimited, retryAfter, rejection, clock_.now());
    }
    if (rejected) emit tokenRejected(token, error);
}

SlackReply SlackClient::call(const QString& method, const QString& token,
                             const FormParams& params) {
    std::optional<QString> held;
    {
        QMutexLocker lock(&mutex_);
        held = limits_.heldBack(token, method, clock_.now());
    }
    if (held) return failure(*held);
    const platform::HttpPost request{
        QUrl(slackApiBase() + method),
        {{"Authorization", "Bearer " + token.toUtf8()},
         {"Content-Type", "application/x-www-form-urlencoded"}},
        formBody(params),
    };
    const platform::HttpReply http = platform::postAndWait(request, SLACK_WAIT, MAX_REPLY_BYTES);
    const SlackReply reply = replyFor(http);
    learn(token, method, http.status, http.retryAfter, reply);
    return reply;
}

SlackReply SlackClient::setStatus(const QString& token, const QString& text, const QString& emoji,
                                  const QDateTime& expires) {
    const QString statusText = firstGraphemes(text, STATUS_TEXT_LIMIT);
    const bool clearing = statusText.isEmpty();
    const QJsonObject profile{
        {QStringLiteral("status_text"), statusText},
        {QStringLiteral("status_emoji"), clearing ? QString() : emoji},
        {QStringLiteral("status_expiration"),
         clearing            ? qint64(0)
         : expires.isValid() ? expires.toSecsSinceEpoch()
                             : clock_.now().toSecsSinceEpoch() + STATUS_TTL_SECONDS},
    };
    const QString json = QString::fromUtf8(QJsonDocument(profile).toJson(QJsonDocument::Compact));
    return call(QStringLiteral("users.profile.set"), token, {{QStringLiteral("profile"), json}});
}

SlackReply SlackClient::clearStatus(const QString& token) {
    return setStatus(token, QString(), QString());
}

SlackReply SlackClient::readStatus(const QString& token) {
    return call(QStringLiteral("users.profile.get"), token);
}

std::optional<bool> SlackClient::spotifyEmojiExists(const QString& token) {
    return spotifyEmojiIn(call(QStringLiteral("emoji.list"), token));
}

bool SlackClient::clearOwnStatus(const QString& token, const QString& ownText) {
    if (ownText.isEmpty() || statusTextIn(readStatus(token)) != ownText) return false;
    return replySucceeded(clearStatus(token));
}

std::optional<QDateTime> SlackClient::nextWriteSlot(const QString& token) const {
    QMutexLocker lock(&mutex_);
    return limits_.nextWriteSlot(token, clock_.now());
}

std::optional<QDateTime> SlackClient::nextReadSlot(const QString& token) const {
    QMutexLocker lock(&mutex_);
    return limits_.nextReadSlot(token, clock_.now());
}

std::optional<QDateTime> SlackClient::waitingUntil(const QString& token) const {
    QMutexLocker lock(&mutex_);
    return limits_.waitingUntil(token, clock_.now());
}

QString SlackClient::waitExplanation(const QString& token) const {
    const QDateTime when = std::max(waitingUntil(token).value_or(QDateTime()),
                                    nextWriteSlot(token).value_or(QDateTime()));
    if (!when.isValid()) return QStringLiteral("Slack asked to wait");
    return QStringLiteral("Slack asked to wait — retrying at ") + timeText(when);
}

QString SlackClient::explain(const SlackReply& reply, const QString& token) const {
    const QString error = errorOf(reply);
    if (error == RATE_LIMITED) return waitExplanation(token);
    if (error == QLatin1String("token_expired")) {
        // An expiring token is renewed with its refresh token; only a refused renewal signs out.
        return QStringLiteral("Your Slack sign-in has expired — renewing it");
    }
    if (rejectsToken(error)) {
        return QStringLiteral("Slack signed you out (%1) — sign in again.").arg(error);
    }
    if (error == QLatin1String("missing_scope")) {
        const QJsonValue needed = reply.value(QStringLiteral("needed"));
        if (!needed.isString()) return QStringLiteral("Slack: missing permission — sign in again");
        return QStringLiteral("Slack: missing permission %1 — sign in again")
            .arg(needed.toString());
    }
    if (error == QLatin1String("network")) {
        const int status = reply.value(QStringLiteral("http_status")).toInt();
        if (status >= 500) return QStringLiteral("Slack is having trouble (HTTP %1)").arg(status);
        return QStringLiteral("Slack unreachable");
    }
    return QStringLiteral("Slack: ") + error;
}
