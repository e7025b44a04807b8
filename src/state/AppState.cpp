#include "state/AppState.h"

namespace {

constexpr AppState::Trouble TROUBLE_ORDER[] = {
    AppState::Trouble::SignIn,   AppState::Trouble::Settings, AppState::Trouble::LoginItem,
    AppState::Trouble::Renewal,  AppState::Trouble::Player,   AppState::Trouble::Slack,
    AppState::Trouble::SignedOut};

}  // namespace

template <typename T>
void AppState::write(T& field, const T& value, Change change) {
    QMutexLocker lock(&mutex_);
    if (field == value) return;
    field = value;
    changed(change);
}

// With the fields locked: `change` is announced soon, with any others made meanwhile.
void AppState::changed(Change change) {
    const bool first = pending_ == 0;
    pending_ |= change;
    if (first) QMetaObject::invokeMethod(this, &AppState::announce, Qt::QueuedConnection);
}

// On the main thread: one signal for each kind of change since the last announcement.
void AppState::announce() {
    int changes = 0;
    {
        QMutexLocker lock(&mutex_);
        std::swap(changes, pending_);
    }
    if (changes & Player) emit playerChanged();
    if (changes & Workspaces) emit workspacesChanged();
    if (changes & Troubles) emit troubleChanged();
    if (changes & Offers) emit offersChanged();
}

QString AppState::nowPlayingLabel() const {
    QMutexLocker lock(&mutex_);
    return nowPlayingLabel_;
}
void AppState::setNowPlayingLabel(const QString& label) {
    write(nowPlayingLabel_, label, Player);
}

bool AppState::spotifyMissing() const {
    QMutexLocker lock(&mutex_);
    return spotifyMissing_;
}
void AppState::setSpotifyMissing(bool missing) {
    write(spotifyMissing_, missing, Player);
}

QString AppState::playerName() const {
    QMutexLocker lock(&mutex_);
    return playerName_;
}
void AppState::setPlayerName(const QString& player) {
    write(playerName_, player, Player);
}

QList<SharedPlayer> AppState::players() const {
    QMutexLocker lock(&mutex_);
    return players_;
}
void AppState::setPlayers(const QList<SharedPlayer>& players) {
    write(players_, players, Player);
}

QHash<QString, WorkspaceState> AppState::workspaceStates() const {
    QMutexLocker lock(&mutex_);
    return workspaceStates_;
}
void AppState::setWorkspaceStates(const QHash<QString, WorkspaceState>& states) {
    write(workspaceStates_, states, Workspaces);
}

std::optional<QString> AppState::trouble(Trouble source) const {
    QMutexLocker lock(&mutex_);
    const auto found = troubles_.constFind(source);
    return found == troubles_.cend() ? std::nullopt : std::optional(*found);
}
void AppState::setTrouble(Trouble source, const std::optional<QString>& why) {
    QMutexLocker lock(&mutex_);
    const auto found = troubles_.constFind(source);
    if (found == troubles_.cend() ? !why : why == *found) return;
    if (why) {
        troubles_[source] = *why;
    } else {
        troubles_.remove(source);
    }
    changed(Troubles);
}

std::optional<QString> AppState::lastError() const {
    QMutexLocker lock(&mutex_);
    for (const Trouble source : TROUBLE_ORDER) {
        const auto found = troubles_.constFind(source);
        if (found != troubles_.cend()) return *found;
    }
    return std::nullopt;
}

std::optional<bool> AppState::spotifyEmojiAvailable() const {
    QMutexLocker lock(&mutex_);
    return spotifyEmojiAvailable_;
}
void AppState::setSpotifyEmojiAvailable(std::optional<bool> available) {
    write(spotifyEmojiAvailable_, available, Offers);
}

std::optional<QString> AppState::updateAvailable() const {
    QMutexLocker lock(&mutex_);
    return updateAvailable_;
}
void AppState::setUpdateAvailable(const std::optional<QString>& version) {
    write(updateAvailable_, version, Offers);
}

std::optional<SpotifyState> AppState::playingTrack() const {
    QMutexLocker lock(&mutex_);
    return playingTrack_;
}
void AppState::setPlayingTrack(const std::optional<SpotifyState>& track) {
    write(playingTrack_, track, Player);
}
