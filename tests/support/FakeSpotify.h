#pragma once

#include <QDBusConnection>
#include <QMutex>
#include <QObject>
#include <QStringList>
#include <QThread>
#include <QVariantMap>
#include <optional>

class MprisPlayerObject;

// Plays an MPRIS player (Spotify's or another) on a D-Bus bus the way a real one behaves: it owns
// org.mpris.MediaPlayer2.<name> while "running", answers for the root and the player interfaces
// from a thread of its own (so it answers even while the test's main thread waits), names its
// item by an object path, and signals only the properties that changed.
class FakeSpotify {
  public:
    // The app's id of a track, as it gives it.
    static inline const QString TRACK = QStringLiteral("/com/spotify/track/4uLU6hMCjMI75M1A2tKUQC");

    // `name` is the player's MPRIS name: "spotify" for the app, or an instance of it
    // ("spotify.instance42"), or another player's ("spotifyd", "mpv").
    explicit FakeSpotify(const QString& busAddress, const QString& name = "spotify");
    ~FakeSpotify();

    // Owns the name (running) or gives it up (quit).
    bool run();
    void quit();

    // Playing the item `trackId`, an object path or Spotify's "spotify:<kind>:<id>" text, with
    // the given title, artists and genres, on the album "Album", 15 s in and as long as
    // setLength said.
    void play(const QString& title, const QStringList& artists, const QString& trackId = TRACK,
              const QStringList& genres = {});
    // The length the items played from now on have: 215 s unless set; none: not told.
    void setLength(std::optional<qint64> microseconds);
    void pause();
    void stop();
    // Keeps the name but stops answering for the player object, so every question fails.
    void breakPlayer();

  private:
    void setState(const QString& status, const QVariantMap& metadata);

    QString service_;
    std::optional<qint64> length_ = 215'000'000;
    QDBusConnection bus_;
    QThread thread_;
    MprisPlayerObject* player_;
};
