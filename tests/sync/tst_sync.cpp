#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <thread>

#include "FakeClock.h"
#include "FakeSlack.h"
#include "FakeSpotify.h"
#include "PrivateBus.h"
#include "TestFiles.h"
#include "platform/MprisSpotify.h"
#include "sync/EmojiChoice.h"
#include "sync/SyncEngine.h"

namespace {

const QDateTime MORNING(QDate(2026, 12, 7), QTime(10, 0));
const QByteArray OK = R"({"ok":true})";
const QByteArray NOT_JSON = "<html>502 Bad Gateway</html>";
const QString SONG = QStringLiteral("Song — Band");
const QJsonObject SIGNED_IN{{"slackToken", "xoxp-1"}};

QByteArray emojiList(bool withSpotify) {
    QJsonObject emoji{{"party", "https://emoji/party.png"}};
    if (withSpotify) emoji.insert("spotify", "alias:green");
    return QJsonDocument(QJsonObject{{"ok", true}, {"emoji", emoji}}).toJson();
}

const QJsonObject CLEARING{{"status_text", ""}, {"status_emoji", ""}, {"status_expiration", 0}};

}  // namespace

// The sync engine against a Spotify player on a private bus and a Slack server on loopback.
class SyncTest : public QObject {
    Q_OBJECT

  private:
    PrivateBus bus_;
    FakeSlack slack_;
    std::unique_ptr<FakeSpotify> spotify_;
    QTemporaryDir dir_;
    QString settingsPath_;
    FakeClock clock_{MORNING};
    std::unique_ptr<platform::MprisSpotify> bridge_;
    std::unique_ptr<Config> config_;
    std::unique_ptr<AppState> state_;
    std::unique_ptr<SyncEngine> engine_;

    void start(const QJsonObject& settings = SIGNED_IN) {
        QVERIFY(writeSettings(settingsPath_, settings));
        config_ = std::make_unique<Config>(settingsPath_);
        state_ = std::make_unique<AppState>();
        state_->setLastSetText(config_->lastSetText());
        engine_ = std::make_unique<SyncEngine>(*config_, *state_, clock_, *bridge_);
    }

    // Runs one sync step on a worker, serving the main thread meanwhile, and lets the work it
    // handed to the main thread (saves, notifications) finish.
    void step() {
        QEventLoop loop;
        std::thread worker([&] {
            engine_->tick();
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
        loop.exec();
        worker.join();
    }

    QJsonObject track(const QString& text, const QString& emoji = ":musical_note:") {
        return {{"status_text", text},
                {"status_emoji", emoji},
                {"status_expiration", clock_.now().toSecsSinceEpoch() + 300}};
    }

    QString desktopEntryPath() const { return dir_.filePath("data/applications/spotify.desktop"); }
    QString stored() const { return Config(settingsPath_).lastSetText(); }

    // Plays the track and lets one step put it on Slack.
    void showTrack() {
        step();
        QCOMPARE(state_->lastSetText(), SONG);
        slack_.shows(SONG);
    }

  private slots:
    void initTestCase() {
        QVERIFY(bus_.isRunning());
        slack_.useForSlack();
        settingsPath_ = dir_.filePath(".trackglint-mac.json");
        // Spotify is installed (as a desktop entry) unless a test removes it.
        qputenv("XDG_DATA_HOME", dir_.filePath("data").toUtf8());
        qputenv("XDG_DATA_DIRS", dir_.filePath("data").toUtf8());
        qputenv("PATH", "/usr/bin:/bin");
        QVERIFY(QDir().mkpath(dir_.filePath("data/applications")));
        spotify_ = std::make_unique<FakeSpotify>(bus_.address());
        bridge_ = std::make_unique<platform::MprisSpotify>();
    }
    void cleanupTestCase() { spotify_.reset(); }

    void init() {
        QFile entry(desktopEntryPath());
        QVERIFY(entry.open(QIODevice::WriteOnly));
        entry.write("[Desktop Entry]\nType=Application\nName=Spotify\nExec=spotify\n");
        entry.close();
        slack_.reset();
        slack_.shows(QString());
        slack_.script("users.profile.set", OK);
        slack_.script("emoji.list", emojiList(false));
        QVERIFY(spotify_->run());
        spotify_->play("Song", {"Band"});
        clock_.set(MORNING);
    }
    void cleanup() { engine_.reset(); }

    void withoutATokenNothingIsAskedOrSent() {
        start({});
        QSignalSpy spy(state_.get(), &AppState::tickNotification);
        step();
        engine_->checkEmojiAsync();
        QTest::qWait(300);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(slack_.requests().size(), 0);
        QCOMPARE(state_->nowPlayingLabel(), QStringLiteral("…"));
        QCOMPARE(state_->spotifyEmojiAvailable(), std::nullopt);
    }

    void aTrackIsSetRenewedAndReplaced() {
        start();
        showTrack();
        QCOMPARE(slack_.requests().value(0).headers.value("authorization"), "Bearer xoxp-1");
        QCOMPARE(state_->nowPlayingLabel(), QStringLiteral("▶ Song — Band"));
        QCOMPARE(stored(), SONG);
        const QJsonObject first = track(SONG);
        clock_.set(MORNING.addSecs(15));
        step();
        spotify_->play("Next", {"Band", "Guest"}, "track", FakeSpotify::IdForm::ObjectPath);
        step();
        QCOMPARE(slack_.profilesSent(),
                 QList<QJsonObject>({first, track(SONG), track("Next — Band, Guest")}));
        QCOMPARE(stored(), QStringLiteral("Next — Band, Guest"));
        QCOMPARE(state_->lastError(), std::nullopt);
    }

    void theUsersOwnStatusIsLeftAloneUntilCleared() {
        start();
        slack_.script("users.profile.get", {{200, NOT_JSON}});
        step();
        QCOMPARE(state_->lastError(), QStringLiteral("Slack unreachable"));
        slack_.shows("In a meeting");
        step();
        QCOMPARE(slack_.profilesSent(), QList<QJsonObject>());
        QCOMPARE(state_->lastSetText(), QString());
        slack_.shows(QString());
        step();
        QCOMPARE(slack_.profilesSent(), QList<QJsonObject>{track(SONG)});
        QCOMPARE(state_->lastError(), std::nullopt);
    }

    void whenTheMusicStopsOnlyTheProgramsStatusIsCleared_data() {
        QTest::addColumn<QString>("player");
        QTest::addColumn<QString>("slackText");
        QTest::addColumn<QString>("label");
        QTest::addColumn<bool>("cleared");
        const QString nothing = QStringLiteral("nothing playing");
        QTest::newRow("paused") << "pause" << SONG << nothing << true;
        QTest::newRow("stopped") << "stop" << SONG << nothing << true;
        QTest::newRow("quit") << "quit" << SONG << nothing << true;
        QTest::newRow("podcast") << "podcast" << SONG << "🎙 podcast (never shared)" << true;
        QTest::newRow("Slack already empty") << "pause" << QString() << nothing << true;
        QTest::newRow("user's own status") << "pause"
                                           << "Lunch" << nothing << false;
    }
    void whenTheMusicStopsOnlyTheProgramsStatusIsCleared() {
        QFETCH(QString, player);
        QFETCH(QString, slackText);
        QFETCH(QString, label);
        QFETCH(bool, cleared);
        start();
        showTrack();
        slack_.shows(slackText);
        if (player == "pause") spotify_->pause();
        if (player == "stop") spotify_->stop();
        if (player == "quit") spotify_->quit();
        if (player == "podcast") spotify_->play("Talk", {"Show"}, "episode");
        step();
        step();  // nothing more to clear
        QCOMPARE(slack_.profilesSent().size(), cleared ? 2 : 1);
        if (cleared) QCOMPARE(slack_.profilesSent().value(1), CLEARING);
        QCOMPARE(state_->nowPlayingLabel(), label);
        QCOMPARE(state_->lastSetText(), cleared ? QString() : SONG);
        QCOMPARE(stored(), cleared ? QString() : SONG);
    }

    void anUnreadablePlayerChangesNothingOnSlack_data() {
        QTest::addColumn<bool>("installed");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("error");  // "*" stands for the bus's own message
        QTest::newRow("not installed")
            << false << "⬇ Install the Spotify app"
            << "Trackglint needs the Spotify desktop app (www.spotify.com/download). After "
               "installing, open Spotify once, then quit and reopen Trackglint.";
        QTest::newRow("no answer")
            << true << "⚠️ can't read Spotify"
            << "Can't read Spotify (No such object path*). If you just installed Spotify, open "
               "it once, then quit and reopen Trackglint.";
    }
    void anUnreadablePlayerChangesNothingOnSlack() {
        QFETCH(bool, installed);
        QFETCH(QString, label);
        QFETCH(QString, error);
        start();
        showTrack();
        spotify_->quit();
        FakeSpotify broken(bus_.address());
        if (installed) {
            QVERIFY(broken.run());
            broken.breakPlayer();
        } else {
            QVERIFY(QFile::remove(desktopEntryPath()));
        }
        step();
        QCOMPARE(slack_.requests().size(), 2);  // only the first step's
        QCOMPARE(state_->nowPlayingLabel(), label);
        const QString shown = state_->lastError().value_or("(none)");
        const QStringList around = error.split(u'*');
        QVERIFY2(shown.startsWith(around.first()) && shown.endsWith(around.last()),
                 qPrintable(shown));
        QCOMPARE(state_->lastSetText(), SONG);
    }

    void slackFailuresAreShown_data() {
        QTest::addColumn<QString>("failing");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<std::optional<QString>>("error");
        const auto shown = [](const char* text) { return std::optional(QString::fromUtf8(text)); };
        QTest::newRow("status unreadable")
            << "users.profile.get" << 502 << NOT_JSON << shown("Slack unreachable");
        QTest::newRow("set rejected")
            << "users.profile.set" << 200 << QByteArray(R"({"ok":false,"error":"invalid_auth"})")
            << shown("Slack: invalid_auth");
        QTest::newRow("set rejected without a code")
            << "users.profile.set" << 200 << QByteArray(R"({"ok":false})") << shown("Slack: ?");
        QTest::newRow("set lost") << "users.profile.set" << 502 << NOT_JSON
                                  << shown("Slack: network");
        QTest::newRow("rate limited: quiet, retried next step")
            << "users.profile.set" << 429 << QByteArray(R"({"ok":false,"error":"ratelimited"})")
            << std::optional<QString>();
    }
    void slackFailuresAreShown() {
        QFETCH(QString, failing);
        QFETCH(int, status);
        QFETCH(QByteArray, reply);
        QFETCH(std::optional<QString>, error);
        start();
        slack_.script(failing, {{status, reply}});
        step();
        QCOMPARE(state_->lastError(), error);
        QCOMPARE(state_->lastSetText(), QString());
        QCOMPARE(stored(), QString());
    }

    void aFailedClearKeepsTheTextToTryAgain() {
        start();
        showTrack();
        spotify_->pause();
        slack_.script("users.profile.set", R"({"ok":false,"error":"profile_set_failed"})");
        step();
        QCOMPARE(state_->lastError(), QStringLiteral("Slack: profile_set_failed"));
        QCOMPARE(state_->lastSetText(), SONG);
        slack_.script("users.profile.set", OK);
        step();
        QCOMPARE(slack_.profilesSent().value(2), CLEARING);
        QCOMPARE(state_->lastError(), std::nullopt);
    }

    void pausedOrAfterHoursTakesDownOnlyTheProgramsStatus_data() {
        QTest::addColumn<QString>("why");
        QTest::addColumn<QList<FakeSlack::Reply>>("statusReply");
        QTest::addColumn<bool>("cleared");
        const QList<FakeSlack::Reply> ours{{200, FakeSlack::profileShowing(SONG)}};
        QTest::newRow("paused") << "paused" << ours << true;
        QTest::newRow("after hours") << "after hours" << ours << true;
        QTest::newRow("user's own status")
            << "paused" << QList<FakeSlack::Reply>{{200, FakeSlack::profileShowing("Lunch")}}
            << false;
        QTest::newRow("Slack unreachable")
            << "paused" << QList<FakeSlack::Reply>{{502, NOT_JSON}} << false;
    }
    void pausedOrAfterHoursTakesDownOnlyTheProgramsStatus() {
        QFETCH(QString, why);
        QFETCH(QList<FakeSlack::Reply>, statusReply);
        QFETCH(bool, cleared);
        start({{"slackToken", "xoxp-1"}, {"workHours", QJsonObject{{"enabled", true}}}});
        clock_.set(QDateTime(MORNING.date(), QTime(16, 59, 45)));
        showTrack();
        slack_.script("users.profile.get", statusReply);
        if (why == "paused") config_->setValue("paused", true);
        if (why == "after hours") clock_.set(QDateTime(MORNING.date(), QTime(17, 0)));
        step();
        QCOMPARE(slack_.profilesSent().size(), cleared ? 2 : 1);
        if (cleared) QCOMPARE(slack_.profilesSent().value(1), CLEARING);
        // Forgotten either way: nothing of ours is left to recognise.
        QCOMPARE(state_->lastSetText(), QString());
        QCOMPARE(stored(), QString());
        const qsizetype before = slack_.requests().size();
        step();
        QCOMPARE(slack_.requests().size(), before);
    }

    void togglePauseSavesAndStepsAtOnce() {
        start();
        showTrack();
        QSignalSpy spy(state_.get(), &AppState::tickNotification);
        engine_->togglePause();
        QVERIFY(spy.wait(15'000));
        QCOMPARE(Config(settingsPath_).paused(), true);
        QCOMPARE(slack_.profilesSent().value(1), CLEARING);
        QCOMPARE(state_->nowPlayingLabel(), QStringLiteral("▶ Song — Band"));
    }

    void aLongStatusIsRememberedAsSlackKeepsIt() {
        start();
        spotify_->play(QString(60, u'é'), {QString(60, u'x')});
        step();
        const QString sent = (QString(60, u'é') + " — " + QString(60, u'x')).left(100);
        QCOMPARE(slack_.profilesSent().value(0).value("status_text").toString(), sent);
        QCOMPARE(state_->lastSetText(), sent);
        slack_.shows(sent);
        step();
        QCOMPARE(slack_.profilesSent().size(), 2);  // recognised as ours, so renewed
    }

    void theEmojiFollowsTheChoiceAndTheWorkspace_data() {
        QTest::addColumn<std::optional<QString>>("chosen");
        QTest::addColumn<std::optional<bool>>("available");
        QTest::addColumn<QString>("emoji");
        const std::optional<QString> none, spotify(":spotify:"), guitar(":guitar:"),
            unlisted(":parrot:");
        const std::optional<bool> unknown, has(true), lacks(false);
        QTest::newRow("no choice, unknown") << none << unknown << ":musical_note:";
        QTest::newRow("no choice, has") << none << has << ":spotify:";
        QTest::newRow("no choice, lacks") << none << lacks << ":musical_note:";
        QTest::newRow(":spotify:, unknown") << spotify << unknown << ":spotify:";
        QTest::newRow(":spotify:, lacks") << spotify << lacks << ":musical_note:";
        QTest::newRow(":guitar:, lacks") << guitar << lacks << ":guitar:";
        QTest::newRow(":guitar:, has") << guitar << has << ":guitar:";
        QTest::newRow("unlisted, has") << unlisted << has << ":spotify:";
        QTest::newRow("unlisted, unknown") << unlisted << unknown << ":musical_note:";
    }
    void theEmojiFollowsTheChoiceAndTheWorkspace() {
        QFETCH(std::optional<QString>, chosen);
        QFETCH(std::optional<bool>, available);
        QFETCH(QString, emoji);
        QCOMPARE(effectiveEmoji(chosen, available), emoji);
    }

    void anEmojiAddedWhileRunningIsNoticedAndSent() {
        start({{"slackToken", "xoxp-1"}, {"emoji", ":spotify:"}});
        QSignalSpy spy(state_.get(), &AppState::tickNotification);
        engine_->checkEmojiAsync();
        QVERIFY(spy.wait(15'000));
        QCOMPARE(state_->spotifyEmojiAvailable(), false);
        slack_.script("emoji.list", emojiList(true));
        step();  // completes while the workspace is known to lack it: checks again
        QTRY_COMPARE(state_->spotifyEmojiAvailable(), true);
        step();
        QCOMPARE(slack_.profilesSent().value(0).value("status_emoji").toString(), ":musical_note:");
        QCOMPARE(slack_.profilesSent().value(1).value("status_emoji").toString(), ":spotify:");
    }

    void thePlayersSignalsStartStepsSpacedApart() {
        start();
        engine_->start();
        QElapsedTimer clock;
        clock.start();
        spotify_->pause();
        QTRY_COMPARE_WITH_TIMEOUT(slack_.requests("users.profile.get").size(), 1, 1000);
        QVERIFY(clock.elapsed() < 1000);
        for (int skip = 0; skip < 8; ++skip) {  // fast skipping: one more step, 2 s later
            spotify_->play(QString::number(skip), {"Band"});
            QTest::qWait(100);
        }
        QTRY_COMPARE_WITH_TIMEOUT(slack_.requests("users.profile.get").size(), 2, 3000);
        QVERIFY(clock.elapsed() >= 2000);
        QTest::qWait(1000);
        QCOMPARE(slack_.requests("users.profile.get").size(), 2);
        QCOMPARE(slack_.profilesSent().value(0).value("status_text"), "7 — Band");
        spotify_->quit();  // the name vanishing counts too
        QTRY_COMPARE_WITH_TIMEOUT(slack_.requests("users.profile.get").size(), 3, 3000);
    }

    void requestsDuringAStepBecomeOneMoreStep() {
        start();
        slack_.script("users.profile.get", {{200, FakeSlack::profileShowing(""), 800}});
        for (int i = 0; i < 5; ++i) engine_->tickAsync();
        QTRY_COMPARE(slack_.requests("users.profile.get").size(), 1);
        for (int i = 0; i < 5; ++i) engine_->tickAsync();
        QTRY_COMPARE_WITH_TIMEOUT(slack_.requests("users.profile.get").size(), 2, 5000);
        QTest::qWait(2000);
        // Two steps, one after the other.
        QStringList calls;
        for (const FakeSlack::Request& request : slack_.requests()) calls += request.path;
        QCOMPARE(calls, QStringList({"/api/users.profile.get", "/api/users.profile.set",
                                     "/api/users.profile.get", "/api/users.profile.set"}));
    }

    void noStepStartsOnceSyncIsStopped() {
        start();
        slack_.script("users.profile.get", {{200, FakeSlack::profileShowing(""), 500}});
        engine_->tickAsync();
        QTRY_COMPARE(slack_.requests("users.profile.get").size(), 1);
        engine_->tickAsync();
        engine_->stopSync();
        engine_->tickAsync();
        QTest::qWait(800);
        QCOMPARE(slack_.requests("users.profile.get").size(), 1);
    }
};

QTEST_GUILESS_MAIN(SyncTest)
#include "tst_sync.moc"
