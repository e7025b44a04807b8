#include "player/SpotifyState.h"

#include "platform/SpotifyBridge.h"

SpotifyState SpotifyState::playing(QString track, QString artist) {
    return {Kind::Playing, std::move(track), std::move(artist), Fault::None, {}, {}, {}};
}

SpotifyState SpotifyState::unreadable(QString reason) {
    return {Kind::Error, {}, {}, Fault::Unreadable, std::move(reason), {}, {}};
}

QString SpotifyState::text() const {
    return artist.isEmpty() ? track : track + QStringLiteral(" — ") + artist;
}

namespace {

// Music is a track or one of the user's own files; episodes and ads, whose ids name another
// kind, are never shared. An item without a title has nothing to share.
SpotifyState fromPlaying(const platform::PlayerReading& reading) {
    const QString kind = reading.trackId.section(u':', 1, 1);
    const bool music = reading.trackId.startsWith(QLatin1String("spotify:")) &&
                       (kind == QLatin1String("track") || kind == QLatin1String("local"));
    if (!music) return SpotifyState::podcast();
    if (reading.title.trimmed().isEmpty()) return SpotifyState::notPlaying();
    QStringList artists;
    for (const QString& artist : reading.artists) {
        if (!artist.trimmed().isEmpty()) artists += artist;
    }
    return SpotifyState::playing(reading.title, artists.join(QStringLiteral(", ")));
}

SpotifyState stateOf(const platform::PlayerReading& reading) {
    using Kind = platform::PlayerReading::Kind;
    switch (reading.kind) {
        case Kind::Playing:
            return fromPlaying(reading);
        case Kind::Stopped:
            return SpotifyState::notPlaying();
        case Kind::NotRunning:
            return SpotifyState::notRunning();
        case Kind::NotInstalled:
            return SpotifyState::appMissing();
        case Kind::Error:
            break;
    }
    return SpotifyState::unreadable(
        reading.reason.isEmpty() ? QStringLiteral("no answer from the player") : reading.reason);
}

}  // namespace

SpotifyState readSpotify(platform::SpotifyBridge& bridge) {
    const platform::PlayerReading reading = bridge.read();
    SpotifyState state = stateOf(reading);
    state.player = reading.player;
    return state;
}
