#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <list>

#include "FakeSpotify.h"
#include "PrivateBus.h"
#include "platform/linux/MprisPlayers.h"
#include "player/SpotifyState.h"
#include "state/Constants.h"
#include "sync/StatusFormat.h"

using Reading = platform::PlayerReading;

// Gives the same reading every time it is asked.
class FixedSpotify final : public platform::SpotifyBridge {
  public:
    explicit FixedSpotify(Reading reading) : reading_(std::move(reading)) {}
    Reading read(const QString&) override { return reading_; }

  private:
    Reading reading_;
};

class PlayerTest : public QObject {
    Q_OBJECT

    PrivateBus bus_;
    QTemporaryDir root_;  // the XDG data folders, with bin/ on PATH

    static inline const SpotifyState NONE = SpotifyState::notPlaying();

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

    // Music with its artists, as any player gives it; from FakeSpotify, on its album and with
    // its time left.
    static SpotifyState music(const QString& track, const QStringList& artists) {
        SpotifyState state = SpotifyState::playing(track, artists.join(", "));
        state.artists = artists;
        return state;
    }
    static SpotifyState fromFake(const QString& track, const QStringList& artists) {
        SpotifyState state = music(track, artists);
        state.album = "Album";
        state.remainingMs = 200'000;
        return state;
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
        QCOMPARE(formatStatus(DEFAULT_STATUS_FORMAT, state),
                 state.artist.isEmpty() ? state.track : "Song — " + state.artist);
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
        FixedSpotify spotify(platform::MprisPlayers::readingFrom(
            {{"PlaybackStatus", "Playing"}, {"Metadata", metadata}}));
        QCOMPARE(readSpotify(spotify),
                 music ? PlayerTest::music("Song", {"Band"}) : SpotifyState::podcast());
    }

    // Of the shared players, Spotify's unless chosen otherwise, the one that plays, by today's
    // order; a player that plays but is not shared is named. Every player named runs; the last
    // one plays (with the row's genre), the others are paused.
    void playersAreFoundOnTheBus_data() {
        QTest::addColumn<QStringList>("players");
        QTest::addColumn<PlayerChoices>("choices");
        QTest::addColumn<QString>("genre");
        QTest::addColumn<SpotifyState>("state");
        const SpotifyState song = fromFake("Song", {"Band", "Guest"});
        const PlayerChoices mpv{{"org.mpris.MediaPlayer2.mpv", true}};
        QTest::newRow("app") << QStringList{"spotify"} << PlayerChoices() << "" << song;
        QTest::newRow("app instance")
            << QStringList{"spotify.instance1234"} << PlayerChoices() << "" << song;
        QTest::newRow("spotifyd") << QStringList{"spotifyd.instance77"} << PlayerChoices() << ""
                                  << from(song, "spotifyd");
        QTest::newRow("the playing one, not the paused app")
            << QStringList{"spotify", "ncspot"} << PlayerChoices() << "" << from(song, "ncspot");
        QTest::newRow("another player, not shared")
            << QStringList{"spotify", "mpv"} << PlayerChoices() << ""
            << SpotifyState::unshared("mpv");
        QTest::newRow("a browser, not shared")
            << QStringList{"chromium.instance9"} << PlayerChoices() << ""
            << SpotifyState::unshared("chromium");
        QTest::newRow("the app, not shared")
            << QStringList{"spotify"} << PlayerChoices{{"org.mpris.MediaPlayer2.spotify", false}}
            << "" << SpotifyState::unshared("Spotify");
        QTest::newRow("another player, shared in any instance")
            << QStringList{"spotify", "mpv.instance5"} << mpv << "Rock" << from(song, "mpv");
        QTest::newRow("a podcast's genre")
            << QStringList{"mpv"} << mpv << "News Podcast" << from(SpotifyState::podcast(), "mpv");
        QTest::newRow("an audiobook's genre")
            << QStringList{"mpv"} << mpv << "audiobooks" << from(SpotifyState::podcast(), "mpv");
    }
    void playersAreFoundOnTheBus() {
        QFETCH(QStringList, players);
        QFETCH(PlayerChoices, choices);
        QFETCH(QString, genre);
        QFETCH(SpotifyState, state);
        std::list<FakeSpotify> running;  // nothing installed: running counts
        for (const QString& name : players) {
            FakeSpotify& player = running.emplace_back(bus_.address(), name);
            QVERIFY(player.run());
            player.play("Song", {"Band", "Guest"}, FakeSpotify::TRACK, {genre});
            if (name != players.last()) player.pause();
        }
        platform::MprisPlayers mpris;
        QCOMPARE(readSpotify(mpris, choices), state);
    }

    // The players are followed as they come and go, under one choice for all the instances of
    // one; of two shared players that play, the one that changed track last is read.
    void playersAreWatched() {
        int changes = 0;
        FakeSpotify ncspot(bus_.address(), "ncspot"), mpv(bus_.address(), "mpv.instance7");
        QVERIFY(ncspot.run());
        platform::MprisPlayers mpris;
        mpris.watchChanges([&] { ++changes; });
        FakeSpotify otherMpv(bus_.address(), "mpv.instance8");
        QVERIFY(mpv.run() && otherMpv.run());
        QTRY_COMPARE(changes, 2);
        const PlayerChoices choices{{"org.mpris.MediaPlayer2.mpv", true}};
        const QList<SharedPlayer> both{{"org.mpris.MediaPlayer2.ncspot", "ncspot", true, true},
                                       {"org.mpris.MediaPlayer2.mpv", "mpv", true, false}};
        QCOMPARE(sharedPlayers(mpris.players().running, choices), both);
        mpv.play("Film", {"Crew"});
        QTRY_COMPARE(changes, 3);
        ncspot.play("Song", {"Band"});
        QTRY_COMPARE(changes, 4);
        QCOMPARE(readSpotify(mpris, choices), from(fromFake("Song", {"Band"}), "ncspot"));
        mpv.play("Sequel", {"Crew"});
        QTRY_COMPARE(changes, 5);
        QCOMPARE(readSpotify(mpris, choices), from(fromFake("Sequel", {"Crew"}), "mpv"));
        ncspot.quit();
        mpv.quit();
        otherMpv.quit();
        QTRY_COMPARE(changes, 8);
        QCOMPARE(mpris.players().running, QList<platform::PlayerInfo>());
        QTest::qWait(100);
        QCOMPARE(changes, 8);
    }

    // A choice is stored only where it differs from the player's default, under the name shared
    // by all of the player's instances.
    void choicesKeepOnlyWhatDiffersFromTheDefault_data() {
        QTest::addColumn<QString>("busName");
        QTest::addColumn<bool>("spotify");
        QTest::addColumn<bool>("shared");
        QTest::addColumn<PlayerChoices>("choices");
        const QString mpv = "org.mpris.MediaPlayer2.mpv";
        QTest::newRow("another player shared")
            << mpv + ".instance1234" << false << true << PlayerChoices{{mpv, true}};
        QTest::newRow("another player not shared") << mpv << false << false << PlayerChoices();
        QTest::newRow("an instance with a name of its own")
            << "org.mpris.MediaPlayer2.firefox.instance_1_84" << false << true
            << PlayerChoices{{"org.mpris.MediaPlayer2.firefox", true}};
        QTest::newRow("a dotted name")
            << "org.mpris.MediaPlayer2.io.bassi.Amberol" << false << true
            << PlayerChoices{{"org.mpris.MediaPlayer2.io.bassi.Amberol", true}};
        QTest::newRow("Spotify not shared")
            << "org.mpris.MediaPlayer2.spotify" << true << false
            << PlayerChoices{{"org.mpris.MediaPlayer2.spotify", false}};
        QTest::newRow("Spotify shared")
            << "org.mpris.MediaPlayer2.spotify" << true << true << PlayerChoices();
    }
    void choicesKeepOnlyWhatDiffersFromTheDefault() {
        QFETCH(QString, busName);
        QFETCH(bool, spotify);
        QFETCH(bool, shared);
        QFETCH(PlayerChoices, choices);
        platform::PlayerInfo info{busName, "Player", spotify, 0, 0};
        const SharedPlayer player = sharedPlayers({info}, {}).value(0);
        QCOMPARE(player.shared, spotify);
        QCOMPARE(withChoice(PlayerChoices{{player.choice, !shared}}, player, shared), choices);
        QCOMPARE(sharedPlayers({info}, choices).value(0).shared, shared);
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
        platform::MprisPlayers mpris;
        QCOMPARE(readSpotify(mpris), SpotifyState::appMissing());
        writeExecutable(root_.filePath(file), "");
        QCOMPARE(readSpotify(mpris), SpotifyState::notRunning());
    }

    void withoutABusAnInstalledAppIsUnreadable() {
        platform::MprisPlayers noBus(QDBusConnection::connectToBus("unix:path=/none", "none"));
        QCOMPARE(readSpotify(noBus), SpotifyState::appMissing());
        writeExecutable(root_.filePath("bin/spotify"), "");
        QCOMPARE(readSpotify(noBus), SpotifyState::unreadable("no D-Bus session bus"));
    }
};

QTEST_GUILESS_MAIN(PlayerTest)
#include "tst_player.moc"
