// Signing out: after a confirmation, the program's own status is cleared and every setting
// forgotten.

#include <QFile>

#include "main/AppDelegate.h"
#include "slack/SlackApi.h"

void AppDelegate::disconnect() {
    const bool confirmed = desktop_->confirm({
        QStringLiteral("Disconnect Slack?"),
        QStringLiteral("Your status will be cleared and Trackglint will forget your sign-in."),
        QStringLiteral("Disconnect"),
        QStringLiteral("Cancel"),
    });
    if (!confirmed) return;

    const std::optional<QString> token = config_.slackToken();
    // Only the program's own status is cleared; one the user set by hand stays.
    if (token && !lastSetText().isEmpty()) {
        background_.start([token = *token] { clearStatus(token); });
    }
    config_.setRaw({});
    config_.save();
    QFile::remove(config_.path());
    setLastSetText(QString());
    setNowPlayingLabel(QStringLiteral("…"));
}
