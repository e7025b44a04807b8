#include "sync/StepLines.h"

#include "player/SpotifyState.h"
#include "state/Constants.h"
#include "sync/StatusFormat.h"

QString noSpotifyAppMessage() {
    QString shortAddress = SPOTIFY_DOWNLOAD_URL;
    shortAddress.remove(QStringLiteral("https://"));
    return QStringLiteral("Trackglint needs the Spotify desktop app (") + shortAddress +
           QStringLiteral(
               "). After installing, open Spotify once, then quit and reopen "
               "Trackglint.");
}

QString unreadablePlayerMessage(const QString& reason) {
    return QStringLiteral("Can't read Spotify (") + reason +
           QStringLiteral(
               "). If you just installed Spotify, open it once, then quit and reopen "
               "Trackglint.");
}

QString nowPlayingLine(const SpotifyState& state, const QString& format) {
    switch (state.kind) {
        case SpotifyState::Kind::Playing:
            return QStringLiteral("▶ ") + formatStatus(format, state);
        case SpotifyState::Kind::Podcast:
            return QStringLiteral("🎙 podcast (never shared)");
        case SpotifyState::Kind::NotRunning:
            return QStringLiteral("Spotify isn't running");
        case SpotifyState::Kind::Unshared:
            return state.player + QStringLiteral(" is playing — not shared (Share From…)");
        case SpotifyState::Kind::NotPlaying:
        case SpotifyState::Kind::Error:
            break;
    }
    return QStringLiteral("nothing playing");
}

QString keptPrivateLine(const QString& artist) {
    return QStringLiteral("🔒 ") + artist + QStringLiteral(" is kept private");
}
