// The end of a sign-in: the browser's answer is matched against the pending attempt, the code
// is exchanged for a user token, the account is confirmed, and the token stored. A token that
// expires is renewed before it does. Only Slack's final refusal of a renewal signs the user out:
// a renewal that meets a passing fault (no answer, an overloaded or rate-limited Slack, a reply
// without a usable token) keeps every token and is tried again later.

#include <QJsonArray>
#include <QJsonDocument>
#include <cmath>

#include "platform/Http.h"
#include "signin/SignIn.h"
#include "signin/SlackApp.h"
#include "slack/SlackApi.h"
#include "slack/SlackClient.h"
#include "state/Constants.h"
#include "state/TimeText.h"
#include "sync/SyncEngine.h"

using namespace std::chrono_literals;

namespace {

using OAuthReply = SignIn::OAuthReply;

constexpr auto EXCHANGE_WAIT = 15s;
constexpr qint64 MAX_REPLY_BYTES = 1 << 20;
// A token is renewed this long before it expires. Renewals of a workspace are at least a
// minute apart, however short-lived the tokens Slack hands out; after a passing fault the wait
// doubles with each failure, up to a quarter of an hour (or the longer wait Slack asks for).
constexpr qint64 RENEW_BEFORE_SECONDS = 15 * 60;
constexpr qint64 RENEW_FLOOR_SECONDS = 60;
constexpr qint64 RENEW_BACKOFF_LIMIT_SECONDS = 15 * 60;
// A renewal due further ahead than this is looked at again then, keeping within the timer's range.
constexpr qint64 RENEW_CHECK_SECONDS = 24 * 60 * 60;
// The longest lifetime a token is believed to have: Slack's last half a day.
constexpr double MAX_LIFETIME_SECONDS = 366.0 * 24 * 60 * 60;

// Slack's answers to a renewal that say the refresh token will never work again: those that
// refuse any token for good, and those that refuse the renewal itself.
bool refusesForGood(const QString& error) {
    static const QStringList renewalRefusals = {QStringLiteral("invalid_refresh_token"),
                                                QStringLiteral("invalid_grant"),
                                                QStringLiteral("invalid_client_id")};
    return rejectsToken(error) || renewalRefusals.contains(error);
}

// A JSON value as text: a string as itself, anything else in its printed JSON form.
QString text(const QJsonValue& value) {
    if (value.isString()) return value.toString();
    const QByteArray wrapped = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(wrapped.mid(1, wrapped.size() - 2));
}

// Calls one of Slack's OAuth methods, which take no token; the object is empty when no JSON
// object came back.
OAuthReply postToSlack(const QString& method, const FormParams& params) {
    const platform::HttpPost request{
        QUrl(slackApiBase() + method),
        {{"Content-Type", "application/x-www-form-urlencoded"}},
        formBody(params),
    };
    const platform::HttpReply http = platform::postAndWait(request, EXCHANGE_WAIT, MAX_REPLY_BYTES);
    const QJsonDocument reply = QJsonDocument::fromJson(http.body);
    return {reply.isObject() ? reply.object() : QJsonObject(), http.status, http.retryAfter};
}

QJsonObject requestToken(const QString& code, const QString& verifier, const QString& clientId) {
    return postToSlack(QStringLiteral("oauth.v2.access"),
                       {{QStringLiteral("client_id"), clientId},
                        {QStringLiteral("code"), code},
                        {QStringLiteral("code_verifier"), verifier},
                        {QStringLiteral("redirect_uri"), SLACK_REDIRECT}})
        .json;
}

OAuthReply requestRenewal(const QString& refreshToken, const QString& clientId) {
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
        const double seconds = lifetime.toDouble();
        if (!std::isfinite(seconds) || seconds < 0 || seconds > MAX_LIFETIME_SECONDS) {
            return std::nullopt;
        }
        grant.refreshToken = refresh.toString();
        grant.expiresAt = clock.now().toSecsSinceEpoch() + qint64(seconds);
    }
    return grant;
}

// The id of the workspace a reply names; empty when it names none.
QString teamIn(const QJsonObject& reply) {
    const QJsonValue team = reply.value(QStringLiteral("team"));
    const QJsonValue id = team.isObject() ? team.toObject().value(QStringLiteral("id"))
                                          : reply.value(QStringLiteral("team_id"));
    return id.isString() ? id.toString() : QString();
}

// A renewal's token for `teamId`: at the top level of the reply, or as the signed-in user's.
// None for a token that does not expire or is another workspace's.
std::optional<SignIn::Grant> renewedGrant(const QJsonObject& reply, const QString& teamId,
                                          const platform::Clock& clock) {
    const QString team = teamIn(reply);
    if (!team.isEmpty() && !teamId.isEmpty() && team != teamId) return std::nullopt;
    const QJsonValue user = reply.value(QStringLiteral("authed_user"));
    std::optional<SignIn::Grant> grant =
        grantIn(user.isObject() ? user.toObject() : reply, reply, clock);
    return grant && grant->refreshToken ? grant : std::nullopt;
}

QString errorText(const QJsonObject& reply, const QString& fallback) {
    return reply.contains(QStringLiteral("error")) ? text(reply.value(QStringLiteral("error")))
                                                   : fallback;
}

// What kept a renewal without a refusal from giving a token, in a word or two.
QString passingFault(const OAuthReply& reply) {
    if (reply.status == 0) return QStringLiteral("network");
    if (reply.status != 200) return QStringLiteral("HTTP %1").arg(reply.status);
    return QStringLiteral("no usable token");
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
    state_.setTrouble(AppState::Trouble::SignIn, std::nullopt);
    background_.start([this, code = *code, verifier = *verifier, clientId = *clientId, answer] {
        exchangeCode(code, verifier, clientId, answer);
    });
}

void SignIn::signInFailed(const QString& why, const OAuthListener::Answer& answer) {
    state_.setTrouble(AppState::Trouble::SignIn, why);
    if (answer) answer(why);
}

// On a worker: trades the code for a user token and asks Slack whose it is.
void SignIn::exchangeCode(const QString& code, const QString& verifier, const QString& clientId,
                          const OAuthListener::Answer& answer) {
    const QJsonObject reply = requestToken(code, verifier, clientId);
    const std::optional<Grant> grant =
        grantIn(reply.value(QStringLiteral("authed_user")).toObject(), reply, clock_);
    if (!grant) {
        const QString why = QStringLiteral("Sign-in exchange failed: ") +
                            errorText(reply, reply.isEmpty() ? QStringLiteral("network")
                                                             : QStringLiteral("no usable token"));
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
    state_.setTrouble(AppState::Trouble::SignIn, std::nullopt);
    showSignedOut();
    sync_.tickAsync();
    sync_.checkEmojiAsync(workspace.key());
}

// When the workspace's token is next to be renewed (Unix seconds): shortly before it expires,
// and not before the wait after the last try is over. None for a token that is not renewed.
std::optional<qint64> SignIn::renewalDue(const Workspace& workspace) const {
    if (workspace.token.isEmpty() || !workspace.refreshToken || !workspace.expiresAt) {
        return std::nullopt;
    }
    return std::max(*workspace.expiresAt - RENEW_BEFORE_SECONDS,
                    renewalTries_.value(workspace.key()).notBefore);
}

// Arms the renewal of the tokens that expire, when the first of them is due.
void SignIn::scheduleRenewal() {
    renewal_.stop();
    std::optional<qint64> first;
    for (const Workspace& workspace : config_.workspaces()) {
        const std::optional<qint64> due = renewalDue(workspace);
        if (!due || renewing_.contains(workspace.key())) continue;
        first = std::min(first.value_or(*due), *due);
    }
    if (!first) return;
    const qint64 left = *first - clock_.now().toSecsSinceEpoch();
    renewal_.start(std::chrono::seconds(std::clamp<qint64>(left, 0, RENEW_CHECK_SECONDS)));
}

void SignIn::renewTokens() {
    const qint64 now = clock_.now().toSecsSinceEpoch();
    for (const Workspace& workspace : config_.workspaces()) {
        const std::optional<qint64> due = renewalDue(workspace);
        if (due && *due <= now) renewToken(workspace);
    }
    scheduleRenewal();
}

void SignIn::renewToken(const Workspace& workspace) {
    const qint64 now = clock_.now().toSecsSinceEpoch();
    RenewalTries& tries = renewalTries_[workspace.key()];
    if (!workspace.refreshToken || renewing_.contains(workspace.key()) || now < tries.notBefore) {
        return;
    }
    tries.notBefore = now + RENEW_FLOOR_SECONDS;
    renewing_ += workspace.key();
    const QString clientId = slackClientId(config_).value_or(QString());
    background_.start(
        [this, key = workspace.key(), refreshToken = *workspace.refreshToken, clientId] {
            const OAuthReply reply = requestRenewal(refreshToken, clientId);
            QMetaObject::invokeMethod(
                this, [this, key, reply] { finishRenewal(key, reply); }, Qt::QueuedConnection);
        });
}

// On the main thread: the renewed token is stored; a final refusal signs out; anything else
// keeps every token and tries again later.
void SignIn::finishRenewal(const QString& key, const OAuthReply& reply) {
    renewing_.remove(key);
    const std::optional<Workspace> workspace = config_.workspace(key);
    if (!workspace || !workspace->refreshToken) return scheduleRenewal();
    const QString error = errorText(reply.json, QString());
    if (const std::optional<Grant> grant = renewedGrant(reply.json, workspace->teamId, clock_)) {
        renewalTries_[key].failures = 0;
        config_.setRenewedToken(key, grant->token, *grant->refreshToken, grant->expiresAt);
        const std::optional<QString> failure = config_.save();
        state_.setTrouble(
            AppState::Trouble::Renewal,
            failure ? std::optional(QStringLiteral("Couldn't save your sign-in: ") + *failure)
                    : std::nullopt);
        sync_.tickAsync();
    } else if (reply.status == 200 && !replySucceeded(reply.json) && refusesForGood(error)) {
        return signedOut(key, error);
    } else {
        renewalPassed(*workspace, reply, error.isEmpty() ? passingFault(reply) : error);
    }
    scheduleRenewal();
}

// A renewal met a passing fault: the next try waits longer each time, and at least as long as
// Slack asked. Once the token has expired, sharing stops, and the user is told why.
void SignIn::renewalPassed(const Workspace& workspace, const OAuthReply& reply,
                           const QString& why) {
    RenewalTries& tries = renewalTries_[workspace.key()];
    tries.failures = std::min(tries.failures + 1, 16);
    const qint64 backoff =
        std::min(RENEW_FLOOR_SECONDS << (tries.failures - 1), RENEW_BACKOFF_LIMIT_SECONDS);
    const QDateTime now = clock_.now();
    const qint64 wait = std::max(backoff, reply.retryAfter.value_or(0));
    tries.notBefore = now.toSecsSinceEpoch() + wait;
    if (now.toSecsSinceEpoch() < workspace.expiresAt.value_or(0)) return;
    state_.setTrouble(AppState::Trouble::Renewal,
                      QStringLiteral("Slack couldn't renew your sign-in (%1) — retrying at %2")
                          .arg(why, shortTimeText(now.addSecs(wait).toLocalTime().time())));
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
    state_.setTrouble(AppState::Trouble::Renewal, std::nullopt);
    showSignedOut(error);
    sync_.tickAsync();
}

// Names a workspace Slack signed the user out of, while there is one: with several, the first;
// with one, why, when `error` says it (else what was shown stays).
void SignIn::showSignedOut(const QString& error) {
    const QList<Workspace> all = config_.workspaces();
    const auto out = std::find_if(all.cbegin(), all.cend(), [](const Workspace& workspace) {
        return workspace.token.isEmpty();
    });
    std::optional<QString> why;
    if (out != all.cend() && all.size() > 1) {
        why = QStringLiteral("Slack signed you out of %1 — Sign in again").arg(out->title());
    } else if (!error.isEmpty()) {
        why = QStringLiteral("Slack signed you out (%1) — sign in again.").arg(error);
    } else if (out != all.cend()) {
        return;
    }
    state_.setTrouble(AppState::Trouble::SignedOut, why);
}
