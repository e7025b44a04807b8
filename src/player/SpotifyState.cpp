#include "player/SpotifyState.h"

#include <QRegularExpression>
#include <algorithm>

#include "platform/SpotifyBridge.h"

SpotifyState SpotifyState::of(Kind kind) {
    SpotifyState state;
    state.kind = kind;
    return state;
}

SpotifyState SpotifyState::playing(QString track, QString artist) {
    SpotifyState state = of(Kind::Playing);
    state.track = std::move(track);
    state.artist = std::move(artist);
    return state;
}

SpotifyState SpotifyState::appMissing() {
    SpotifyState state = of(Kind::Error);
    state.fault = Fault::AppMissing;
    return state;
}

SpotifyState SpotifyState::unreadable(QString reason) {
    SpotifyState state = of(Kind::Error);
    state.fault = Fault::Unreadable;
    state.message = std::move(reason);
    return state;
}

SpotifyState SpotifyState::unshared(QString player) {
    SpotifyState state = of(Kind::Unshared);
    state.player = std::move(player);
    return state;
}

namespace {

// Whether the item is music. Spotify's players name its kind in its id: a track or one of the
// user's own files is music, episodes and ads are not. Other players may name a genre: a
// podcast or an audiobook is not music.
bool isMusic(const platform::PlayerReading& reading, bool spotify) {
    if (spotify) {
        const QString kind = reading.trackId.section(u':', 1, 1);
        return reading.trackId.startsWith(QLatin1String("spotify:")) &&
               (kind == QLatin1String("track") || kind == QLatin1String("local"));
    }
    static const QRegularExpression spoken(QStringLiteral("\\b(podcast|audiobook)s?\\b"),
                                           QRegularExpression::CaseInsensitiveOption);
    return std::none_of(reading.genres.cbegin(), reading.genres.cend(),
                        [](const QString& genre) { return spoken.match(genre).hasMatch(); });
}

// An item without a title has nothing to share.
SpotifyState fromPlaying(const platform::PlayerReading& reading, bool spotify) {
    if (!isMusic(reading, spotify)) return SpotifyState::podcast();
    if (reading.title.trimmed().isEmpty()) return SpotifyState::notPlaying();
    QStringList artists;
    for (const QString& artist : reading.artists) {
        if (!artist.trimmed().isEmpty()) artists += artist;
    }
    SpotifyState state = SpotifyState::playing(reading.title, artists.join(QStringLiteral(", ")));
    state.artists = artists;
    state.album = reading.album;
    state.remainingMs = reading.remainingMs;
    return state;
}

SpotifyState stateOf(const platform::PlayerReading& reading, bool spotify) {
    using Kind = platform::PlayerReading::Kind;
    SpotifyState state;
    switch (reading.kind) {
        case Kind::Playing:
            state = fromPlaying(reading, spotify);
            break;
        case Kind::Stopped:
            state = SpotifyState::notPlaying();
            break;
        case Kind::NotRunning:
            state = SpotifyState::notRunning();
            break;
        case Kind::NotInstalled:
            state = SpotifyState::appMissing();
            break;
        case Kind::Error:
            state = SpotifyState::unreadable(reading.reason.isEmpty()
                                                 ? QStringLiteral("no answer from the player")
                                                 : reading.reason);
            break;
    }
    state.player = reading.player;
    return state;
}

}  // namespace

SpotifyState readSpotify(platform::SpotifyBridge& bridge, const PlayerChoices& choices) {
    return readSpotify(bridge, bridge.players(), choices);
}

SpotifyState readSpotify(platform::SpotifyBridge& bridge, const platform::PlayerList& list,
                         const PlayerChoices& choices) {
    using Kind = platform::PlayerReading::Kind;
    const QList<platform::PlayerInfo> players = readingOrder(list.running);
    std::optional<SpotifyState> first;
    for (const platform::PlayerInfo& player : players) {
        if (!isShared(player, choices)) continue;
        const platform::PlayerReading reading = bridge.read(player.busName);
        if (reading.kind == Kind::Playing) return stateOf(reading, player.spotify);
        if (!first) first = stateOf(reading, player.spotify);
    }
    for (const platform::PlayerInfo& player : players) {
        if (!isShared(player, choices) && bridge.read(player.busName).kind == Kind::Playing)
            return SpotifyState::unshared(player.identity);
    }
    return first.value_or(stateOf(list.otherwise, true));
}
