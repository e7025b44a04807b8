#pragma once

#include <QHash>
#include <QMutex>
#include <QObject>
#include <QString>
#include <optional>

#include "player/SpotifyState.h"

// The display state every part of the program writes or reads: what the now-playing line and
// the error line say, whether the workspace has the :spotify: emoji, and a newer version on
// offer.
//
// Lives on the main thread; any thread may read or write the fields, which are guarded.
class AppState : public QObject {
    Q_OBJECT

  public:
    using QObject::QObject;

    QString nowPlayingLabel() const;
    void setNowPlayingLabel(const QString& label);
    // Whether the last step found the Spotify app neither installed nor running.
    bool spotifyMissing() const;
    void setSpotifyMissing(bool missing);
    // Whether the now-playing line already says what `error` says, so it need not show twice.
    bool lineSays(const QString& error) const;
    std::optional<QString> lastError() const;
    void setLastError(const std::optional<QString>& error);
    std::optional<bool> spotifyEmojiAvailable() const;
    void setSpotifyEmojiAvailable(std::optional<bool> available);
    std::optional<QString> updateAvailable() const;
    void setUpdateAvailable(const std::optional<QString>& version);
    // The player read when it is not the Spotify app itself (such as "spotifyd"); empty for the
    // app.
    QString playerName() const;
    void setPlayerName(const QString& player);
    // The music track the last step found playing, shared or kept private; none when none
    // played or the player was not read (paused, outside work hours).
    std::optional<SpotifyState> playingTrack() const;
    void setPlayingTrack(const std::optional<SpotifyState>& track);
    // What each workspace shows, by its key, as the last step found it ("sharing", "your own
    // status", …); a workspace not stepped yet has none.
    QHash<QString, QString> workspaceStates() const;
    void setWorkspaceStates(const QHash<QString, QString>& states);

    // Posts tickNotification on the main thread, from any thread.
    void notifyUI();

  signals:
    // The display state may have changed: after each sync step and emoji check, and after a
    // sign-in.
    void tickNotification();

  private:
    mutable QMutex mutex_;
    QString nowPlayingLabel_ = QStringLiteral("…");
    std::optional<QString> lastError_;
    bool spotifyMissing_ = false;
    std::optional<bool> spotifyEmojiAvailable_;
    std::optional<QString> updateAvailable_;
    QString playerName_;
    std::optional<SpotifyState> playingTrack_;
    QHash<QString, QString> workspaceStates_;
};
