#pragma once

#include <QJsonObject>
#include <QObject>
#include <QSet>
#include <QThreadPool>
#include <QTimer>
#include <optional>

#include "platform/Clock.h"
#include "platform/Desktop.h"
#include "platform/LoginItem.h"
#include "platform/Random.h"
#include "settings/Config.h"
#include "signin/OAuthListener.h"
#include "slack/SlackClient.h"
#include "state/AppState.h"
#include "state/Constants.h"

class SyncEngine;

// Signing in with Slack (OAuth v2 with PKCE, the browser coming back through the loopback
// listener within a deadline) and signing out.
//
// Lives on the main thread. The token exchange and the clear of a disconnect run on a small
// pool that the object waits for when it goes.
class SignIn : public QObject {
    Q_OBJECT

  public:
    SignIn(Config& config, AppState& state, SlackClient& slack, SyncEngine& sync,
           platform::Desktop& desktop, platform::LoginItem& loginItem,
           platform::RandomSource& random, const platform::Clock& clock, quint16 port = OAUTH_PORT,
           QObject* parent = nullptr);
    ~SignIn() override;

    // Starts a sign-in with the Slack app the build carries or the user gave: arms the loopback
    // listener and a deadline, opens Slack's page.
    void signIn();
    // Ends the sign-in with what the browser brought back for it, and answers the browser with
    // how it ended.
    void finishSignIn(const std::optional<QString>& code, const std::optional<QString>& error,
                      const OAuthListener::Answer& answer = {});
    // A sign-in still waiting after a while: says what to check in case Slack showed an error.
    void signInStalled();
    // What the sign-in deadline does: the attempt is dropped, saying what to check.
    void signInDeadlinePassed();
    const std::optional<QString>& pendingNonce() const { return pendingNonce_; }
    const std::optional<QString>& pendingVerifier() const { return pendingVerifier_; }
    const QTimer& signInDeadline() const { return signInDeadline_; }
    const QTimer& signInStall() const { return signInStall_; }

  signals:
    // No browser opened Slack's page: the user may open `page` by hand.
    void browserUnavailable(const QUrl& page);

  public:
    // Signs out of every workspace: clears the program's own status wherever it still shows,
    // and forgets every setting.
    void disconnect();
    // Signs out of one workspace: clears the program's own status there, if it still shows,
    // and forgets the workspace. Returns the reason when the settings could not be saved.
    std::optional<QString> removeWorkspace(const QString& key);

    // A token that expires is renewed shortly before it does. Renews every token due now.
    void renewTokens();
    const QTimer& renewal() const { return renewal_; }

    // A token, with what renews it and when it expires (Unix seconds); no renewal for a token
    // that does not expire.
    struct Grant {
        QString token;
        std::optional<QString> refreshToken;
        qint64 expiresAt = 0;
    };
    // What came back from one of Slack's OAuth methods: its JSON object (empty when none came),
    // the HTTP status (0 when no reply came) and the wait a Retry-After header asked for.
    struct OAuthReply {
        QJsonObject json;
        int status = 0;
        std::optional<qint64> retryAfter;
    };

  private:
    void forgetPending();
    void exchangeCode(const QString& code, const QString& verifier, const QString& clientId,
                      const OAuthListener::Answer& answer);
    void storeAccount(const Grant& grant, const QJsonObject& account,
                      const OAuthListener::Answer& answer);
    // Ends a sign-in that failed: the error line and the browser's page say `why`.
    void signInFailed(const QString& why, const OAuthListener::Answer& answer);
    std::optional<qint64> renewalDue(const Workspace& workspace) const;
    void renewToken(const Workspace& workspace);
    void finishRenewal(const QString& key, const OAuthReply& reply);
    void renewalPassed(const Workspace& workspace, const OAuthReply& reply, const QString& why);
    void scheduleRenewal();
    void tokenRejected(const QString& token, const QString& error);
    void signedOut(const QString& key, const QString& error);
    void showSignedOut(const QString& error = QString());

    Config& config_;
    AppState& state_;
    SlackClient& slack_;
    SyncEngine& sync_;
    platform::Desktop& desktop_;
    platform::LoginItem& loginItem_;
    platform::RandomSource& random_;
    const platform::Clock& clock_;
    const quint16 port_;
    OAuthListener oauth_;
    QTimer signInDeadline_;
    QTimer signInStall_;
    QTimer renewal_;
    QSet<QString> renewing_;  // the keys of the workspaces whose tokens are being renewed
    // By workspace key: the earliest the next renewal may be tried (Unix seconds), and how many
    // tries in a row met a passing fault.
    struct RenewalTries {
        qint64 notBefore = 0;
        int failures = 0;
    };
    QHash<QString, RenewalTries> renewalTries_;
    std::optional<QString> pendingNonce_;
    std::optional<QString> pendingVerifier_;
    std::optional<QString> pendingClientId_;
    QThreadPool background_;
};
