#pragma once

#include <QString>

namespace platform {
class SpotifyBridge;
}

// What the Spotify app is doing, as far as sharing it is concerned.
struct SpotifyState {
    enum class Kind {
        Playing,     // a music track: `track`, `artist`
        Error,       // the state cannot be read: `fault`, and `message` for an unreadable app
        Podcast,     // something that is not a music track
        NotPlaying,  // paused, stopped or not running
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

    static SpotifyState playing(QString track, QString artist);
    static SpotifyState appMissing() { return {Kind::Error, {}, {}, Fault::AppMissing, {}}; }
    static SpotifyState unreadable(QString reason);
    static SpotifyState podcast() { return {Kind::Podcast, {}, {}, Fault::None, {}}; }
    static SpotifyState notPlaying() { return {}; }

    bool operator==(const SpotifyState&) const = default;
};

// Asks the player what it plays. Must run on the main thread.
SpotifyState readSpotify(platform::SpotifyBridge& bridge);
