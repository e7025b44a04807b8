#include "player/SpotifyState.h"

#include "platform/SpotifyBridge.h"

SpotifyState SpotifyState::playing(QString track, QString artist) {
    return {Kind::Playing, std::move(track), std::move(artist), Fault::None, {}};
}

SpotifyState SpotifyState::unreadable(QString reason) {
    return {Kind::Error, {}, {}, Fault::Unreadable, std::move(reason)};
}

namespace {

// Music tracks are shared; episodes and ads, whose ids name another kind, never are.
SpotifyState fromPlaying(const platform::PlayerReading& reading) {
    if (!reading.trackId.contains(QLatin1String(":track:"))) return SpotifyState::podcast();
    return SpotifyState::playing(reading.title, reading.artists.join(QStringLiteral(", ")));
}

}  // namespace

SpotifyState readSpotify(platform::SpotifyBridge& bridge) {
    using Kind = platform::PlayerReading::Kind;
    const platform::PlayerReading reading = bridge.read();
    switch (reading.kind) {
        case Kind::Playing:
            return fromPlaying(reading);
        case Kind::Stopped:
        case Kind::NotRunning:
            return SpotifyState::notPlaying();
        case Kind::NotInstalled:
            return SpotifyState::appMissing();
        case Kind::Error:
            break;
    }
    return SpotifyState::unreadable(
        reading.reason.isEmpty() ? QStringLiteral("no answer from the player") : reading.reason);
}
