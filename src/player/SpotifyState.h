#pragma once

#include <QString>
#include <optional>

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
        NotRunning,  // no player runs
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
    // How long the track has left at normal speed, when the player tells its length and
    // position.
    std::optional<qint64> remainingMs;

    static SpotifyState playing(QString track, QString artist);
    static SpotifyState appMissing() {
        return {Kind::Error, {}, {}, Fault::AppMissing, {}, {}, {}};
    }
    static SpotifyState unreadable(QString reason);
    static SpotifyState podcast() { return {Kind::Podcast, {}, {}, Fault::None, {}, {}, {}}; }
    static SpotifyState notPlaying() { return {}; }
    static SpotifyState notRunning() { return {Kind::NotRunning, {}, {}, Fault::None, {}, {}, {}}; }

    // What is shared of music that plays: "track — artist", or the track alone without one.
    QString text() const;

    bool operator==(const SpotifyState&) const = default;
};

// Asks the player what it plays. Must run on the main thread.
SpotifyState readSpotify(platform::SpotifyBridge& bridge);
