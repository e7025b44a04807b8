#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

namespace platform {

// What a Spotify player reported when asked what it plays.
struct PlayerReading {
    enum class Kind {
        Playing,       // an item plays: `trackId`, `title`, `artists`
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
    // The player asked when it is not the Spotify app itself, by the short name it goes by on
    // the system (such as "spotifyd"); empty for the app.
    QString player;

    static PlayerReading playing(QString trackId, QString title, QStringList artists) {
        return {Kind::Playing, std::move(trackId), std::move(title), std::move(artists), {}, {}};
    }
    static PlayerReading stopped() { return {Kind::Stopped, {}, {}, {}, {}, {}}; }
    static PlayerReading notRunning() { return {Kind::NotRunning, {}, {}, {}, {}, {}}; }
    static PlayerReading notInstalled() { return {Kind::NotInstalled, {}, {}, {}, {}, {}}; }
    static PlayerReading error(QString reason) {
        return {Kind::Error, {}, {}, {}, std::move(reason), {}};
    }

    bool operator==(const PlayerReading&) const = default;
};

// The Spotify desktop app as seen from this computer, or on Linux, when the app does not run,
// another Spotify player the user runs instead.
class SpotifyBridge {
  public:
    virtual ~SpotifyBridge() = default;
    // Asks the player what it is playing. Never launches it.
    virtual PlayerReading read() = 0;
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
