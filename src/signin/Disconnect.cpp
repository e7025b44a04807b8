// Signing out: after a confirmation, the program's own status is cleared and every setting
// forgotten.

#include <QFile>

#include "signin/SignIn.h"
#include "slack/SlackApi.h"

void SignIn::disconnect() {
    const int chosen = desktop_.alert({
        QStringLiteral("Disconnect Slack?"),
        QStringLiteral("Your status will be cleared and Trackglint will forget your sign-in."),
        {QStringLiteral("Disconnect"), QStringLiteral("Cancel")},
    });
    if (chosen != 0) return;

    const std::optional<QString> token = config_.slackToken();
    // Only the program's own status is cleared; one the user set by hand stays.
    if (token && !state_.lastSetText().isEmpty()) {
        background_.start([token = *token] { clearStatus(token); });
    }
    config_.setRaw({});
    config_.save();
    QFile::remove(config_.path());
    state_.setLastSetText(QString());
    state_.setNowPlayingLabel(QStringLiteral("…"));
}
