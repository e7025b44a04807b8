#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <optional>

namespace platform {

// What one question to the Spotify app yields: its one-line reply, or, when it gave none,
// the platform's brief error message (possibly empty).
//
// The reply has the form "PLAYING\t<item id>\t<name>\t<artist>" while something plays,
// "STATE\t<player state>" while Spotify runs without playing, and "STATE\tnotrunning".
struct PlayerReply {
    std::optional<QString> text;
    QString error;
};

// The Spotify desktop app as seen from this computer.
class SpotifyBridge {
  public:
    virtual ~SpotifyBridge() = default;
    // Whether the app is present; a bridge that can see it running counts that too.
    virtual bool installed() const = 0;
    // Asks the app what it is playing. Never launches the app.
    virtual PlayerReply ask() = 0;
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
