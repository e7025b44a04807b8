// Starting a Slack sign-in: OAuth v2 with PKCE, the browser coming back through the loopback
// listener within a deadline.

#include "signin/SignIn.h"

#include "signin/Pkce.h"

namespace {

constexpr qsizetype NONCE_BYTES = 16;
constexpr qsizetype VERIFIER_BYTES = 48;

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
    renewal_.setSingleShot(true);
    connect(&renewal_, &QTimer::timeout, this, &SignIn::renewTokens);
    connect(&slack_, &SlackClient::tokenRejected, this, &SignIn::tokenRejected,
            Qt::QueuedConnection);
    scheduleRenewal();
    oauth_.onToken = [this](std::optional<QString> code, std::optional<QString> nonce,
                            std::optional<QString> error) {
        // A later turn of the event loop, after the browser has had its answer.
        QMetaObject::invokeMethod(
            this, [this, code, nonce, error] { finishSignIn(code, nonce, error); },
            Qt::QueuedConnection);
    };
}

SignIn::~SignIn() {
    background_.waitForDone();
}

void SignIn::signIn() {
    if (!slackAppConfigured()) {
        state_.setLastError(QStringLiteral(
            "This copy was built without a Slack app (SLACK_CLIENT_ID), so it can't sign in. "
            "The README says how to build it with yours."));
        return state_.notifyUI();
    }
    const std::optional<QByteArray> nonceBytes = random_.bytes(NONCE_BYTES);
    const std::optional<QByteArray> verifierBytes = random_.bytes(VERIFIER_BYTES);
    if (!nonceBytes || !verifierBytes) {
        state_.setLastError(QStringLiteral("Secure randomness unavailable — sign-in aborted."));
        forgetPending();
        return;
    }
    pendingNonce_ = nonceFromBytes(*nonceBytes);
    pendingVerifier_ = verifierFromBytes(*verifierBytes);
    const QString challenge = codeChallenge(*pendingVerifier_);

    // A sign-in asked for while another waits (its page closed, or another workspace's wanted)
    // replaces it: the earlier page's answer no longer matches.
    oauth_.stop();
    if (!oauth_.start()) {
        state_.setLastError(
            QStringLiteral("Port %1 busy — quit other Trackglint copies").arg(port_));
        forgetPending();
        return;
    }
    signInDeadline_.start(std::chrono::seconds(SIGN_IN_DEADLINE_SECONDS));
    const QUrl page = authorizationUrl(signInState(port_, *pendingNonce_), challenge);
    // Without a browser the user can still open the page by hand; the listener waits for it.
    if (!desktop_.openUrl(page)) emit browserUnavailable(page);
}

void SignIn::signInDeadlinePassed() {
    oauth_.stop();
    forgetPending();
}

void SignIn::forgetPending() {
    pendingNonce_.reset();
    pendingVerifier_.reset();
}
