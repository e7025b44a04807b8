#pragma once

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QVariantMap>
#include <memory>
#include <optional>

#include "platform/SpotifyBridge.h"

namespace platform {

// Asks Spotify through MPRIS 2 on the D-Bus session bus.
class MprisSpotify final : public SpotifyBridge {
  public:
    ~MprisSpotify() override;
    // Uses the session bus, connected on first use.
    MprisSpotify() = default;
    // Uses the given connection instead (tests, or a bus that is not the session's).
    explicit MprisSpotify(QDBusConnection bus);

    PlayerReading read() override;
    void watchChanges(std::function<void()> changed) override;

    // The reading for a set of org.mpris.MediaPlayer2.Player properties.
    static PlayerReading readingFrom(const QVariantMap& playerProperties);

  private:
    QDBusConnection connection() const;

    std::optional<QDBusConnection> bus_;
    std::unique_ptr<QObject> watcher_;
};

}  // namespace platform
