// Signing out: the program's own status is cleared and every setting forgotten.

#include <QFile>

#include "signin/SignIn.h"

void SignIn::disconnect() {
    const std::optional<QString> token = config_.slackToken();
    const QString ownText = config_.lastSetText();
    // Only the program's own status, and only while Slack still shows it: a status the user set
    // by hand since stays.
    if (token && !ownText.isEmpty()) {
        background_.start(
            [this, token = *token, ownText] { slack_.clearOwnStatus(token, ownText); });
    }
    config_.setRaw({});
    // The file is removed next whether or not the empty settings could be written.
    (void)config_.save();
    QFile::remove(config_.path());
    state_.setNowPlayingLabel(QStringLiteral("…"));
}
