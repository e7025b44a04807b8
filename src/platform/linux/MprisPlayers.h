#pragma once

#include <QDBusConnection>
#include <QHash>
#include <QVariantMap>
#include <memory>
#include <optional>

#include "platform/SpotifyBridge.h"

namespace platform {

// Asks the players on the D-Bus session bus through MPRIS 2: every player there, the Spotify
// app (under its name or an instance of it) and the players that stream from Spotify in its
// place (spotifyd, ncspot, librespot) first.
class MprisPlayers final : public SpotifyBridge {
  public:
    ~MprisPlayers() override;
    // Uses the session bus, connected on first use.
    MprisPlayers();
    // Uses the given connection instead (tests, or a bus that is not the session's).
    explicit MprisPlayers(QDBusConnection bus);

    PlayerList players() override;
    PlayerReading read(const QString& busName) override;
    void watchChanges(std::function<void()> changed) override;

    // The reading for a set of org.mpris.MediaPlayer2.Player properties, the item id in
    // Spotify's "spotify:<kind>:<id>" form whatever form a Spotify player gave it in.
    static PlayerReading readingFrom(const QVariantMap& playerProperties);

  private:
    QDBusConnection connection() const;
    QString identityOf(const QDBusConnection& bus, const QString& busName);

    std::optional<QDBusConnection> bus_;
    std::unique_ptr<class PlayerWatcher> watcher_;
    QHash<QString, QString> identities_;  // by bus name, as the players last listed gave them
};

}  // namespace platform
