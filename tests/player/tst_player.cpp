#include <QDBusConnection>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "FakeSpotify.h"
#include "PrivateBus.h"
#include "platform/AppleScriptSpotify.h"
#include "platform/MprisSpotify.h"
#include "player/SpotifyState.h"

Q_DECLARE_METATYPE(SpotifyState)

namespace {

void writeExecutable(const QString& path, const QByteArray& text) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
    file.close();
    QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
}

}  // namespace

class PlayerTest : public QObject {
    Q_OBJECT

  private:
    PrivateBus bus_;
    std::unique_ptr<FakeSpotify> spotify_;
    QTemporaryDir dataHome_;
    QTemporaryDir dataDirs_;

    // Makes the Spotify app known through `entry` in the XDG applications folder.
    void installDesktopEntry(const QString& entry) {
        const QString folder = dataDirs_.filePath(QStringLiteral("applications"));
        QVERIFY(QDir().mkpath(folder));
        QFile file(folder + u'/' + entry);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[Desktop Entry]\nType=Application\nName=Spotify\nExec=spotify %U\n");
    }
    void uninstall() {
        QDir(dataDirs_.filePath(QStringLiteral("applications"))).removeRecursively();
    }

  private slots:
    void initTestCase() {
        QVERIFY(bus_.isRunning());
        qputenv("XDG_DATA_HOME", dataHome_.path().toUtf8());
        qputenv("XDG_DATA_DIRS", dataDirs_.path().toUtf8());
        qputenv("PATH", "/usr/bin:/bin");
        spotify_ = std::make_unique<FakeSpotify>(bus_.address());
    }
    void cleanupTestCase() { spotify_.reset(); }
    void init() {
        uninstall();
        spotify_->quit();
    }

    void repliesAreParsed_data() {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<SpotifyState>("state");
        QTest::newRow("track") << "PLAYING\tspotify:track:1\tSong\tBand"
                               << SpotifyState::playing("Song", "Band");
        QTest::newRow("fields after the artist ignored")
            << "PLAYING\tspotify:track:1\tSong\tBand\textra"
            << SpotifyState::playing("Song", "Band");
        QTest::newRow("empty name and artist")
            << "PLAYING\tspotify:track:1\t\t" << SpotifyState::playing("", "");
        QTest::newRow("tab in the name cuts it")
            << "PLAYING\tspotify:track:1\tSide\tA\tBand" << SpotifyState::playing("Side", "A");
        QTest::newRow("episode") << "PLAYING\tspotify:episode:1\tTalk\tShow"
                                 << SpotifyState::podcast();
        QTest::newRow("ad") << "PLAYING\tspotify:ad:1\tBuy\tShop" << SpotifyState::podcast();
        QTest::newRow("three fields")
            << "PLAYING\tspotify:track:1\tSong" << SpotifyState::notPlaying();
        QTest::newRow("paused") << "STATE\tpaused" << SpotifyState::notPlaying();
        QTest::newRow("not running") << "STATE\tnotrunning" << SpotifyState::notPlaying();
        QTest::newRow("lower-case word")
            << "playing\tspotify:track:1\tSong\tBand" << SpotifyState::notPlaying();
        QTest::newRow("empty") << "" << SpotifyState::notPlaying();
    }
    void repliesAreParsed() {
        QFETCH(QString, reply);
        QFETCH(SpotifyState, state);
        QCOMPARE(parseSpotifyReply(reply), state);
    }

    void notInstalledIsNoappWithoutAsking() {
        platform::MprisSpotify mpris;
        QVERIFY(!platform::spotifyInstalled());
        QCOMPARE(readSpotify(mpris), SpotifyState::error("noapp"));
    }

    void installedIsFoundByDesktopEntryOrPath_data() {
        QTest::addColumn<QString>("entry");
        QTest::newRow("native") << "spotify.desktop";
        QTest::newRow("Flatpak") << "com.spotify.Client.desktop";
        QTest::newRow("Snap") << "spotify_spotify.desktop";
    }
    void installedIsFoundByDesktopEntryOrPath() {
        QFETCH(QString, entry);
        installDesktopEntry(entry);
        QVERIFY(platform::spotifyInstalled());
        platform::MprisSpotify mpris;
        QCOMPARE(mpris.ask().text, QStringLiteral("STATE\tnotrunning"));
        QCOMPARE(readSpotify(mpris), SpotifyState::notPlaying());
    }

    void installedIsFoundOnPath() {
        QTemporaryDir bin;
        writeExecutable(bin.filePath(QStringLiteral("spotify")), "#!/bin/sh\n");
        qputenv("PATH", (bin.path() + QStringLiteral(":/usr/bin:/bin")).toUtf8());
        const bool found = platform::spotifyInstalled();
        qputenv("PATH", "/usr/bin:/bin");
        QVERIFY(found);
    }

    void aRunningPlayerCountsAsInstalled() {
        QVERIFY(spotify_->run());
        spotify_->stop();
        QCOMPARE(readSpotify(*std::make_unique<platform::MprisSpotify>()),
                 SpotifyState::notPlaying());
    }

    void mprisStatesAreRead_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("form");
        QTest::addColumn<SpotifyState>("state");
        const int text = int(FakeSpotify::IdForm::Text);
        const int path = int(FakeSpotify::IdForm::ObjectPath);
        const SpotifyState track = SpotifyState::playing("Song", "Band, Guest");
        QTest::newRow("track as text") << "track" << text << track;
        QTest::newRow("track as object path") << "track" << path << track;
        QTest::newRow("episode as text") << "episode" << text << SpotifyState::podcast();
        QTest::newRow("episode as object path") << "episode" << path << SpotifyState::podcast();
        QTest::newRow("ad as object path") << "ad" << path << SpotifyState::podcast();
    }
    void mprisStatesAreRead() {
        QFETCH(QString, kind);
        QFETCH(int, form);
        QFETCH(SpotifyState, state);
        QVERIFY(spotify_->run());
        spotify_->play("Song", {"Band", "Guest"}, kind, FakeSpotify::IdForm(form));
        platform::MprisSpotify mpris;
        QCOMPARE(readSpotify(mpris), state);
    }

    void mprisReplyHasTheScriptsForm() {
        QVERIFY(spotify_->run());
        spotify_->play("Song", {"Band"}, "track", FakeSpotify::IdForm::ObjectPath);
        platform::MprisSpotify mpris;
        QCOMPARE(mpris.ask().text,
                 QStringLiteral("PLAYING\tspotify:track:4uLU6hMCjMI75M1A2tKUQC\tSong\tBand"));
        spotify_->pause();
        QCOMPARE(mpris.ask().text, QStringLiteral("STATE\tpaused"));
        spotify_->stop();
        QCOMPARE(mpris.ask().text, QStringLiteral("STATE\tstopped"));
    }

    void noBusIsAnError() {
        installDesktopEntry(QStringLiteral("spotify.desktop"));
        platform::MprisSpotify mpris(
            QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), "none"));
        QCOMPARE(readSpotify(mpris), SpotifyState::error("no D-Bus session bus"));
    }

    void aFailingPlayerIsAnErrorWithTheBusMessage() {
        FakeSpotify broken(bus_.address());
        QVERIFY(broken.run());
        broken.breakPlayer();
        platform::MprisSpotify mpris;
        const SpotifyState state = readSpotify(mpris);
        QCOMPARE(state.kind, SpotifyState::Kind::Error);
        qInfo() << "bus error:" << state.message;
        QVERIFY(!state.message.isEmpty() && state.message != "noapp");
    }

    void appleScriptIsSentToTheToolAndItsReplyRead() {
        QTemporaryDir dir;
        const QString received = dir.filePath(QStringLiteral("script"));
        writeExecutable(dir.filePath(QStringLiteral("osascript")),
                        "#!/bin/sh\n[ \"$1\" = - ] || exit 9\ncat > '" + received.toUtf8() +
                            "'\nprintf 'PLAYING\\tspotify:track:1\\tSong\\tBand\\n'\n");
        platform::AppleScriptSpotify script(dir.filePath(QStringLiteral("osascript")));
        QCOMPARE(script.ask().text, QStringLiteral("PLAYING\tspotify:track:1\tSong\tBand"));
        QFile sent(received);
        QVERIFY(sent.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(sent.readAll()), platform::AppleScriptSpotify::script());
        QVERIFY(platform::AppleScriptSpotify::script().startsWith(
            "tell application \"Spotify\"\n  if it is running then\n"));
        QVERIFY(platform::AppleScriptSpotify::script().endsWith("  end if\nend tell"));
    }

    void appleScriptFailuresGiveTheBriefMessage() {
        QTemporaryDir dir;
        writeExecutable(dir.filePath(QStringLiteral("osascript")),
                        "#!/bin/sh\ncat >/dev/null\necho '-:102:110: execution error: Not "
                        "authorized to send Apple events to Spotify. (-1743)' >&2\nexit 1\n");
        platform::AppleScriptSpotify script(dir.filePath(QStringLiteral("osascript")));
        const platform::PlayerReply reply = script.ask();
        QCOMPARE(reply.text, std::nullopt);
        QCOMPARE(reply.error, QStringLiteral("Not authorized to send Apple events to Spotify."));
    }

    void aMissingScriptToolGivesTheGenericFailure() {
        installDesktopEntry(QStringLiteral("spotify.desktop"));
        platform::AppleScriptSpotify script(QStringLiteral("/nonexistent/osascript"));
        QCOMPARE(readSpotify(script), SpotifyState::error("AppleScript failed"));
    }
};

QTEST_GUILESS_MAIN(PlayerTest)
#include "tst_player.moc"
