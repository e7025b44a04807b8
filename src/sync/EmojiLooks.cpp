// The engine's looks for the :spotify: emoji in each workspace: asked for from outside, at
// launch, and by steps at quiet moments; the answers are kept by workspace, and in the settings.

#include <QRandomGenerator>

#include "sync/EmojiChoice.h"
#include "sync/SyncEngine.h"

namespace {

// While the workspace lacks :spotify:, it is asked again this often; for a while after the user
// set out to add it, more often.
constexpr qint64 EMOJI_CHECK_SECONDS = 30 * 60;
constexpr qint64 EMOJI_WATCH_CHECK_SECONDS = 60;
// The launch's check of a workspace asked before is due within this time; a check due this long
// without a quiet step to take is made anyway.
constexpr quint32 LAUNCH_EMOJI_SPREAD_SECONDS = 10 * 60;
constexpr qint64 EMOJI_OVERDUE_SECONDS = 5 * 60;

}  // namespace

// Whether the workspace is to be asked for :spotify: again: the launch's second look, and the
// half-hourly one while it lacks the emoji, wait for a quiet step so that a steady track costs no
// more calls than it would without them; a look the user waits for, or one long overdue, not.
EmojiLook SyncEngine::emojiLookDue(const QString& key) const {
    const qint64 now = clock_.now().toSecsSinceEpoch();
    QMutexLocker lock(&lanesMutex_);
    const std::shared_ptr<Lane> lane = lanes_.value(key);
    const EmojiAnswer emoji = lane ? lane->emoji : EmojiAnswer{};
    qint64 due = 0;
    if (emoji.recheckAt) {
        due = *emoji.recheckAt;
    } else if (emoji.found == std::optional<bool>(false)) {
        const qint64 last = emoji.lastCheck;
        if (now < emojiWatchUntil_ && now - last >= EMOJI_WATCH_CHECK_SECONDS)
            return EmojiLook::Now;
        due = last + EMOJI_CHECK_SECONDS;
    } else {
        return EmojiLook::NotDue;
    }
    if (now < due) return EmojiLook::NotDue;
    return now - due >= EMOJI_OVERDUE_SECONDS ? EmojiLook::Now : EmojiLook::WhenQuiet;
}

void SyncEngine::watchForEmoji() {
    emojiWatchUntil_ = clock_.now().toSecsSinceEpoch() + EMOJI_CHECK_SECONDS;
}

void SyncEngine::checkEmojiAsync() {
    for (const Workspace& workspace : config_.workspaces()) {
        if (!workspace.token.isEmpty()) checkEmojiAsync(workspace.key());
    }
}

void SyncEngine::checkEmojiAsync(const QString& key) {
    const std::optional<Workspace> workspace = config_.workspace(key);
    if (!workspace || workspace->token.isEmpty()) return;
    markEmojiAsked(key);
    background_.start([this, key, token = workspace->token] { askForEmoji(key, token); });
}

// Counts a look at the emoji as made, so that steps meanwhile do not ask again.
void SyncEngine::markEmojiAsked(const QString& key) {
    QMutexLocker lock(&lanesMutex_);
    EmojiAnswer& emoji = laneOf(key)->emoji;
    emoji.lastCheck = clock_.now().toSecsSinceEpoch();
    emoji.recheckAt.reset();
}

// Asks Slack whether the workspace has :spotify:, and keeps the answer, in the settings too.
// A look that got no answer leaves the last one standing.
void SyncEngine::askForEmoji(const QString& key, const QString& token) {
    markEmojiAsked(key);
    std::optional<bool> found = slackClient_.spotifyEmojiExists(token);
    {
        QMutexLocker lock(&lanesMutex_);
        EmojiAnswer& emoji = laneOf(key)->emoji;
        if (!found) found = emoji.found;
        emoji.found = found;
    }
    const QList<Workspace> all = config_.workspaces();
    if (!all.isEmpty() && all.first().key() == key) state_.setSpotifyEmojiAvailable(found);
    const std::optional<Workspace> now = config_.workspace(key);
    if (found && now && now->token == token && now->spotifyEmojiFound != found) {
        config_.setSpotifyEmojiFound(key, *found);
        saveSoon();
    }
}

void SyncEngine::checkEmojiAtLaunch() {
    const qint64 now = clock_.now().toSecsSinceEpoch();
    for (const Workspace& workspace : config_.workspaces()) {
        if (workspace.token.isEmpty()) continue;
        if (!workspace.spotifyEmojiFound) {
            checkEmojiAsync(workspace.key());
            continue;
        }
        QMutexLocker lock(&lanesMutex_);  // the last answer counts until then
        laneOf(workspace.key())->emoji.recheckAt =
            now + QRandomGenerator::global()->bounded(LAUNCH_EMOJI_SPREAD_SECONDS);
    }
}

QString SyncEngine::effectiveEmoji(const QString& key) const {
    QMutexLocker lock(&lanesMutex_);
    const std::shared_ptr<Lane> lane = lanes_.value(key);
    return ::effectiveEmoji(config_.chosenEmoji(), lane ? lane->emoji.found : std::nullopt);
}
