#pragma once

#include <QString>

namespace platform {
class SpotifyBridge;
}

// What the Spotify app is doing, as far as sharing it is concerned.
struct SpotifyState {
    enum class Kind {
        Playing,     // a music track: `track`, `artist`
        Error,       // the state cannot be read: `message`
        Podcast,     // something that is not a music track
        NotPlaying,  // paused, stopped, not running, or an unrecognised reply
    };

    Kind kind = Kind::NotPlaying;
    QString track;
    QString artist;
    QString message;

    static SpotifyState playing(QString track, QString artist);
    static SpotifyState error(QString message);
    static SpotifyState podcast() { return {Kind::Podcast, {}, {}, {}}; }
    static SpotifyState notPlaying() { return {Kind::NotPlaying, {}, {}, {}}; }

    bool operator==(const SpotifyState&) const = default;
};

// Turns the player's one-line, tab-separated reply into a state.
SpotifyState parseSpotifyReply(const QString& reply);

// Asks the player what it plays. Must run on the main thread.
SpotifyState readSpotify(platform::SpotifyBridge& bridge);
