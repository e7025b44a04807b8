// The end of a sign-in: the browser's answer is matched against the pending attempt, the code
// is exchanged for a user token, the account is confirmed, and the token stored.

#include <QJsonArray>
#include <QJsonDocument>

#include "main/AppDelegate.h"
#include "main/Constants.h"
#include "platform/Http.h"
#include "slack/SlackApi.h"

using namespace std::chrono_literals;

namespace {

constexpr auto EXCHANGE_WAIT = 15s;

// A JSON value as text: a string as itself, anything else in its printed JSON form.
QString text(const QJsonValue& value) {
    if (value.isString()) return value.toString();
    const QByteArray wrapped = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(wrapped.mid(1, wrapped.size() - 2));
}

QJsonObject requestToken(const QString& code, const QString& verifier) {
    const platform::HttpPost request{
        QUrl(slackApiBase() + QStringLiteral("oauth.v2.access")),
        {{"Content-Type", "application/x-www-form-urlencoded"}},
        formBody({{QStringLiteral("client_id"), SLACK_CLIENT_ID},
                  {QStringLiteral("code"), code},
                  {QStringLiteral("code_verifier"), verifier},
                  {QStringLiteral("redirect_uri"), SLACK_REDIRECT}}),
    };
    const QJsonDocument reply =
        QJsonDocument::fromJson(platform::postAndWait(request, EXCHANGE_WAIT));
    return reply.isObject() ? reply.object() : QJsonObject();
}

std::optional<QString> userToken(const QJsonObject& reply) {
    const QJsonValue user = reply.value(QStringLiteral("authed_user"));
    const QJsonValue token = user.toObject().value(QStringLiteral("access_token"));
    if (!replySucceeded(reply) || !user.isObject() || !token.isString()) return std::nullopt;
    return token.toString();
}

QString errorText(const QJsonObject& reply, const QString& fallback) {
    return reply.contains(QStringLiteral("error")) ? text(reply.value(QStringLiteral("error")))
                                                   : fallback;
}

}  // namespace

void AppDelegate::finishSignIn(const std::optional<QString>& code,
                               const std::optional<QString>& nonce,
                               const std::optional<QString>& error) {
    oauth_.stop();
    signInDeadline_.stop();
    if (error) {
        setLastError(QStringLiteral("Sign-in failed: ") + *error);
    } else if (code && nonce && pendingNonce_ && *nonce == *pendingNonce_ && pendingVerifier_) {
        const QString verifier = *pendingVerifier_;
        pendingNonce_.reset();
        pendingVerifier_.reset();
        background_.start([this, code = *code, verifier] { exchangeCode(code, verifier); });
        return;
    } else {
        setLastError(QStringLiteral("Sign-in didn't match this app session — try again."));
    }
    pendingNonce_.reset();
    pendingVerifier_.reset();
}

// On a worker: trades the code for a user token and asks Slack whose it is.
void AppDelegate::exchangeCode(const QString& code, const QString& verifier) {
    const QJsonObject reply = requestToken(code, verifier);
    const std::optional<QString> token = userToken(reply);
    if (!token) {
        setLastError(QStringLiteral("Sign-in exchange failed: ") +
                     errorText(reply, QStringLiteral("network")));
        return notifyUI();
    }
    const SlackReply account = slackCall(QStringLiteral("auth.test"), *token);
    QMetaObject::invokeMethod(
        this, [this, token = *token, account] { storeAccount(token, account); },
        Qt::QueuedConnection);
}

// On the main thread: stores the confirmed account and starts syncing with it.
void AppDelegate::storeAccount(const QString& token, const QJsonObject& account) {
    if (!replySucceeded(account)) {
        setLastError(QStringLiteral("Slack rejected the token: ") +
                     errorText(account, QStringLiteral("?")));
        return;
    }
    const QJsonValue user = account.value(QStringLiteral("user"));
    const QJsonValue url = account.value(QStringLiteral("url"));
    config_.setSlackToken(token);
    config_.setValue(QStringLiteral("slackName"),
                     user.isString() ? user : QJsonValue(QStringLiteral("you")));
    config_.setValue(QStringLiteral("teamUrl"), url.isString() ? url : QJsonValue(slackWebRoot()));
    config_.save();
    if (!loginItem_->enabled()) loginItem_->setEnabled(true);
    setLastError(std::nullopt);
    notifyUI();
    tickAsync();
    checkEmojiAsync();
}
