#pragma once

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QVariantMap>
#include <memory>
#include <optional>

#include "platform/SpotifyBridge.h"

namespace platform {

// Asks Spotify through MPRIS 2 on the D-Bus session bus and renders the answer as the same
// one-line reply the AppleScript interface gives, so one parser serves both platforms.
class MprisSpotify final : public SpotifyBridge {
  public:
    ~MprisSpotify() override;
    // Uses the session bus, connected on first use.
    MprisSpotify() = default;
    // Uses the given connection instead (tests, or a bus that is not the session's).
    explicit MprisSpotify(QDBusConnection bus);

    bool installed() const override;
    PlayerReply ask() override;
    void watchChanges(std::function<void()> changed) override;

    // The reply for a set of org.mpris.MediaPlayer2.Player properties.
    static QString renderReply(const QVariantMap& playerProperties);

  private:
    QDBusConnection connection() const;
    bool spotifyRunning() const;

    std::optional<QDBusConnection> bus_;
    std::unique_ptr<QObject> watcher_;
};

}  // namespace platform
