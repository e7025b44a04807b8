#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <thread>

#include "FakeClock.h"
#include "FakeSlack.h"
#include "FakeSpotify.h"
#include "PrivateBus.h"
#include "main/AppDelegate.h"
#include "platform/MprisSpotify.h"

namespace {

const QDateTime MORNING(QDate(2026, 12, 7), QTime(10, 0));
const QByteArray OK = R"({"ok":true})";
const QByteArray NOT_JSON = "<html>502 Bad Gateway</html>";

QByteArray profileShowing(const QString& text) {
    const QJsonObject profile{{QStringLiteral("status_text"), text}};
    return QJsonDocument(
               QJsonObject{{QStringLiteral("ok"), true}, {QStringLiteral("profile"), profile}})
        .toJson(QJsonDocument::Compact);
}

QByteArray emojiList(bool withSpotify) {
    QJsonObject emoji{{QStringLiteral("party"), QStringLiteral("https://emoji/party.png")}};
    if (withSpotify) emoji.insert(QStringLiteral("spotify"), QStringLiteral("alias:green"));
    return QJsonDocument(
               QJsonObject{{QStringLiteral("ok"), true}, {QStringLiteral("emoji"), emoji}})
        .toJson(QJsonDocument::Compact);
}

}  // namespace

class SyncTest : public QObject {
    Q_OBJECT

  private:
    PrivateBus bus_;
    FakeSlack slack_;
    std::unique_ptr<FakeSpotify> spotify_;
    QTemporaryDir dir_;
    QString settingsPath_;
    FakeClock* clock_ = nullptr;
    std::unique_ptr<AppDelegate> app_;

    // Starts a delegate on a settings file holding `settings` (by default, only a token).
    void start(QJsonObject settings = {{QStringLiteral("slackToken"), QStringLiteral("xoxp-1")}}) {
        QFile file(settingsPath_);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QJsonDocument(settings).toJson());
        file.close();
        auto clock = std::make_unique<FakeClock>(MORNING);
        clock_ = clock.get();
        AppDelegate::Environment environment = AppDelegate::systemEnvironment();
        environment.configPath = settingsPath_;
        environment.clock = std::move(clock);
        environment.spotify = std::make_unique<platform::MprisSpotify>();
        app_ = std::make_unique<AppDelegate>(std::move(environment));
    }

    // Runs one sync step on a worker, serving the main thread meanwhile, and lets the work it
    // handed to the main thread (saves, notifications) finish.
    void step() {
        QEventLoop loop;
        std::thread worker([&] {
            app_->tick();
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
        loop.exec();
        worker.join();
    }

    // Waits for the next notification to the user interface.
    bool notified(QSignalSpy& spy) { return spy.wait(15'000); }

    void checkEmoji() {
        QSignalSpy spy(app_.get(), &AppDelegate::tickNotification);
        app_->checkEmojiAsync();
        QVERIFY(notified(spy));
    }

    void slackShows(const QString& text) {
        slack_.script(QStringLiteral("users.profile.get"), profileShowing(text));
    }

    QList<QJsonObject> profilesSent() const {
        QList<QJsonObject> profiles;
        for (const FakeSlack::Request& request :
             slack_.requests(QStringLiteral("users.profile.set"))) {
            profiles +=
                QJsonDocument::fromJson(request.formValue(QStringLiteral("profile")).toUtf8())
                    .object();
        }
        return profiles;
    }

    QJsonObject clearing() const {
        return {{QStringLiteral("status_text"), QString()},
                {QStringLiteral("status_emoji"), QString()},
                {QStringLiteral("status_expiration"), 0}};
    }

    QJsonObject track(const QString& text,
                      const QString& emoji = QStringLiteral(":musical_note:")) {
        return {{QStringLiteral("status_text"), text},
                {QStringLiteral("status_emoji"), emoji},
                {QStringLiteral("status_expiration"), clock_->now().toSecsSinceEpoch() + 300}};
    }

    QString desktopEntryPath() const {
        return dir_.filePath(QStringLiteral("data/applications/spotify.desktop"));
    }

    QString storedLastSetText() const { return Config(settingsPath_).lastSetText(); }

    // Plays the track and lets one step put it on Slack.
    void showTrack() {
        step();
        QCOMPARE(app_->lastSetText(), QStringLiteral("Song — Band"));
        slackShows(QStringLiteral("Song — Band"));
        slack_.script(QStringLiteral("users.profile.set"), OK);
    }

  private slots:
    void initTestCase() {
        QVERIFY(bus_.isRunning());
        slack_.useForSlack();
        settingsPath_ = dir_.filePath(QStringLiteral(".trackglint-mac.json"));
        // Spotify is installed (as a desktop entry) unless a test removes it.
        qputenv("XDG_DATA_HOME", dir_.filePath(QStringLiteral("data")).toUtf8());
        qputenv("XDG_DATA_DIRS", dir_.filePath(QStringLiteral("data")).toUtf8());
        qputenv("PATH", "/usr/bin:/bin");
        QVERIFY(QDir().mkpath(dir_.filePath(QStringLiteral("data/applications"))));
        spotify_ = std::make_unique<FakeSpotify>(bus_.address());
    }
    void cleanupTestCase() { spotify_.reset(); }

    void init() {
        QFile entry(desktopEntryPath());
        QVERIFY(entry.open(QIODevice::WriteOnly));
        entry.write("[Desktop Entry]\nType=Application\nName=Spotify\nExec=spotify\n");
        entry.close();
        slack_.reset();
        slackShows(QString());
        slack_.script(QStringLiteral("users.profile.set"), OK);
        slack_.script(QStringLiteral("emoji.list"), emojiList(false));
        QVERIFY(spotify_->run());
        spotify_->play(QStringLiteral("Song"), {QStringLiteral("Band")});
    }
    void cleanup() { app_.reset(); }

    void withoutATokenNothingIsAskedOrSent() {
        start({});
        QSignalSpy spy(app_.get(), &AppDelegate::tickNotification);
        step();
        QCOMPARE(spy.count(), 1);
        QCOMPARE(slack_.requests().size(), 0);
        QCOMPARE(app_->nowPlayingLabel(), QStringLiteral("…"));
        QCOMPARE(app_->lastError(), std::nullopt);
    }

    void aPlayingTrackIsSetWhenSlackShowsNothing() {
        start();
        step();
        QCOMPARE(profilesSent(), QList<QJsonObject>{track(QStringLiteral("Song — Band"))});
        QCOMPARE(slack_.requests().value(0).headers.value("authorization"),
                 QByteArray("Bearer xoxp-1"));
        QCOMPARE(app_->nowPlayingLabel(), QStringLiteral("▶ Song — Band"));
        QCOMPARE(app_->lastError(), std::nullopt);
        QCOMPARE(app_->lastSetText(), QStringLiteral("Song — Band"));
        QCOMPARE(storedLastSetText(), QStringLiteral("Song — Band"));
    }

    void theSameTrackIsRenewedOnEveryStep() {
        start();
        showTrack();
        clock_->set(MORNING.addSecs(15));
        step();
        QCOMPARE(profilesSent().size(), 2);
        QCOMPARE(profilesSent().value(1), track(QStringLiteral("Song — Band")));
        QCOMPARE(app_->lastSetText(), QStringLiteral("Song — Band"));
    }

    void aNewTrackReplacesTheProgramsOwn() {
        start();
        showTrack();
        spotify_->play(QStringLiteral("Next"), {QStringLiteral("Band"), QStringLiteral("Guest")},
                       QStringLiteral("track"), FakeSpotify::IdForm::ObjectPath);
        step();
        QCOMPARE(profilesSent().value(1), track(QStringLiteral("Next — Band, Guest")));
        QCOMPARE(storedLastSetText(), QStringLiteral("Next — Band, Guest"));
    }

    void theUsersOwnStatusIsLeftAloneUntilCleared() {
        start();
        slack_.script(QStringLiteral("users.profile.get"), {{200, NOT_JSON}});
        step();
        slackShows(QStringLiteral("In a meeting"));
        step();
        QCOMPARE(profilesSent(), QList<QJsonObject>());
        QCOMPARE(app_->nowPlayingLabel(), QStringLiteral("▶ Song — Band"));
        QCOMPARE(app_->lastError(), QStringLiteral("Slack unreachable"));
        QCOMPARE(app_->lastSetText(), QString());
        slackShows(QString());
        step();
        QCOMPARE(profilesSent(), QList<QJsonObject>{track(QStringLiteral("Song — Band"))});
        QCOMPARE(app_->lastError(), std::nullopt);
    }

    void whenTheMusicStopsTheProgramsStatusIsCleared_data() {
        QTest::addColumn<QString>("player");
        QTest::addColumn<QString>("slackText");
        QTest::addColumn<QString>("label");
        const QString own = QStringLiteral("Song — Band");
        const QString nothing = QStringLiteral("nothing playing");
        QTest::newRow("paused") << "pause" << own << nothing;
        QTest::newRow("stopped") << "stop" << own << nothing;
        QTest::newRow("quit") << "quit" << own << nothing;
        QTest::newRow("podcast") << "podcast" << own
                                 << QStringLiteral("🎙 podcast (never shared)");
        QTest::newRow("paused, Slack already empty") << "pause" << QString() << nothing;
    }
    void whenTheMusicStopsTheProgramsStatusIsCleared() {
        QFETCH(QString, player);
        QFETCH(QString, slackText);
        QFETCH(QString, label);
        start();
        showTrack();
        slackShows(slackText);
        if (player == "pause") spotify_->pause();
        if (player == "stop") spotify_->stop();
        if (player == "quit") spotify_->quit();
        if (player == "podcast") spotify_->play("Talk", {"Show"}, "episode");
        step();
        QCOMPARE(profilesSent().value(1), clearing());
        QCOMPARE(app_->nowPlayingLabel(), label);
        QCOMPARE(app_->lastSetText(), QString());
        QCOMPARE(storedLastSetText(), QString());
        step();
        QCOMPARE(profilesSent().size(), 2);  // nothing more to clear
    }

    void withNothingPlayingTheUsersOwnStatusStays() {
        start();
        showTrack();
        slackShows(QStringLiteral("Lunch"));
        spotify_->pause();
        step();
        QCOMPARE(profilesSent().size(), 1);
        QCOMPARE(app_->lastSetText(), QStringLiteral("Song — Band"));
    }

    void anUnreadablePlayerChangesNothingOnSlack_data() {
        QTest::addColumn<bool>("installed");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("errorStart");
        QTest::newRow("not installed")
            << false << QStringLiteral("⬇ Install the Spotify app")
            << QStringLiteral(
                   "Trackglint needs the Spotify desktop app (www.spotify.com/download). "
                   "After installing, open Spotify once, then quit and reopen "
                   "Trackglint.");
        QTest::newRow("no answer") << true << QStringLiteral("⚠️ can't read Spotify")
                                   << QStringLiteral("Can't read Spotify (No such object path");
    }
    void anUnreadablePlayerChangesNothingOnSlack() {
        QFETCH(bool, installed);
        QFETCH(QString, label);
        QFETCH(QString, errorStart);
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
        QCOMPARE(app_->nowPlayingLabel(), label);
        QVERIFY2(app_->lastError().value_or("").startsWith(errorStart),
                 qPrintable(app_->lastError().value_or("(none)")));
        if (installed) {
            QVERIFY(
                app_->lastError()->endsWith("). If you just installed Spotify, open it once, then "
                                            "quit and reopen Trackglint."));
        }
        QCOMPARE(app_->lastSetText(), QStringLiteral("Song — Band"));
    }

    void slackFailuresAreShown_data() {
        QTest::addColumn<QString>("failing");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("error");
        QTest::newRow("status unreadable")
            << "users.profile.get" << 502 << NOT_JSON << QStringLiteral("Slack unreachable");
        QTest::newRow("set rejected")
            << "users.profile.set" << 200 << QByteArray(R"({"ok":false,"error":"invalid_auth"})")
            << QStringLiteral("Slack: invalid_auth");
        QTest::newRow("set rejected without a code")
            << "users.profile.set" << 200 << QByteArray(R"({"ok":false})")
            << QStringLiteral("Slack: ?");
        QTest::newRow("set lost") << "users.profile.set" << 502 << NOT_JSON
                                  << QStringLiteral("Slack: network");
    }
    void slackFailuresAreShown() {
        QFETCH(QString, failing);
        QFETCH(int, status);
        QFETCH(QByteArray, reply);
        QFETCH(QString, error);
        start();
        slack_.script(failing, {{status, reply}});
        step();
        QCOMPARE(app_->lastError(), error);
        QCOMPARE(app_->lastSetText(), QString());
        QCOMPARE(storedLastSetText(), QString());
    }

    void aFailedClearKeepsTheTextToTryAgain() {
        start();
        showTrack();
        spotify_->pause();
        slack_.script(QStringLiteral("users.profile.set"),
                      R"({"ok":false,"error":"profile_set_failed"})");
        step();
        QCOMPARE(app_->lastError(), QStringLiteral("Slack: profile_set_failed"));
        QCOMPARE(app_->lastSetText(), QStringLiteral("Song — Band"));
        slack_.script(QStringLiteral("users.profile.set"), OK);
        step();
        QCOMPARE(profilesSent().value(2), clearing());
        QCOMPARE(app_->lastError(), std::nullopt);
    }

    void aRateLimitFailsQuietly() {
        start();
        slack_.script(QStringLiteral("users.profile.get"), {{502, NOT_JSON}});
        step();
        slackShows(QString());
        slack_.script(QStringLiteral("users.profile.set"),
                      {{429, R"({"ok":false,"error":"ratelimited"})"}});
        step();
        QCOMPARE(app_->lastError(), QStringLiteral("Slack unreachable"));
        QCOMPARE(app_->lastSetText(), QString());
        slack_.script(QStringLiteral("users.profile.set"), OK);
        step();
        QCOMPARE(app_->lastError(), std::nullopt);
        QCOMPARE(app_->lastSetText(), QStringLiteral("Song — Band"));
    }

    void pausingClearsTheProgramsStatusAndForgetsIt() {
        start();
        showTrack();
        QSignalSpy spy(app_.get(), &AppDelegate::tickNotification);
        app_->togglePause();
        QVERIFY(notified(spy));
        QCOMPARE(Config(settingsPath_).paused(), true);
        QCOMPARE(profilesSent().value(1), clearing());
        QCOMPARE(app_->lastSetText(), QString());
        QCOMPARE(storedLastSetText(), QString());
        QCOMPARE(app_->nowPlayingLabel(), QStringLiteral("▶ Song — Band"));
        const qsizetype before = slack_.requests().size();
        step();
        QCOMPARE(slack_.requests().size(), before);  // paused and nothing of ours left
    }

    void pausingForgetsTheTextEvenWhenNothingIsCleared_data() {
        QTest::addColumn<QList<FakeSlack::Reply>>("statusReply");
        QTest::newRow("user's own status")
            << QList<FakeSlack::Reply>{{200, profileShowing("Lunch")}};
        QTest::newRow("Slack unreachable") << QList<FakeSlack::Reply>{{502, NOT_JSON}};
    }
    void pausingForgetsTheTextEvenWhenNothingIsCleared() {
        QFETCH(QList<FakeSlack::Reply>, statusReply);
        start();
        showTrack();
        slack_.script(QStringLiteral("users.profile.get"), statusReply);
        app_->config().setValue(QStringLiteral("paused"), true);
        step();
        QCOMPARE(profilesSent().size(), 1);
        QCOMPARE(app_->lastSetText(), QString());
        QCOMPARE(storedLastSetText(), QString());
    }

    void outsideWorkHoursIsLikePaused() {
        start({{QStringLiteral("slackToken"), QStringLiteral("xoxp-1")},
               {QStringLiteral("workHours"), QJsonObject{{QStringLiteral("enabled"), true}}}});
        clock_->set(QDateTime(MORNING.date(), QTime(16, 59, 45)));
        showTrack();
        clock_->set(QDateTime(MORNING.date(), QTime(17, 0)));
        step();
        QCOMPARE(profilesSent().value(1), clearing());
        QCOMPARE(app_->lastSetText(), QString());
    }

    void aLongStatusIsRememberedAsSlackKeepsIt() {
        start();
        const QString title = QString(60, u'é');
        spotify_->play(title, {QString(60, u'x')});
        step();
        const QString sent = (title + QStringLiteral(" — ") + QString(60, u'x')).left(100);
        QCOMPARE(profilesSent().value(0).value("status_text").toString(), sent);
        QCOMPARE(app_->lastSetText(), sent);
        slackShows(sent);
        step();
        QCOMPARE(profilesSent().size(), 2);  // recognised as ours, so renewed
    }

    void theEmojiFollowsTheChoiceAndTheWorkspace_data() {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QByteArray>("emojiReply");  // empty: no check made
        QTest::addColumn<QString>("emoji");
        const QByteArray has = emojiList(true), lacks = emojiList(false), none;
        const QByteArray fails = R"({"ok":false,"error":"missing_scope"})";
        QTest::newRow("no choice, unknown") << QString() << none << ":musical_note:";
        QTest::newRow("no choice, has") << QString() << has << ":spotify:";
        QTest::newRow("no choice, check failed") << QString() << fails << ":musical_note:";
        QTest::newRow(":spotify:, unknown") << ":spotify:" << none << ":spotify:";
        QTest::newRow(":spotify:, lacks") << ":spotify:" << lacks << ":musical_note:";
        QTest::newRow(":spotify:, has") << ":spotify:" << has << ":spotify:";
        QTest::newRow(":guitar:, lacks") << ":guitar:" << lacks << ":guitar:";
        QTest::newRow(":guitar:, has") << ":guitar:" << has << ":guitar:";
        QTest::newRow("unlisted, has") << ":parrot:" << has << ":spotify:";
        QTest::newRow("unlisted, unknown") << ":parrot:" << none << ":musical_note:";
    }
    void theEmojiFollowsTheChoiceAndTheWorkspace() {
        QFETCH(QString, chosen);
        QFETCH(QByteArray, emojiReply);
        QFETCH(QString, emoji);
        QJsonObject settings{{QStringLiteral("slackToken"), QStringLiteral("xoxp-1")}};
        if (!chosen.isEmpty()) settings.insert(QStringLiteral("emoji"), chosen);
        start(settings);
        if (!emojiReply.isEmpty()) {
            slack_.script(QStringLiteral("emoji.list"), emojiReply);
            checkEmoji();
        }
        QCOMPARE(app_->effectiveEmoji(), emoji);
        step();
        QCOMPARE(profilesSent().value(0).value("status_emoji").toString(), emoji);
    }

    void anEmojiAddedWhileRunningIsNoticed() {
        start();
        checkEmoji();
        QCOMPARE(app_->spotifyEmojiAvailable(), false);
        slack_.script(QStringLiteral("emoji.list"), emojiList(true));
        QSignalSpy spy(app_.get(), &AppDelegate::tickNotification);
        step();  // completes while the workspace is known to lack it: checks again
        QTRY_COMPARE(app_->spotifyEmojiAvailable(), true);
        step();
        QCOMPARE(profilesSent().value(1).value("status_emoji").toString(), ":spotify:");
    }

    void anEmojiCheckNeedsAToken() {
        start({});
        app_->checkEmojiAsync();
        QTest::qWait(300);
        QCOMPARE(slack_.requests().size(), 0);
        QCOMPARE(app_->spotifyEmojiAvailable(), std::nullopt);
    }

    void requestsDuringAStepBecomeOneMoreStep() {
        start();
        slack_.script(QStringLiteral("users.profile.get"), {{200, profileShowing(""), 800}});
        for (int i = 0; i < 5; ++i) app_->tickAsync();
        QTRY_COMPARE(slack_.requests("users.profile.get").size(), 1);
        for (int i = 0; i < 5; ++i) app_->tickAsync();
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
        slack_.script(QStringLiteral("users.profile.get"), {{200, profileShowing(""), 500}});
        app_->tickAsync();
        QTRY_COMPARE(slack_.requests("users.profile.get").size(), 1);
        app_->tickAsync();
        app_->stopSync();
        app_->tickAsync();
        QTest::qWait(800);
        QCOMPARE(slack_.requests("users.profile.get").size(), 1);
    }
};

QTEST_GUILESS_MAIN(SyncTest)
#include "tst_sync.moc"
