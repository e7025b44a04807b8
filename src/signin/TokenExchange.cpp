// The end of a sign-in: the browser's answer is matched against the pending attempt, the code
// is exchanged for a user token, the account is confirmed, and the token stored. A token that
// expires is renewed before it does; one Slack refuses for good signs the user out.

#include <QJsonArray>
#include <QJsonDocument>

#include "platform/Http.h"
#include "signin/SignIn.h"
#include "signin/SlackApp.h"
#include "slack/SlackApi.h"
#include "state/Constants.h"
#include "sync/SyncEngine.h"

using namespace std::chrono_literals;

namespace {

constexpr auto EXCHANGE_WAIT = 15s;
constexpr qint64 MAX_REPLY_BYTES = 1 << 20;
// A token is renewed this long before it expires, and a renewal that found no answer is tried
// again after a while.
constexpr qint64 RENEW_BEFORE_SECONDS = 15 * 60;
constexpr auto RENEW_RETRY = 60s;

// A JSON value as text: a string as itself, anything else in its printed JSON form.
QString text(const QJsonValue& value) {
    if (value.isString()) return value.toString();
    const QByteArray wrapped = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(wrapped.mid(1, wrapped.size() - 2));
}

// Calls one of Slack's OAuth methods, which take no token; an empty object when no reply came.
QJsonObject postToSlack(const QString& method, const FormParams& params) {
    const platform::HttpPost request{
        QUrl(slackApiBase() + method),
        {{"Content-Type", "application/x-www-form-urlencoded"}},
        formBody(params),
    };
    const QJsonDocument reply = QJsonDocument::fromJson(
        platform::postAndWait(request, EXCHANGE_WAIT, MAX_REPLY_BYTES).body);
    return reply.isObject() ? reply.object() : QJsonObject();
}

QJsonObject requestToken(const QString& code, const QString& verifier, const QString& clientId) {
    return postToSlack(QStringLiteral("oauth.v2.access"),
                       {{QStringLiteral("client_id"), clientId},
                        {QStringLiteral("code"), code},
                        {QStringLiteral("code_verifier"), verifier},
                        {QStringLiteral("redirect_uri"), SLACK_REDIRECT}});
}

QJsonObject requestRenewal(const QString& refreshToken, const QString& clientId) {
    return postToSlack(QStringLiteral("oauth.v2.access"),
                       {{QStringLiteral("client_id"), clientId},
                        {QStringLiteral("grant_type"), QStringLiteral("refresh_token")},
                        {QStringLiteral("refresh_token"), refreshToken}});
}

// The user token `fields` of a successful `reply` grant: the token, and for one that expires,
// what renews it and when it expires.
std::optional<SignIn::Grant> grantIn(const QJsonObject& fields, const QJsonObject& reply,
                                     const platform::Clock& clock) {
    const QJsonValue token = fields.value(QStringLiteral("access_token"));
    if (!replySucceeded(reply) || !token.isString()) return std::nullopt;
    SignIn::Grant grant{token.toString(), std::nullopt, 0};
    const QJsonValue refresh = fields.value(QStringLiteral("refresh_token"));
    const QJsonValue lifetime = fields.value(QStringLiteral("expires_in"));
    if (refresh.isString() && lifetime.isDouble()) {
        grant.refreshToken = refresh.toString();
        grant.expiresAt = clock.now().toSecsSinceEpoch() + qint64(lifetime.toDouble());
    }
    return grant;
}

// A renewal's token: at the top level of the reply, or as the signed-in user's.
std::optional<SignIn::Grant> renewedGrant(const QJsonObject& reply, const platform::Clock& clock) {
    const QJsonValue user = reply.value(QStringLiteral("authed_user"));
    return grantIn(user.isObject() ? user.toObject() : reply, reply, clock);
}

QString errorText(const QJsonObject& reply, const QString& fallback) {
    return reply.contains(QStringLiteral("error")) ? text(reply.value(QStringLiteral("error")))
                                                   : fallback;
}

}  // namespace

void SignIn::finishSignIn(const std::optional<QString>& code, const std::optional<QString>& error,
                          const OAuthListener::Answer& answer) {
    oauth_.stop();
    signInDeadline_.stop();
    signInStall_.stop();
    const std::optional<QString> verifier = pendingVerifier_;
    const std::optional<QString> clientId = pendingClientId_;
    forgetPending();
    if (error) return signInFailed(QStringLiteral("Sign-in failed: ") + *error, answer);
    if (!code || !verifier || !clientId) {
        return signInFailed(QStringLiteral("Sign-in didn't match this app session — try again."),
                            answer);
    }
    state_.setLastError(std::nullopt);
    background_.start([this, code = *code, verifier = *verifier, clientId = *clientId, answer] {
        exchangeCode(code, verifier, clientId, answer);
    });
}

void SignIn::signInFailed(const QString& why, const OAuthListener::Answer& answer) {
    state_.setLastError(why);
    if (answer) answer(why);
    state_.notifyUI();
}

// On a worker: trades the code for a user token and asks Slack whose it is.
void SignIn::exchangeCode(const QString& code, const QString& verifier, const QString& clientId,
                          const OAuthListener::Answer& answer) {
    const QJsonObject reply = requestToken(code, verifier, clientId);
    const std::optional<Grant> grant =
        grantIn(reply.value(QStringLiteral("authed_user")).toObject(), reply, clock_);
    if (!grant) {
        const QString why = QStringLiteral("Sign-in exchange failed: ") +
                            errorText(reply, QStringLiteral("network"));
        QMetaObject::invokeMethod(
            this, [this, why, answer] { signInFailed(why, answer); }, Qt::QueuedConnection);
        return;
    }
    const SlackReply account = slack_.call(QStringLiteral("auth.test"), grant->token);
    QMetaObject::invokeMethod(
        this, [this, grant = *grant, account, answer] { storeAccount(grant, account, answer); },
        Qt::QueuedConnection);
}

// On the main thread: stores the confirmed account, adding its workspace or replacing the same
// one's sign-in, and starts syncing with it.
void SignIn::storeAccount(const Grant& grant, const QJsonObject& account,
                          const OAuthListener::Answer& answer) {
    if (!replySucceeded(account)) {
        return signInFailed(
            QStringLiteral("Slack rejected the token: ") + errorText(account, QStringLiteral("?")),
            answer);
    }
    const auto field = [&](const char* name) {
        const QJsonValue value = account.value(QLatin1String(name));
        return value.isString() ? value.toString() : QString();
    };
    Workspace workspace;
    workspace.token = grant.token;
    workspace.name = field("user");
    workspace.teamUrl = field("url");
    workspace.teamId = field("team_id");
    workspace.teamName = field("team");
    if (workspace.name.isEmpty()) workspace.name = QStringLiteral("you");
    if (workspace.teamUrl.isEmpty()) workspace.teamUrl = slackWebRoot();
    if (grant.refreshToken) {
        workspace.refreshToken = grant.refreshToken;
        workspace.expiresAt = grant.expiresAt;
    }
    const QJsonObject before = config_.raw();
    config_.addWorkspace(workspace);
    if (const std::optional<QString> failure = config_.save()) {
        // Signed in only for this run, the next start would bring back what the file still
        // holds: stay with that, and say why.
        config_.setRaw(before);
        return signInFailed(QStringLiteral("Couldn't save your sign-in: ") + *failure, answer);
    }
    if (answer) answer(std::nullopt);
    scheduleRenewal();
    if (!loginItem_.enabled()) loginItem_.setEnabled(true);
    state_.setLastError(std::nullopt);
    state_.notifyUI();
    sync_.tickAsync();
    sync_.checkEmojiAsync(workspace.key());
}

// Arms the renewal of the tokens that expire, shortly before the first of them does.
void SignIn::scheduleRenewal() {
    renewal_.stop();
    std::optional<qint64> first;
    for (const Workspace& workspace : config_.workspaces()) {
        if (workspace.token.isEmpty() || !workspace.refreshToken || !workspace.expiresAt) continue;
        if (renewing_.contains(workspace.key())) continue;
        first = std::min(first.value_or(*workspace.expiresAt), *workspace.expiresAt);
    }
    if (!first) return;
    const qint64 left = *first - clock_.now().toSecsSinceEpoch() - RENEW_BEFORE_SECONDS;
    renewal_.start(std::chrono::seconds(std::max<qint64>(0, left)));
}

void SignIn::renewTokens() {
    const qint64 now = clock_.now().toSecsSinceEpoch();
    for (const Workspace& workspace : config_.workspaces()) {
        if (workspace.token.isEmpty() || !workspace.expiresAt) continue;
        if (*workspace.expiresAt - RENEW_BEFORE_SECONDS <= now) renewToken(workspace);
    }
    scheduleRenewal();
}

void SignIn::renewToken(const Workspace& workspace) {
    if (!workspace.refreshToken || renewing_.contains(workspace.key())) return;
    renewing_ += workspace.key();
    const QString clientId = slackClientId(config_).value_or(QString());
    background_.start(
        [this, key = workspace.key(), refreshToken = *workspace.refreshToken, clientId] {
            const QJsonObject reply = requestRenewal(refreshToken, clientId);
            QMetaObject::invokeMethod(
                this, [this, key, reply] { finishRenewal(key, reply); }, Qt::QueuedConnection);
        });
}

// On the main thread: the renewed token, or, when Slack refused the renewal, signed out.
void SignIn::finishRenewal(const QString& key, const QJsonObject& reply) {
    renewing_.remove(key);
    if (const std::optional<Grant> grant = renewedGrant(reply, clock_);
        grant && grant->refreshToken) {
        config_.setRenewedToken(key, grant->token, *grant->refreshToken, grant->expiresAt);
        if (const std::optional<QString> failure = config_.save()) {
            state_.setLastError(QStringLiteral("Couldn't save your sign-in: ") + *failure);
        }
        scheduleRenewal();
        sync_.tickAsync();
    } else if (reply.isEmpty()) {
        renewal_.start(RENEW_RETRY);  // no answer: Slack may be out of reach for a while
    } else {
        signedOut(key, errorText(reply, QStringLiteral("invalid_refresh_token")));
    }
    state_.notifyUI();
}

// Slack refused a stored token: an expired one is renewed, any other signs the user out of its
// workspace.
void SignIn::tokenRejected(const QString& token, const QString& error) {
    for (const Workspace& workspace : config_.workspaces()) {
        if (workspace.token != token) continue;
        if (error == QLatin1String("token_expired") && workspace.refreshToken) {
            return renewToken(workspace);
        }
        return signedOut(workspace.key(), error);
    }
}

// Forgets the workspace's token, keeping the workspace, the account's name and every
// preference, and says so.
void SignIn::signedOut(const QString& key, const QString& error) {
    config_.forgetToken(key);
    (void)config_.save();  // a token the file may still hold is refused at the next start too
    const QList<Workspace> all = config_.workspaces();
    const std::optional<Workspace> workspace = config_.workspace(key);
    if (all.size() > 1 && workspace) {
        state_.setLastError(
            QStringLiteral("Slack signed you out of %1 — Sign in again").arg(workspace->title()));
    } else {
        state_.setLastError(
            QStringLiteral("Slack signed you out (%1) — sign in again.").arg(error));
    }
    state_.notifyUI();
    sync_.tickAsync();
}
