#include <QDBusConnection>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

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
    FakeSpotify spotify_{bus_.address()};
    QTemporaryDir root_;  // the XDG data folders, with bin/ on PATH

    static inline const SpotifyState NONE = SpotifyState::notPlaying();

    static void writeExecutable(const QString& path, const QByteArray& text) {
        QFile file(path);
        QVERIFY(QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly) &&
                file.write(text) == text.size() &&
                file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }

  private slots:
    void init() {
        qputenv("XDG_DATA_HOME", root_.path().toUtf8());
        qputenv("XDG_DATA_DIRS", root_.path().toUtf8());
        qputenv("PATH", (root_.filePath("bin") + ":/usr/bin:/bin").toUtf8());
        QDir(root_.path()).removeRecursively();
        spotify_.quit();
    }

    void readingsBecomeStates_data() {
        QTest::addColumn<Reading>("reading");
        QTest::addColumn<SpotifyState>("state");
        const SpotifyState podcast = SpotifyState::podcast();
        QTest::newRow("track") << Reading::playing("spotify:track:1", "Song", {"Band", "Guest"})
                               << SpotifyState::playing("Song", "Band, Guest");
        QTest::newRow("no artist")
            << Reading::playing("spotify:track:1", "Song", {}) << SpotifyState::playing("Song", "");
        QTest::newRow("episode") << Reading::playing("spotify:episode:1", "Talk", {"Show"})
                                 << podcast;
        QTest::newRow("ad") << Reading::playing("spotify:ad:1", "Buy", {"Shop"}) << podcast;
        QTest::newRow("no id") << Reading::playing("", "Song", {"Band"}) << podcast;
        QTest::newRow("stopped") << Reading::stopped() << NONE;
        QTest::newRow("not running") << Reading::notRunning() << NONE;
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
    }

    void playerIsReadOverTheBus_data() {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("objectPath");
        QTest::addColumn<bool>("paused");
        QTest::addColumn<SpotifyState>("state");
        const SpotifyState song = SpotifyState::playing("Song", "Band, Guest");
        QTest::newRow("id as text") << "Song"
                                    << "track" << false << false << song;
        QTest::newRow("id as object path") << "Song"
                                           << "track" << true << false << song;
        QTest::newRow("tab in the title")
            << "Side\tA"
            << "track" << false << false << SpotifyState::playing("Side\tA", "Band, Guest");
        QTest::newRow("episode") << "Talk"
                                 << "episode" << true << false << SpotifyState::podcast();
        QTest::newRow("paused") << "Song"
                                << "track" << false << true << NONE;
    }
    void playerIsReadOverTheBus() {
        QFETCH(QString, title);
        QFETCH(QString, kind);
        QFETCH(bool, objectPath);
        QFETCH(bool, paused);
        QFETCH(SpotifyState, state);
        QVERIFY(bus_.isRunning() && spotify_.run());  // nothing installed: running counts
        spotify_.play(title, {"Band", "Guest"}, kind,
                      objectPath ? FakeSpotify::IdForm::ObjectPath : FakeSpotify::IdForm::Text);
        if (paused) spotify_.pause();
        platform::MprisSpotify mpris;
        QCOMPARE(readSpotify(mpris), state);
    }

    void installedIsFoundByDesktopEntryOrPath_data() {
        QTest::addColumn<QString>("file");
        QTest::newRow("native") << "applications/spotify.desktop";
        QTest::newRow("Flatpak") << "applications/com.spotify.Client.desktop";
        QTest::newRow("Snap") << "applications/spotify_spotify.desktop";
        QTest::newRow("on PATH") << "bin/spotify";
    }
    void installedIsFoundByDesktopEntryOrPath() {
        QFETCH(QString, file);
        platform::MprisSpotify mpris;
        QCOMPARE(readSpotify(mpris), SpotifyState::appMissing());
        writeExecutable(root_.filePath(file), "");
        QCOMPARE(readSpotify(mpris), NONE);
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
