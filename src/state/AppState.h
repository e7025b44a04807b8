#pragma once

#include <QHash>
#include <QMutex>
#include <QObject>
#include <QString>
#include <optional>

#include "player/SharedPlayers.h"
#include "player/SpotifyState.h"
#include "state/WorkspaceState.h"

// The display state every part of the program writes or reads: what the player plays, what
// each workspace shows, what went wrong, whether the workspace has the :spotify: emoji, and a
// newer version on offer.
//
// Lives on the main thread; any thread may read or write the fields, which are guarded. A write
// that changes a field announces it with that kind's signal, on the main thread, once however
// many writes a moment brings; a write of what is already there announces nothing.
class AppState : public QObject {
    Q_OBJECT

  public:
    // Where something that went wrong comes from. Each has its own slot, set and cleared only by
    // the part it belongs to; the error line shows the first that holds something, in this
    // order: what the user just asked for before what happens on its own.
    enum class Trouble { SignIn, Settings, LoginItem, Renewal, Player, Slack, SignedOut };

    using QObject::QObject;

    // The player's line: the track, or why nothing is shared ("⏸ paused", "nothing playing"…).
    QString nowPlayingLabel() const;
    void setNowPlayingLabel(const QString& label);
    // Whether the last step found the Spotify app neither installed nor running.
    bool spotifyMissing() const;
    void setSpotifyMissing(bool missing);
    // The player read when it is not the Spotify app itself (such as "spotifyd"); empty for the
    // app.
    QString playerName() const;
    void setPlayerName(const QString& player);
    // The players that ran at the last step, as the user can share from them.
    QList<SharedPlayer> players() const;
    void setPlayers(const QList<SharedPlayer>& players);
    // The music track the last step found playing, shared or kept private; none when none
    // played or the player was not read (paused, outside work hours).
    std::optional<SpotifyState> playingTrack() const;
    void setPlayingTrack(const std::optional<SpotifyState>& track);

    // What each workspace shows, by its key, as the last step found it; a workspace not stepped
    // yet has none.
    QHash<QString, WorkspaceState> workspaceStates() const;
    void setWorkspaceStates(const QHash<QString, WorkspaceState>& states);

    std::optional<QString> trouble(Trouble source) const;
    void setTrouble(Trouble source, const std::optional<QString>& why);
    // The error to show: the first slot that holds one.
    std::optional<QString> lastError() const;

    std::optional<bool> spotifyEmojiAvailable() const;
    void setSpotifyEmojiAvailable(std::optional<bool> available);
    std::optional<QString> updateAvailable() const;
    void setUpdateAvailable(const std::optional<QString>& version);

  signals:
    // The player's line, its name, whether the app is missing, or the players that run
    // changed.
    void playerChanged();
    // A workspace's state changed.
    void workspacesChanged();
    // What went wrong changed.
    void troubleChanged();
    // Whether the workspace has :spotify:, or a newer version, changed.
    void offersChanged();

  private:
    enum Change { Player = 1, Workspaces = 2, Troubles = 4, Offers = 8 };
    // Writes `value` over `field`; when that changes it, announces `change` soon.
    template <typename T>
    void write(T& field, const T& value, Change change);
    void changed(Change change);
    void announce();

    mutable QMutex mutex_;
    QString nowPlayingLabel_ = QStringLiteral("…");
    bool spotifyMissing_ = false;
    QString playerName_;
    QList<SharedPlayer> players_;
    std::optional<SpotifyState> playingTrack_;
    QHash<QString, WorkspaceState> workspaceStates_;
    QHash<Trouble, QString> troubles_;
    std::optional<bool> spotifyEmojiAvailable_;
    std::optional<QString> updateAvailable_;
    int pending_ = 0;  // the changes not announced yet
};
