// Starting a Slack sign-in: OAuth v2 with PKCE, the browser coming back through the loopback
// listener within a deadline.

#include "signin/SignIn.h"

#include "signin/Pkce.h"
#include "signin/SlackApp.h"

namespace {

constexpr qsizetype NONCE_BYTES = 16;
constexpr qsizetype VERIFIER_BYTES = 48;
// A sign-in still waiting this long may be stuck on an error page of Slack's.
constexpr std::chrono::seconds SIGN_IN_STALL{120};

// What to check when Slack never sends the browser back: it shows its own error page instead
// when the app's redirect, PKCE or client ID is not right.
QString whatToCheck() {
    return QStringLiteral(
               "If Slack showed an error, check that your Slack app's redirect URL is "
               "%1, that PKCE is on, and that the client ID is right.")
        .arg(SLACK_REDIRECT);
}

}  // namespace

SignIn::SignIn(Config& config, AppState& state, SlackClient& slack, SyncEngine& sync,
               platform::Desktop& desktop, platform::LoginItem& loginItem,
               platform::RandomSource& random, const platform::Clock& clock, quint16 port,
               QObject* parent)
    : QObject(parent),
      config_(config),
      state_(state),
      slack_(slack),
      sync_(sync),
      desktop_(desktop),
      loginItem_(loginItem),
      random_(random),
      clock_(clock),
      port_(port),
      oauth_(port) {
    signInDeadline_.setSingleShot(true);
    connect(&signInDeadline_, &QTimer::timeout, this, &SignIn::signInDeadlinePassed);
    signInStall_.setSingleShot(true);
    connect(&signInStall_, &QTimer::timeout, this, &SignIn::signInStalled);
    renewal_.setSingleShot(true);
    connect(&renewal_, &QTimer::timeout, this, &SignIn::renewTokens);
    connect(&slack_, &SlackClient::tokenRejected, this, &SignIn::tokenRejected,
            Qt::QueuedConnection);
    scheduleRenewal();
    showSignedOut();
    oauth_.onToken = [this](const std::optional<QString>& code, const std::optional<QString>& error,
                            const OAuthListener::Answer& answer) {
        // A later turn of the event loop: the listener is done with the connection by then.
        QMetaObject::invokeMethod(
            this, [this, code, error, answer] { finishSignIn(code, error, answer); },
            Qt::QueuedConnection);
    };
}

SignIn::~SignIn() {
    background_.waitForDone();
}

void SignIn::signIn() {
    const std::optional<QString> clientId = slackClientId(config_);
    if (!clientId) {
        return state_.setTrouble(AppState::Trouble::SignIn,
                                 QStringLiteral("Signing in needs your Slack app's client ID."));
    }
    const std::optional<QByteArray> nonceBytes = random_.bytes(NONCE_BYTES);
    const std::optional<QByteArray> verifierBytes = random_.bytes(VERIFIER_BYTES);
    if (!nonceBytes || !verifierBytes) {
        state_.setTrouble(AppState::Trouble::SignIn,
                          QStringLiteral("Secure randomness unavailable — sign-in aborted."));
        forgetPending();
        return;
    }
    pendingNonce_ = nonceFromBytes(*nonceBytes);
    pendingVerifier_ = verifierFromBytes(*verifierBytes);
    pendingClientId_ = clientId;
    const QString challenge = codeChallenge(*pendingVerifier_);
    const QString state = signInState(port_, *pendingNonce_);

    // A sign-in asked for while another waits (its page closed, or another workspace's wanted)
    // replaces it: the earlier page's answer no longer matches.
    oauth_.stop();
    if (!oauth_.start(state, *pendingNonce_)) {
        state_.setTrouble(AppState::Trouble::SignIn,
                          QStringLiteral("Port %1 busy — quit other Trackglint copies").arg(port_));
        forgetPending();
        return;
    }
    signInDeadline_.start(std::chrono::seconds(SIGN_IN_DEADLINE_SECONDS));
    signInStall_.start(SIGN_IN_STALL);
    const QUrl page = authorizationUrl(*clientId, state, challenge);
    // Without a browser the user can still open the page by hand; the listener waits for it.
    if (!desktop_.openUrl(page)) emit browserUnavailable(page);
}

void SignIn::signInStalled() {
    if (!pendingNonce_) return;
    state_.setTrouble(AppState::Trouble::SignIn,
                      QStringLiteral("Still waiting for Slack in your browser. ") + whatToCheck());
}

void SignIn::signInDeadlinePassed() {
    oauth_.stop();
    signInStall_.stop();
    const bool waited = pendingNonce_.has_value();
    forgetPending();
    if (!waited) return;
    state_.setTrouble(AppState::Trouble::SignIn,
                      QStringLiteral("Slack never sent the browser back. ") + whatToCheck());
}

void SignIn::forgetPending() {
    pendingNonce_.reset();
    pendingVerifier_.reset();
    pendingClientId_.reset();
}
