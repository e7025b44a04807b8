#include "player/SpotifyState.h"

#include <QStringList>

#include "platform/SpotifyBridge.h"

SpotifyState SpotifyState::playing(QString track, QString artist) {
    return {Kind::Playing, std::move(track), std::move(artist), {}};
}

SpotifyState SpotifyState::error(QString message) {
    return {Kind::Error, {}, {}, std::move(message)};
}

SpotifyState parseSpotifyReply(const QString& reply) {
    const QStringList fields = reply.split(u'\t', Qt::KeepEmptyParts);
    if (fields.size() >= 4 && fields[0] == QLatin1String("PLAYING")) {
        if (fields[1].contains(QLatin1String(":track:"))) {
            return SpotifyState::playing(fields[2], fields[3]);
        }
        return SpotifyState::podcast();
    }
    return SpotifyState::notPlaying();
}

SpotifyState readSpotify(platform::SpotifyBridge& bridge) {
    if (!bridge.installed()) return SpotifyState::error(QStringLiteral("noapp"));
    const platform::PlayerReply reply = bridge.ask();
    if (!reply.text) {
        return SpotifyState::error(reply.error.isEmpty() ? QStringLiteral("AppleScript failed")
                                                         : reply.error);
    }
    return parseSpotifyReply(*reply.text);
}
