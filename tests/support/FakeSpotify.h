#pragma once

#include <QDBusConnection>
#include <QMutex>
#include <QObject>
#include <QStringList>
#include <QThread>
#include <QVariantMap>

class MprisPlayerObject;

// Plays the Spotify app on a D-Bus bus: owns org.mpris.MediaPlayer2.spotify (while
// "running") and answers for the MPRIS player interface from a thread of its own, so it
// answers even while the test's main thread waits.
class FakeSpotify {
  public:
    // How the item id is given: Spotify's "spotify:track:ID" text, or the object path
    // "/com/spotify/track/ID".
    enum class IdForm { Text, ObjectPath };

    explicit FakeSpotify(const QString& busAddress);
    ~FakeSpotify();

    // Owns the name (running) or gives it up (quit).
    bool run();
    void quit();

    // Playing an item of `kind` ("track", "episode", "ad") with the given title and artists.
    void play(const QString& title, const QStringList& artists, const QString& kind = "track",
              IdForm form = IdForm::Text);
    void pause();
    void stop();
    // Keeps the name but stops answering for the player object, so every question fails.
    void breakPlayer();

  private:
    void setState(const QString& status, const QVariantMap& metadata);

    QDBusConnection bus_;
    QThread thread_;
    MprisPlayerObject* player_;
};
