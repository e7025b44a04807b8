// What a Spotify player reports over MPRIS, read as the sync step reads it. The input's lines are
// the playback status, the item id, the title and the artists (separated by ";") of the
// player's properties.

#include <QStringList>
#include <QVariantMap>

#include "Fuzz.h"
#include "platform/linux/MprisSpotify.h"
#include "player/SpotifyState.h"

namespace {

// Gives readSpotify the reading made from the input.
class GivenSpotify final : public platform::SpotifyBridge {
  public:
    explicit GivenSpotify(platform::PlayerReading reading) : reading_(std::move(reading)) {}
    platform::PlayerReading read() override { return reading_; }

  private:
    platform::PlayerReading reading_;
};

QVariantMap playerProperties(const QString& status, const QString& id, const QString& title,
                             const QStringList& artists) {
    // A lone artist comes as plain text, as some players send it.
    const QVariant artist = artists.size() == 1 ? QVariant(artists[0]) : QVariant(artists);
    const QVariantMap metadata{{QStringLiteral("mpris:trackid"), id},
                               {QStringLiteral("xesam:title"), title},
                               {QStringLiteral("xesam:artist"), artist}};
    return {{QStringLiteral("PlaybackStatus"), status}, {QStringLiteral("Metadata"), metadata}};
}

}  // namespace

// Whatever the texts hold, a music track with a title arrives whole, as it was played, less
// its blank artists; one without a title is not shared.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QList<QByteArray> lines = fuzzFields(data, size, 4);
    const QString status = QString::fromUtf8(lines[0]);
    const QString id = QString::fromUtf8(lines[1]);
    const QString title = QString::fromUtf8(lines[2]);
    const QStringList artists = QString::fromUtf8(lines[3]).split(u';');
    GivenSpotify spotify(
        platform::MprisSpotify::readingFrom(playerProperties(status, id, title, artists)));
    const SpotifyState state = readSpotify(spotify);
    if (status != QLatin1String("Playing")) {
        REQUIRE(state == SpotifyState::notPlaying());
        return 0;
    }
    QStringList named;
    for (const QString& artist : artists) {
        if (!artist.trimmed().isEmpty()) named += artist;
    }
    SpotifyState played = SpotifyState::notPlaying();
    if (!title.trimmed().isEmpty()) {
        played = SpotifyState::playing(title, named.join(QStringLiteral(", ")));
        played.artists = named;
    }
    if (id.startsWith(QLatin1String("spotify:track:")) ||
        id.startsWith(QLatin1String("/com/spotify/track/")))
        REQUIRE(state == played);
    REQUIRE(state == played || state == SpotifyState::podcast());
    return 0;
}
