#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

namespace platform {

// What the Spotify app reported when asked what it plays.
struct PlayerReading {
    enum class Kind {
        Playing,       // an item plays: `trackId`, `title`, `artists`
        Stopped,       // the app runs without playing (paused or stopped)
        NotRunning,    // installed but not running
        NotInstalled,  // neither installed nor running
        Error,         // the app could not be asked: `reason`, possibly empty
    };

    Kind kind = Kind::NotRunning;
    // Spotify's "spotify:<kind>:<id>": "spotify:track:…" for music, other kinds for episodes
    // and ads.
    QString trackId;
    QString title;
    QStringList artists;
    // The app's or the platform's own brief message.
    QString reason;

    static PlayerReading playing(QString trackId, QString title, QStringList artists) {
        return {Kind::Playing, std::move(trackId), std::move(title), std::move(artists), {}};
    }
    static PlayerReading stopped() { return {Kind::Stopped, {}, {}, {}, {}}; }
    static PlayerReading notRunning() { return {Kind::NotRunning, {}, {}, {}, {}}; }
    static PlayerReading notInstalled() { return {Kind::NotInstalled, {}, {}, {}, {}}; }
    static PlayerReading error(QString reason) {
        return {Kind::Error, {}, {}, {}, std::move(reason)};
    }

    bool operator==(const PlayerReading&) const = default;
};

// The Spotify desktop app as seen from this computer.
class SpotifyBridge {
  public:
    virtual ~SpotifyBridge() = default;
    // Asks the app what it is playing. Never launches the app.
    virtual PlayerReading read() = 0;
    // Calls `changed` on the main thread whenever the app reports that it started, quit,
    // paused, resumed or changed track, until called again (an empty function stops the
    // watching). A bridge that cannot tell never calls it.
    virtual void watchChanges(std::function<void()> changed) { (void)changed; }
};

// Whether the platform knows the Spotify app: on Linux a desktop entry (native, Flatpak or
// Snap) in the XDG data folders or a `spotify` executable on PATH; on macOS the app bundle in
// an Applications folder.
bool spotifyInstalled();

// The bridge for this platform: MPRIS over the session bus on Linux, AppleScript on macOS.
std::unique_ptr<SpotifyBridge> makeSpotifyBridge();

}  // namespace platform
