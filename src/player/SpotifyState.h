#pragma once

#include <QString>
#include <QStringList>
#include <optional>

#include "player/SharedPlayers.h"

namespace platform {
class SpotifyBridge;
}

// What the Spotify player is doing, as far as sharing it is concerned.
struct SpotifyState {
    enum class Kind {
        Playing,     // music with a title: `track`, and `artist` when it has any
        Error,       // the state cannot be read: `fault`, and `message` for an unreadable app
        Podcast,     // something that is not music
        NotPlaying,  // paused, stopped, or an item without a title
        NotRunning,  // no shared player runs
        Unshared,    // no shared player plays, but one the user did not share does: `player`
    };
    enum class Fault {
        None,
        AppMissing,  // the app is neither installed nor running
        Unreadable,  // the app is there but could not be asked
    };

    Kind kind = Kind::NotPlaying;
    QString track;
    QString artist;
    Fault fault = Fault::None;
    QString message;
    // The player read when it is not the Spotify app itself (such as "spotifyd").
    QString player;
    // Every artist, in the player's order (`artist` joins them), and the album, when known.
    QStringList artists;
    QString album;
    // How long the track has left at normal speed, when the player tells its length and
    // position.
    std::optional<qint64> remainingMs;

    static SpotifyState playing(QString track, QString artist);
    static SpotifyState appMissing();
    static SpotifyState unreadable(QString reason);
    static SpotifyState podcast() { return of(Kind::Podcast); }
    static SpotifyState notPlaying() { return {}; }
    static SpotifyState notRunning() { return of(Kind::NotRunning); }
    static SpotifyState unshared(QString player);
    static SpotifyState of(Kind kind);

    bool operator==(const SpotifyState&) const = default;
};

// Asks the players what they play: of the players shared by `choices`, the one that plays and
// changed last, or else, as it found it, the first in their order; when none of them plays,
// another that plays is named. Must run on the main thread.
SpotifyState readSpotify(platform::SpotifyBridge& bridge, const PlayerChoices& choices = {});
// The same, of the players `list` names, as the bridge listed them just now.
SpotifyState readSpotify(platform::SpotifyBridge& bridge, const platform::PlayerList& list,
                         const PlayerChoices& choices);
