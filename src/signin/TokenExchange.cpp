// The end of a sign-in: the browser's answer is matched against the pending attempt, the code
// is exchanged for a user token, the account is confirmed, and the token stored.

#include <QJsonArray>
#include <QJsonDocument>

#include "platform/Http.h"
#include "signin/SignIn.h"
#include "slack/SlackApi.h"
#include "state/Constants.h"
#include "sync/SyncEngine.h"

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

void SignIn::finishSignIn(const std::optional<QString>& code, const std::optional<QString>& nonce,
                          const std::optional<QString>& error) {
    oauth_.stop();
    signInDeadline_.stop();
    const bool matches = code && nonce && pendingNonce_ && *nonce == *pendingNonce_;
    const std::optional<QString> verifier = pendingVerifier_;
    forgetPending();
    if (error) {
        state_.setLastError(QStringLiteral("Sign-in failed: ") + *error);
    } else if (matches && verifier) {
        background_.start(
            [this, code = *code, verifier = *verifier] { exchangeCode(code, verifier); });
    } else {
        state_.setLastError(QStringLiteral("Sign-in didn't match this app session — try again."));
    }
}

// On a worker: trades the code for a user token and asks Slack whose it is.
void SignIn::exchangeCode(const QString& code, const QString& verifier) {
    const QJsonObject reply = requestToken(code, verifier);
    const std::optional<QString> token = userToken(reply);
    if (!token) {
        state_.setLastError(QStringLiteral("Sign-in exchange failed: ") +
                            errorText(reply, QStringLiteral("network")));
        return state_.notifyUI();
    }
    const SlackReply account = slackCall(QStringLiteral("auth.test"), *token);
    QMetaObject::invokeMethod(
        this, [this, token = *token, account] { storeAccount(token, account); },
        Qt::QueuedConnection);
}

// On the main thread: stores the confirmed account and starts syncing with it.
void SignIn::storeAccount(const QString& token, const QJsonObject& account) {
    if (!replySucceeded(account)) {
        state_.setLastError(QStringLiteral("Slack rejected the token: ") +
                            errorText(account, QStringLiteral("?")));
        return;
    }
    const QJsonValue user = account.value(QStringLiteral("user"));
    const QJsonValue url = account.value(QStringLiteral("url"));
    const QJsonObject before = config_.raw();
    config_.setAccount(token, user.isString() ? user.toString() : QStringLiteral("you"),
                       url.isString() ? url.toString() : slackWebRoot());
    if (const std::optional<QString> failure = config_.save()) {
        // Signed in only for this run, the next start would bring back what the file still
        // holds: stay with that, and say why.
        config_.setRaw(before);
        state_.setLastError(QStringLiteral("Couldn't save your sign-in: ") + *failure);
        return state_.notifyUI();
    }
    if (!loginItem_.enabled()) loginItem_.setEnabled(true);
    state_.setLastError(std::nullopt);
    state_.notifyUI();
    sync_.tickAsync();
    sync_.checkEmojiAsync();
}
