#pragma once

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QVariantMap>
#include <memory>
#include <optional>

#include "platform/SpotifyBridge.h"

namespace platform {

// Asks Spotify through MPRIS 2 on the D-Bus session bus: the app, under its name or an instance
// of it, or when the app does not run, a Spotify player that runs in its place (spotifyd,
// ncspot, librespot). Other players, such as a video player or a browser, are never asked.
class MprisSpotify final : public SpotifyBridge {
  public:
    ~MprisSpotify() override;
    // Uses the session bus, connected on first use.
    MprisSpotify();
    // Uses the given connection instead (tests, or a bus that is not the session's).
    explicit MprisSpotify(QDBusConnection bus);

    PlayerReading read() override;
    void watchChanges(std::function<void()> changed) override;

    // The reading for a set of org.mpris.MediaPlayer2.Player properties, the item id in
    // Spotify's "spotify:<kind>:<id>" form whatever form the player gave it in.
    static PlayerReading readingFrom(const QVariantMap& playerProperties);

  private:
    QDBusConnection connection() const;

    std::optional<QDBusConnection> bus_;
    std::unique_ptr<class PlayerWatcher> watcher_;
};

}  // namespace platform
