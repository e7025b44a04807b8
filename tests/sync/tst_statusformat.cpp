#include <QTest>

#include "player/SpotifyState.h"
#include "state/Constants.h"
#include "sync/PrivateArtists.h"
#include "sync/StatusFormat.h"

class StatusFormatTest : public QObject {
    Q_OBJECT

    static SpotifyState track(const QStringList& artists, const QString& album) {
        SpotifyState state = SpotifyState::playing("Song", artists.join(", "));
        state.artists = artists;
        state.album = album;
        return state;
    }

  private slots:
    // Each field shows the track's own; an empty one takes its brackets and the text joining
    // it to the field before with it. A format that shows no field reads as the default.
    void aFormatFillsInTheTrack_data() {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QStringList>("artists");
        QTest::addColumn<QString>("album");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("refused");
        const QString full = "{title} — {artist} ({album})";
        const auto row = [](const char* name, const QString& format, const QStringList& artists,
                            const QString& album, const QString& text, bool refused = false) {
            QTest::newRow(name) << format << artists << album << text << refused;
        };
        row("default", DEFAULT_STATUS_FORMAT, {"Band", "Guest"}, "LP", "Song — Band, Guest");
        row("default, no artist", DEFAULT_STATUS_FORMAT, {}, "LP", "Song");
        row("every field", full, {"Band"}, "LP", "Song — Band (LP)");
        row("no album", full, {"Band"}, "", "Song — Band");
        row("no artist", full, {}, "LP", "Song (LP)");
        row("empty first field", "{artist}: {title}", {}, "", "Song");
        row("leading and trailing text", "♪ {title} [{album}]!", {"Band"}, "", "♪ Song!");
        row("bracketed first field", "“{album}” {title}", {"Band"}, "", "Song");
        row("other braces as written", "{Title} {year}: {title}", {}, "", "{Title} {year}: Song");
        row("every field empty", "{album}", {"Band"}, "", "Song — Band");
        row("no field", "Listening", {"Band"}, "", "Song — Band", true);
        row("empty", "", {"Band"}, "", "Song — Band", true);
    }
    void aFormatFillsInTheTrack() {
        QFETCH(QString, format);
        QFETCH(QStringList, artists);
        QFETCH(QString, album);
        QFETCH(QString, text);
        QFETCH(bool, refused);
        const SpotifyState state = track(artists, album);
        QCOMPARE(formatStatus(format, state), text);
        QCOMPARE(formatProblem(format).has_value(), refused);
        if (format == DEFAULT_STATUS_FORMAT)  // "track — artist", or the track alone
            QCOMPARE(text,
                     state.artist.isEmpty() ? state.track : state.track + " — " + state.artist);
    }

    // An artist is kept private under any case and spacing, on a track with others too.
    void privateArtistsAreFoundOnATrack() {
        const QStringList kept = withArtist(withArtist({}, " The Band "), "the band");
        QCOMPARE(kept, QStringList{"The Band"});
        QCOMPARE(privateArtistOf({"Guest", "THE BAND"}, kept), "THE BAND");
        QCOMPARE(privateArtistOf({"Guest", "Band"}, kept), std::nullopt);
        QCOMPARE(withoutArtist(kept, "the band "), QStringList());
    }
};

QTEST_GUILESS_MAIN(StatusFormatTest)
#include "tst_statusformat.moc"
