// Starting a Slack sign-in: OAuth v2 with PKCE, the browser coming back through the loopback
// listener within a deadline.

#include "main/AppDelegate.h"
#include "main/Constants.h"
#include "signin/Pkce.h"

namespace {

constexpr qsizetype NONCE_BYTES = 16;
constexpr qsizetype VERIFIER_BYTES = 48;

}  // namespace

void AppDelegate::signIn() {
    const std::optional<QByteArray> nonceBytes = random_->bytes(NONCE_BYTES);
    const std::optional<QByteArray> verifierBytes = random_->bytes(VERIFIER_BYTES);
    if (!nonceBytes || !verifierBytes) {
        setLastError(QStringLiteral("Secure randomness unavailable — sign-in aborted."));
        pendingNonce_.reset();
        pendingVerifier_.reset();
        return;
    }
    pendingNonce_ = nonceFromBytes(*nonceBytes);
    pendingVerifier_ = verifierFromBytes(*verifierBytes);
    const QString challenge = codeChallenge(*pendingVerifier_);

    oauth_.onToken = [this](std::optional<QString> code, std::optional<QString> nonce,
                            std::optional<QString> error) {
        // A later turn of the event loop, after the browser has had its answer.
        QMetaObject::invokeMethod(
            this, [this, code, nonce, error] { finishSignIn(code, nonce, error); },
            Qt::QueuedConnection);
    };
    if (!oauth_.start()) {
        setLastError(QStringLiteral("Port %1 busy — quit other Trackglint copies").arg(oauthPort_));
        pendingNonce_.reset();
        pendingVerifier_.reset();
        return;
    }
    signInDeadline_.start(std::chrono::seconds(SIGN_IN_DEADLINE_SECONDS));
    desktop_->openUrl(authorizationUrl(signInState(oauthPort_, *pendingNonce_), challenge));
}

void AppDelegate::signInDeadlinePassed() {
    oauth_.stop();
    pendingNonce_.reset();
    pendingVerifier_.reset();
}
