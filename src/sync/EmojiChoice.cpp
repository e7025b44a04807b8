// Which emoji the status carries: the user's pick from EMOJI_CHOICES, or, without one, the
// workspace's own :spotify: once it is known to exist. A :spotify: pick gives way only when
// the workspace is known to lack it.

#include <algorithm>

#include "main/AppDelegate.h"
#include "main/Constants.h"
#include "slack/SlackApi.h"

namespace {

const QString SPOTIFY_EMOJI = QStringLiteral(":spotify:");

bool offered(const QString& code) {
    return std::any_of(EMOJI_CHOICES.cbegin(), EMOJI_CHOICES.cend(),
                       [&](const EmojiChoice& choice) { return choice.code == code; });
}

}  // namespace

QString AppDelegate::effectiveEmoji() const {
    const std::optional<QString> chosen = config_.chosenEmoji();
    const std::optional<bool> available = spotifyEmojiAvailable();
    if (!chosen || !offered(*chosen)) return available == true ? SPOTIFY_EMOJI : DEFAULT_EMOJI;
    if (*chosen == SPOTIFY_EMOJI) return available == false ? DEFAULT_EMOJI : SPOTIFY_EMOJI;
    return *chosen;
}

void AppDelegate::checkEmojiAsync() {
    const std::optional<QString> token = config_.slackToken();
    if (!token) return;
    background_.start([this, token = *token] {
        const std::optional<bool> exists = spotifyEmojiExists(token);
        // The delegate waits for its checks before it goes, so it is still here; the result
        // is stored on the main thread and dropped if the delegate is gone by then.
        QMetaObject::invokeMethod(
            this,
            [this, exists] {
                setSpotifyEmojiAvailable(exists);
                emit tickNotification();
            },
            Qt::QueuedConnection);
    });
}
