#include "state/AppState.h"

namespace {

template <typename T>
T read(QMutex& mutex, const T& field) {
    QMutexLocker lock(&mutex);
    return field;
}

template <typename T>
void write(QMutex& mutex, T& field, const T& value) {
    QMutexLocker lock(&mutex);
    field = value;
}

}  // namespace

QString AppState::nowPlayingLabel() const {
    return read(mutex_, nowPlayingLabel_);
}
void AppState::setNowPlayingLabel(const QString& label) {
    write(mutex_, nowPlayingLabel_, label);
}

bool AppState::spotifyMissing() const {
    return read(mutex_, spotifyMissing_);
}
void AppState::setSpotifyMissing(bool missing) {
    write(mutex_, spotifyMissing_, missing);
}

bool AppState::lineSays(const QString& error) const {
    return nowPlayingLabel().endsWith(error);
}

std::optional<QString> AppState::lastError() const {
    return read(mutex_, lastError_);
}
void AppState::setLastError(const std::optional<QString>& error) {
    write(mutex_, lastError_, error);
}

std::optional<bool> AppState::spotifyEmojiAvailable() const {
    return read(mutex_, spotifyEmojiAvailable_);
}
void AppState::setSpotifyEmojiAvailable(std::optional<bool> available) {
    write(mutex_, spotifyEmojiAvailable_, available);
}

std::optional<QString> AppState::updateAvailable() const {
    return read(mutex_, updateAvailable_);
}
void AppState::setUpdateAvailable(const std::optional<QString>& version) {
    write(mutex_, updateAvailable_, version);
}

QString AppState::playerName() const {
    return read(mutex_, playerName_);
}
void AppState::setPlayerName(const QString& player) {
    write(mutex_, playerName_, player);
}

void AppState::notifyUI() {
    QMetaObject::invokeMethod(this, &AppState::tickNotification, Qt::QueuedConnection);
}

QHash<QString, QString> AppState::workspaceStates() const {
    return read(mutex_, workspaceStates_);
}
void AppState::setWorkspaceStates(const QHash<QString, QString>& states) {
    write(mutex_, workspaceStates_, states);
}

std::optional<SpotifyState> AppState::playingTrack() const {
    return read(mutex_, playingTrack_);
}
void AppState::setPlayingTrack(const std::optional<SpotifyState>& track) {
    write(mutex_, playingTrack_, track);
}
