#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

namespace platform {

// What a player reported when asked what it plays.
struct PlayerReading {
    enum class Kind {
        Playing,       // an item plays: `trackId`, `title`, `artists`, and what else is known
        Stopped,       // the app runs without playing (paused or stopped)
        NotRunning,    // installed but not running
        NotInstalled,  // neither installed nor running
        Error,         // the app could not be asked: `reason`, possibly empty
    };

    Kind kind = Kind::NotRunning;
    // Spotify's "spotify:<kind>:<id>": "spotify:track:…" for music, "spotify:local:…" for the
    // user's own files, other kinds for episodes and ads.
    QString trackId;
    QString title;
    QStringList artists;
    // The app's or the platform's own brief message.
    QString reason;
    // The player asked when it is not the Spotify app itself, by the name it gives itself
    // (such as "spotifyd"); empty for the app.
    QString player;
    // The item's genres and album, as the player gives them.
    QStringList genres;
    QString album;
    // How long the item has left at normal speed, when the player gives its length and
    // position.
    std::optional<qint64> remainingMs;

    static PlayerReading playing(QString trackId, QString title, QStringList artists) {
        PlayerReading reading = of(Kind::Playing);
        reading.trackId = std::move(trackId);
        reading.title = std::move(title);
        reading.artists = std::move(artists);
        return reading;
    }
    static PlayerReading stopped() { return of(Kind::Stopped); }
    static PlayerReading notRunning() { return of(Kind::NotRunning); }
    static PlayerReading notInstalled() { return of(Kind::NotInstalled); }
    static PlayerReading error(QString reason) {
        PlayerReading reading = of(Kind::Error);
        reading.reason = std::move(reason);
        return reading;
    }
    static PlayerReading of(Kind kind) {
        PlayerReading reading;
        reading.kind = kind;
        return reading;
    }

    bool operator==(const PlayerReading&) const = default;
};

// A player that runs, as a bridge lists it.
struct PlayerInfo {
    // Its name on the bus ("org.mpris.MediaPlayer2.mpv.instance12"); empty for the one player a
    // bridge that knows only the Spotify app reads.
    QString busName;
    // The name it gives itself ("Spotify", "mpv", "Chromium").
    QString identity;
    // Whether it plays from Spotify (the app, or a player in its place), naming its items by
    // Spotify's ids.
    bool spotify = true;
    // Its place when no change tells players apart: the app first, then the other Spotify
    // players, then every other player.
    int rank = 0;
    // When its item or playback last changed, as a count that grows with every such change
    // seen from any player; 0 when none was seen.
    quint64 lastChange = 0;

    bool operator==(const PlayerInfo&) const = default;
};

// The players that run, and what reads when none of those that are read runs.
struct PlayerList {
    QList<PlayerInfo> running;
    // Not running, or not installed; when the players cannot be listed, the error.
    PlayerReading otherwise = PlayerReading::notRunning();
};

// The players as seen from this computer: on Linux every MPRIS player on the session bus, on
// macOS the Spotify desktop app alone.
class SpotifyBridge {
  public:
    virtual ~SpotifyBridge() = default;
    // The players that run. A bridge that knows only the app lists it whether it runs or not:
    // reading it tells.
    virtual PlayerList players() {
        PlayerInfo app;
        app.identity = QStringLiteral("Spotify");
        return {{app}, PlayerReading::notRunning()};
    }
    // Asks the player listed under `busName` what it is playing. Never launches it.
    virtual PlayerReading read(const QString& busName) = 0;
    // Calls `changed` on the main thread whenever a player reports that it started, quit,
    // paused, resumed or changed track, until called again (an empty function stops the
    // watching). A bridge that cannot tell never calls it.
    virtual void watchChanges(std::function<void()> changed) { (void)changed; }
};

// Whether the platform knows a Spotify player: on Linux a desktop entry of the app (native,
// Flatpak or Snap) in the XDG data folders, or the app or another Spotify player on PATH; on
// macOS the app bundle in an Applications folder.
bool spotifyInstalled();

// The bridge for this platform: MPRIS over the session bus on Linux, AppleScript on macOS.
std::unique_ptr<SpotifyBridge> makeSpotifyBridge();

}  // namespace platform
