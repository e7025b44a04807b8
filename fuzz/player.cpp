// What the Spotify app reports: its one-line reply, and on Linux the MPRIS properties that are
// rendered into that reply. The input's first line is the reply; the lines after it are the
// playback status, the item id, the title and the artists (separated by ";") of an MPRIS
// answer.

#include <QStringList>
#include <QVariantMap>

#include "Fuzz.h"
#include "platform/linux/MprisSpotify.h"
#include "player/SpotifyState.h"

namespace {

void checkReply(const QString& reply) {
    const SpotifyState state = parseSpotifyReply(reply);
    REQUIRE(state.kind != SpotifyState::Kind::Error);
    if (state.kind == SpotifyState::Kind::NotPlaying) return;
    REQUIRE(reply.startsWith(QStringLiteral("PLAYING\t")));
    if (state.kind == SpotifyState::Kind::Playing) {
        REQUIRE(!state.track.contains(u'\t') && !state.artist.contains(u'\t'));
        REQUIRE(reply.contains(u'\t' + state.track + u'\t' + state.artist));
    }
}

// A track whose texts hold no tab arrives as it was played.
void checkMpris(const QList<QByteArray>& lines) {
    const QString status = QString::fromUtf8(lines[1]);
    const QString id = QString::fromUtf8(lines[2]);
    const QString title = QString::fromUtf8(lines[3]);
    const QStringList artists = QString::fromUtf8(lines[4]).split(u';');
    const QVariantMap metadata{{QStringLiteral("mpris:trackid"), id},
                               {QStringLiteral("xesam:title"), title},
                               {QStringLiteral("xesam:artist"), artists}};
    const QString reply = platform::MprisSpotify::renderReply(
        {{QStringLiteral("PlaybackStatus"), status}, {QStringLiteral("Metadata"), metadata}});
    checkReply(reply);
    const SpotifyState state = parseSpotifyReply(reply);
    const QString artist = artists.join(QStringLiteral(", "));
    const bool plain = !(id + title + artist).contains(u'\t');
    if (status == QStringLiteral("Playing") && plain && id.contains(QStringLiteral(":track:"))) {
        REQUIRE(state == SpotifyState::playing(title, artist));
    }
    if (status != QStringLiteral("Playing")) REQUIRE(state == SpotifyState::notPlaying());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QList<QByteArray> lines = fuzzFields(data, size, 5);
    checkReply(QString::fromUtf8(lines[0]));
    checkMpris(lines);
    return 0;
}
