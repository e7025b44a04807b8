#include "sync/EmojiChoice.h"

#include <algorithm>

#include "state/Constants.h"

namespace {

const QString SPOTIFY_EMOJI = QStringLiteral(":spotify:");

bool offered(const QString& code) {
    return std::any_of(EMOJI_CHOICES.cbegin(), EMOJI_CHOICES.cend(),
                       [&](const EmojiChoice& choice) { return choice.code == code; });
}

}  // namespace

QString effectiveEmoji(const std::optional<QString>& chosen, std::optional<bool> available) {
    if (!chosen || !offered(*chosen)) return available == true ? SPOTIFY_EMOJI : DEFAULT_EMOJI;
    if (*chosen == SPOTIFY_EMOJI) return available == false ? DEFAULT_EMOJI : SPOTIFY_EMOJI;
    return *chosen;
}
