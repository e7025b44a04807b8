#include <QDBusConnection>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "FakeSpotify.h"
#include "PrivateBus.h"
#include "platform/linux/MprisSpotify.h"
#include "player/SpotifyState.h"

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

    void repliesAreParsed_data() {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<SpotifyState>("state");
        const QString track = "PLAYING\tspotify:track:1\t";
        const SpotifyState song = SpotifyState::playing("Song", "Band");
        QTest::newRow("track") << track + "Song\tBand" << song;
        QTest::newRow("fields after the artist") << track + "Song\tBand\textra" << song;
        QTest::newRow("empty name and artist") << track + "\t" << SpotifyState::playing("", "");
        QTest::newRow("inner tab") << track + "Side\tA\tBand" << SpotifyState::playing("Side", "A");
        QTest::newRow("episode") << "PLAYING\tspotify:episode:1\tTalk\tShow"
                                 << SpotifyState::podcast();
        QTest::newRow("ad") << "PLAYING\tspotify:ad:1\tBuy\tShop" << SpotifyState::podcast();
        QTest::newRow("three fields") << track + "Song" << NONE;
        QTest::newRow("paused") << "STATE\tpaused" << NONE;
        QTest::newRow("not running") << "STATE\tnotrunning" << NONE;
        QTest::newRow("lower-case word") << "playing\tspotify:track:1\tSong\tBand" << NONE;
        QTest::newRow("empty") << "" << NONE;
    }
    void repliesAreParsed() {
        QFETCH(QString, reply);
        QFETCH(SpotifyState, state);
        QCOMPARE(parseSpotifyReply(reply), state);
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
        QCOMPARE(readSpotify(mpris), SpotifyState::error("noapp"));
        writeExecutable(root_.filePath(file), "");
        QCOMPARE(readSpotify(mpris), NONE);
    }

    void mprisRepliesTakeTheScriptsForm() {
        QVERIFY(bus_.isRunning() && spotify_.run());  // nothing installed: running counts
        platform::MprisSpotify mpris;
        spotify_.play("Song", {"Band", "Guest"});
        QCOMPARE(readSpotify(mpris), SpotifyState::playing("Song", "Band, Guest"));
        spotify_.play("Song", {"Band"}, "track", FakeSpotify::IdForm::ObjectPath);
        QCOMPARE(mpris.ask().text, "PLAYING\tspotify:track:4uLU6hMCjMI75M1A2tKUQC\tSong\tBand");
        spotify_.play("Talk", {"Show"}, "episode", FakeSpotify::IdForm::ObjectPath);
        QCOMPARE(readSpotify(mpris), SpotifyState::podcast());
        spotify_.pause();
        QCOMPARE(mpris.ask().text, "STATE\tpaused");
        spotify_.quit();
        QCOMPARE(mpris.ask().text, "STATE\tnotrunning");
    }

    void failuresAreExplained() {
        writeExecutable(root_.filePath("bin/spotify"), "");
        platform::MprisSpotify noBus(QDBusConnection::connectToBus("unix:path=/none", "none"));
        QCOMPARE(readSpotify(noBus), SpotifyState::error("no D-Bus session bus"));
    }
};

QTEST_GUILESS_MAIN(PlayerTest)
#include "tst_player.moc"
