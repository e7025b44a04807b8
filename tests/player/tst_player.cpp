#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <list>

#include "FakeSpotify.h"
#include "PrivateBus.h"
#include "platform/linux/MprisSpotify.h"
#include "player/SpotifyState.h"

using Reading = platform::PlayerReading;

// Gives the same reading every time it is asked.
class FixedSpotify final : public platform::SpotifyBridge {
  public:
    explicit FixedSpotify(Reading reading) : reading_(std::move(reading)) {}
    Reading read() override { return reading_; }

  private:
    Reading reading_;
};

class PlayerTest : public QObject {
    Q_OBJECT

    PrivateBus bus_;
    QTemporaryDir root_;  // the XDG data folders, with bin/ on PATH

    static inline const SpotifyState NONE = SpotifyState::notPlaying();

    // Music playing by `artists`, each kept and all joined.
    static SpotifyState music(const QString& title, const QStringList& artists) {
        SpotifyState state = SpotifyState::playing(title, artists.join(", "));
        state.artists = artists;
        return state;
    }

    static void writeExecutable(const QString& path, const QByteArray& text) {
        QFile file(path);
        QVERIFY(QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly) &&
                file.write(text) == text.size() &&
                file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }

    static SpotifyState from(const SpotifyState& state, const QString& player) {
        SpotifyState named = state;
        named.player = player;
        return named;
    }

  private slots:
    void init() {
        qputenv("XDG_DATA_HOME", root_.path().toUtf8());
        qputenv("XDG_DATA_DIRS", root_.path().toUtf8());
        qputenv("PATH", (root_.filePath("bin") + ":/usr/bin:/bin").toUtf8());
        QDir(root_.path()).removeRecursively();
    }

    void readingsBecomeStates_data() {
        QTest::addColumn<Reading>("reading");
        QTest::addColumn<SpotifyState>("state");
        const SpotifyState podcast = SpotifyState::podcast();
        QTest::newRow("track") << Reading::playing("spotify:track:1", "Song", {"Band", "Guest"})
                               << music("Song", {"Band", "Guest"});
        QTest::newRow("blank artists left out")
            << Reading::playing("spotify:track:1", "Song", {"", "Band", " "})
            << music("Song", {"Band"});
        QTest::newRow("no title") << Reading::playing("spotify:track:1", " ", {"Band"}) << NONE;
        QTest::newRow("own file") << Reading::playing("spotify:local:Band:Album:Song:210", "Song",
                                                      {"Band"})
                                  << music("Song", {"Band"});
        QTest::newRow("episode") << Reading::playing("spotify:episode:1", "Talk", {"Show"})
                                 << podcast;
        QTest::newRow("ad") << Reading::playing("spotify:ad:1", "Buy", {"Shop"}) << podcast;
        QTest::newRow("no id") << Reading::playing("", "Song", {"Band"}) << podcast;
        QTest::newRow("stopped") << Reading::stopped() << NONE;
        QTest::newRow("not running") << Reading::notRunning() << SpotifyState::notRunning();
        QTest::newRow("not installed") << Reading::notInstalled() << SpotifyState::appMissing();
        QTest::newRow("error") << Reading::error("Denied") << SpotifyState::unreadable("Denied");
        QTest::newRow("error without a reason")
            << Reading::error("") << SpotifyState::unreadable("no answer from the player");
    }
    void readingsBecomeStates() {
        QFETCH(Reading, reading);
        QFETCH(SpotifyState, state);
        FixedSpotify spotify(reading);
        QCOMPARE(readSpotify(spotify), state);
        QCOMPARE(state.text(), state.artist.isEmpty() ? state.track : "Song — " + state.artist);
    }

    // Each player names its items its own way; music is told apart from the rest in all of them.
    void itemIdsAreToldApart_data() {
        QTest::addColumn<QString>("id");  // an object path, or text
        QTest::addColumn<bool>("music");
        QTest::newRow("app, text") << "spotify:track:1" << true;
        QTest::newRow("app") << "/com/spotify/track/1" << true;
        QTest::newRow("spotifyd") << "/spotify/track/1" << true;
        QTest::newRow("ncspot") << "/org/ncspot/spotify/track/1" << true;
        QTest::newRow("own file") << "spotify:local:Band:Album:Song:210" << true;
        QTest::newRow("app, episode") << "/com/spotify/episode/1" << false;
        QTest::newRow("ncspot, episode") << "/org/ncspot/spotify/episode/1" << false;
        QTest::newRow("app, ad") << "/com/spotify/ad/1" << false;
        QTest::newRow("no track") << "/org/mpris/MediaPlayer2/TrackList/NoTrack" << false;
    }
    void itemIdsAreToldApart() {
        QFETCH(QString, id);
        QFETCH(bool, music);
        const QVariant trackId =
            id.startsWith(u'/') ? QVariant::fromValue(QDBusObjectPath(id)) : QVariant(id);
        const QVariantMap metadata{{"mpris:trackid", trackId},
                                   {"xesam:title", "Song"},
                                   {"xesam:artist", QStringList{"Band"}}};
        FixedSpotify spotify(platform::MprisSpotify::readingFrom(
            {{"PlaybackStatus", "Playing"}, {"Metadata", metadata}}));
        QCOMPARE(readSpotify(spotify),
                 music ? PlayerTest::music("Song", {"Band"}) : SpotifyState::podcast());
    }

    // The app under any of its names whenever it runs, else the Spotify player that plays; never
    // another player. Every player named runs; the last one plays, the others are paused.
    void playersAreFoundOnTheBus_data() {
        QTest::addColumn<QStringList>("players");
        QTest::addColumn<SpotifyState>("state");
        const SpotifyState song = music("Song", {"Band", "Guest"});
        QTest::newRow("app") << QStringList{"spotify"} << song;
        QTest::newRow("app instance") << QStringList{"spotify.instance1234"} << song;
        QTest::newRow("spotifyd") << QStringList{"spotifyd.instance77"} << from(song, "spotifyd");
        QTest::newRow("ncspot") << QStringList{"ncspot"} << from(song, "ncspot");
        QTest::newRow("the paused app first") << QStringList{"spotify", "ncspot"} << NONE;
        QTest::newRow("the other that plays")
            << QStringList{"ncspot", "spotifyd"} << from(song, "spotifyd");
        QTest::newRow("not Spotify") << QStringList{"mpv"} << SpotifyState::appMissing();
        QTest::newRow("a browser")
            << QStringList{"chromium.instance9"} << SpotifyState::appMissing();
    }
    void playersAreFoundOnTheBus() {
        QFETCH(QStringList, players);
        QFETCH(SpotifyState, state);
        std::list<FakeSpotify> running;  // nothing installed: running counts
        for (const QString& name : players) {
            FakeSpotify& player = running.emplace_back(bus_.address(), name);
            QVERIFY(player.run());
            player.play("Song", {"Band", "Guest"});
            if (name != players.last()) player.pause();
        }
        platform::MprisSpotify mpris;
        QCOMPARE(readSpotify(mpris), state);
    }

    // A Spotify player starting, quitting or changing what it plays is passed on, whatever its
    // instance; another player never is. While watched, players are read under the names the
    // watch has seen come and go, including one that ran before it began.
    void spotifyPlayersAreWatched() {
        int changes = 0;
        FakeSpotify ncspot(bus_.address(), "ncspot");
        QVERIFY(ncspot.run());
        platform::MprisSpotify mpris;
        mpris.watchChanges([&] { ++changes; });
        FakeSpotify spotifyd(bus_.address(), "spotifyd.instance7"), mpv(bus_.address(), "mpv");
        QVERIFY(mpv.run() && spotifyd.run());
        QTRY_COMPARE(changes, 1);
        mpv.play("Film", {});
        spotifyd.play("Song", {"Band"});
        QTRY_COMPARE(changes, 2);
        QCOMPARE(readSpotify(mpris), from(music("Song", {"Band"}), "spotifyd"));
        spotifyd.pause();  // its signal carries only the status
        QTRY_COMPARE(changes, 3);
        ncspot.play("Tune", {"Duo"});
        QTRY_COMPARE(changes, 4);
        spotifyd.quit();
        mpv.quit();
        QTRY_COMPARE(changes, 5);
        QCOMPARE(readSpotify(mpris), from(music("Tune", {"Duo"}), "ncspot"));
        ncspot.quit();
        QTRY_COMPARE(changes, 6);
        QCOMPARE(readSpotify(mpris), SpotifyState::appMissing());
        QTest::qWait(100);
        QCOMPARE(changes, 6);
    }

    void installedIsFoundByDesktopEntryOrPath_data() {
        QTest::addColumn<QString>("file");
        QTest::newRow("native") << "applications/spotify.desktop";
        QTest::newRow("Flatpak") << "applications/com.spotify.Client.desktop";
        QTest::newRow("Snap") << "applications/spotify_spotify.desktop";
        QTest::newRow("on PATH") << "bin/spotify";
        QTest::newRow("spotifyd on PATH") << "bin/spotifyd";
    }
    void installedIsFoundByDesktopEntryOrPath() {
        QFETCH(QString, file);
        platform::MprisSpotify mpris;
        QCOMPARE(readSpotify(mpris), SpotifyState::appMissing());
        writeExecutable(root_.filePath(file), "");
        QCOMPARE(readSpotify(mpris), SpotifyState::notRunning());
    }

    void withoutABusAnInstalledAppIsUnreadable() {
        platform::MprisSpotify noBus(QDBusConnection::connectToBus("unix:path=/none", "none"));
        QCOMPARE(readSpotify(noBus), SpotifyState::appMissing());
        writeExecutable(root_.filePath("bin/spotify"), "");
        QCOMPARE(readSpotify(noBus), SpotifyState::unreadable("no D-Bus session bus"));
    }
};

QTEST_GUILESS_MAIN(PlayerTest)
#include "tst_player.moc"
