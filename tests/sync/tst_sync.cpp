#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <thread>

#include "FakeClock.h"
#include "FakeSlack.h"
#include "FakeSpotify.h"
#include "PrivateBus.h"
#include "TestFiles.h"
#include "platform/linux/MprisPlayers.h"
#include "slack/SlackClient.h"
#include "sync/SyncEngine.h"
#include "sync/WorkspaceLines.h"

namespace {

const QDateTime MORNING(QDate(2026, 12, 7), QTime(10, 0));
const QByteArray OK = R"({"ok":true})";
const QJsonObject SIGNED_IN{{"slackToken", "xoxp-1"}};
const QByteArray NOT_JSON = "<html>502 Bad Gateway</html>";
const QString SONG = QStringLiteral("Song — Band");

const QJsonObject CLEARING{{"status_text", ""}, {"status_emoji", ""}, {"status_expiration", 0}};
const QJsonObject TWO_WORKSPACES{
    {"slackToken", "xoxp-1"},
    {"teamUrl", "https://acme.slack.com/"},
    {"slackTeamId", "T1"},
    {"moreWorkspaces", QJsonArray{QJsonObject{{"slackToken", "xoxp-2"},
                                              {"teamUrl", "https://builders.slack.com/"},
                                              {"slackTeamId", "T2"},
                                              {"slackTeamName", "Builders"}}}}};

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
    std::unique_ptr<platform::MprisPlayers> bridge_;
    std::unique_ptr<Config> config_;
    std::unique_ptr<AppState> state_;
    std::unique_ptr<SlackClient> client_;
    std::unique_ptr<SyncEngine> engine_;

    void start(const QJsonObject& settings = SIGNED_IN) {
        QVERIFY(writeSettings(settingsPath_, settings));
        engine_.reset();
        config_ = std::make_unique<Config>(settingsPath_);
        state_ = std::make_unique<AppState>();
        client_ = std::make_unique<SlackClient>(clock_);
        engine_ = std::make_unique<SyncEngine>(*config_, *state_, *client_, clock_, *bridge_);
    }
    // Each status change sent, as the token that sent it and the text it set.
    QByteArrayList setsBy() const {
        QByteArrayList tokens;
        for (const FakeSlack::Request& set : slack_.requests("users.profile.set"))
            tokens += set.token() + ' ' +
                      QJsonDocument::fromJson(set.formValue("profile").toUtf8())
                          .object()
                          .value("status_text")
                          .toString()
                          .toUtf8();
        return tokens;
    }
    void advance(qint64 seconds) { clock_.set(clock_.now().addSecs(seconds)); }
    // The Slack methods called since the last look, "get", "set" or "emoji.list".
    QStringList calls() {
        QStringList names;
        const QList<FakeSlack::Request> all = slack_.requests();
        for (qsizetype i = seen_; i < all.size(); ++i)
            names += all[i].path.mid(5).remove(QStringLiteral("users.profile."));
        seen_ = all.size();
        return names;
    }
    qsizetype seen_ = 0;

    using Kind = WorkspaceState::Kind;
    using Kinds = QHash<QString, Kind>;
    // The first line, as the menu shows it.
    QString line() const { return firstLine(*state_, false); }
    // What each workspace shows, without the reasons.
    Kinds kinds() const {
        Kinds kinds;
        const QHash<QString, WorkspaceState> states = state_->workspaceStates();
        for (auto it = states.cbegin(); it != states.cend(); ++it) kinds[it.key()] = it->kind;
        return kinds;
    }

    // One sync step on a worker, serving the main thread meanwhile, and the work it handed it:
    // every workspace's step included.
    void step() {
        QEventLoop loop;
        std::thread worker([&] {
            engine_->tick();
            engine_->finishSteps();
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
        QCOMPARE(config_->lastSetText(), SONG);
        slack_.shows(SONG);
    }

  private slots:
    void initTestCase() {
        QVERIFY(bus_.isRunning());
        slack_.useForSlack();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        settingsPath_ = dir_.filePath(".trackglint-mac.json");
        qputenv("XDG_DATA_HOME", dir_.filePath("data").toUtf8());
        qputenv("XDG_DATA_DIRS", dir_.filePath("data").toUtf8());
        qputenv("PATH", "/usr/bin:/bin");
        QVERIFY(QDir().mkpath(dir_.filePath("data/applications")));
        spotify_ = std::make_unique<FakeSpotify>(bus_.address());
        bridge_ = std::make_unique<platform::MprisPlayers>();
    }
    void cleanupTestCase() { spotify_.reset(); }

    void init() {
        QFile entry(desktopEntryPath());  // Spotify is installed unless a test removes it
        QVERIFY(entry.open(QIODevice::WriteOnly) &&
                entry.write("[Desktop Entry]\nType=Application\nName=Spotify\nExec=spotify\n") > 0);
        slack_.reset();
        slack_.shows(QString());
        slack_.script("users.profile.set", OK);
        slack_.script("emoji.list",
                      "{\"ok\":true,\"emoji\":{\"party\":\"https://emoji/party.png\"}}");
        QVERIFY(spotify_->run());
        spotify_->setLength(std::nullopt);  // the status lasts five minutes unless a test says
        spotify_->play("Song", {"Band"});
        clock_.set(MORNING);
        seen_ = 0;
    }
    void cleanup() { engine_.reset(); }

    // Slack hears of a track when it changes what Slack shows: set once the user's own status
    // is gone, read every 90 s, renewed before it expires, replaced by the next track.
    // Each kind of change is announced once it is one: a step that finds nothing new announces
    // nothing. What went wrong elsewhere outlives a step that went well.
    void theStateAnnouncesOnlyWhatChanged() {
        start();
        showTrack();
        advance(15);
        step();  // by now the player's name, which its bus gives later, is known too
        QCoreApplication::processEvents();
        QSignalSpy player(state_.get(), &AppState::playerChanged);
        QSignalSpy workspaces(state_.get(), &AppState::workspacesChanged);
        QSignalSpy troubles(state_.get(), &AppState::troubleChanged);
        state_->setTrouble(AppState::Trouble::Settings, "Couldn't save your settings: disk full");
        state_->setTrouble(AppState::Trouble::Slack, std::nullopt);
        advance(15);
        step();
        QCoreApplication::processEvents();
        QCOMPARE(QList({player.size(), workspaces.size(), troubles.size()}),
                 QList<qsizetype>({0, 0, 1}));
        QCOMPARE(state_->lastError(), "Couldn't save your settings: disk full");
        slack_.shows("In a meeting");
        spotify_->play("Next", {"Band"});
        step();
        QCoreApplication::processEvents();
        QVERIFY(!player.isEmpty());  // the new track, in one announcement or more
        QCOMPARE(QList({workspaces.size(), troubles.size()}), QList<qsizetype>({1, 1}));
        QCOMPARE(line(), "💬 your own status shows: “In a meeting”");
    }

    // Where the player tells the track's length and position, the status ends with the track.
    void aStatusEndsWithItsTrack() {
        start();
        spotify_->setLength(215'000'000);  // 15 s in
        spotify_->play("Song", {"Band"});
        step();
        QCOMPARE(slack_.profilesSent().value(0).value("status_expiration").toInteger(),
                 clock_.now().toSecsSinceEpoch() + 200);
    }

    void aTrackIsSetThenOnlyReadAndRenewedUntilTheNextOne() {
        start();
        slack_.shows("In a meeting");
        step();
        QCOMPARE(calls(), QStringList{"get"});
        QCOMPARE(line(), "💬 your own status shows: “In a meeting”");
        step();  // the user's own status is read again only 90 s later
        QCOMPARE(line(), "💬 your own status shows: “In a meeting”");
        advance(90);
        slack_.shows(QString());
        showTrack();
        QCOMPARE(calls(), QStringList({"get", "set"}));
        QCOMPARE(slack_.requests().value(0).headers.value("authorization"), "Bearer xoxp-1");
        QCOMPARE(slack_.profilesSent(), QList<QJsonObject>{track(SONG)});
        for (const qint64 seconds : {15, 15, 30, 60, 60}) {  // 3 minutes on: read to renew only
            advance(seconds);
            step();
        }
        QCOMPARE(calls(), QStringList({"get", "set"}));
        QCOMPARE(slack_.profilesSent().last(), track(SONG));  // renewed before it expires
        spotify_->play("Next", {"Band", "Guest"});
        step();
        QCOMPARE(calls(), QStringList({"get", "set"}));
        QCOMPARE(stored(), QStringLiteral("Next — Band, Guest"));
        slack_.shows(QString());  // the user cleared it: the music comes back with the next track
        advance(60);
        step();
        QCOMPARE(calls(), QStringList());
        spotify_->play(QString(60, u'é'), {QString(60, u'x')});  // too long: Slack keeps 100
        step();
        const QString sent = (QString(60, u'é') + " — " + QString(60, u'x')).left(100);
        QCOMPARE(slack_.profilesSent().last().value("status_text").toString(), sent);
        QCOMPARE(config_->lastSetText(), sent);
        spotify_->play("Solo", {""});  // no artist: the title alone
        step();
        QCOMPARE(slack_.profilesSent().last().value("status_text").toString(), "Solo");
        QCOMPARE(line(), "▶ Solo");
    }

    // Slack shows the program's text escaped, or applied a set the program had stopped
    // waiting for: either way it is the program's own, not the user's.
    void theProgramKnowsItsOwnStatusAsSlackShowsIt() {
        spotify_->play("Rock & Roll", {"Simon <3 Garfunkel"});
        start();
        slack_.script("users.profile.set", {{200, OK, 11'000}, {200, OK}});
        step();
        QCOMPARE(state_->lastError(), "Slack unreachable");
        QCOMPARE(config_->lastSetText(), QString());
        slack_.shows("Rock &amp; Roll — Simon &lt;3 Garfunkel");  // applied late, escaped
        advance(15);
        step();
        QCOMPARE(state_->lastError(), std::nullopt);
        QCOMPARE(config_->lastSetText(), "Rock & Roll — Simon <3 Garfunkel");
        advance(200);
        calls();
        step();
        QCOMPARE(calls(), QStringList({"get", "set"}));  // still ours: renewed
    }

    // Slack finds a text too long: it is shortened once, and a refused one is not sent again.
    void aTextTooLongIsShortenedOnce() {
        spotify_->play(QString(30, u'&'), {"Band"});
        start();
        slack_.script("users.profile.set",
                      {{200, R"({"ok":false,"error":"too_long"})"}, {200, OK}});
        step();
        const QList<QJsonObject> sent = slack_.profilesSent();
        QCOMPARE(sent.size(), 2);
        QCOMPARE(sent[1].value("status_text").toString(), QString(20, u'&'));  // 20 × "&amp;"
        QCOMPARE(config_->lastSetText(), QString(20, u'&'));
        spotify_->play("Other", {"Band"});
        slack_.script("users.profile.set", R"({"ok":false,"error":"too_long"})");
        step();
        step();
        QCOMPARE(slack_.requests("users.profile.set").size(), 3);  // refused: never resent
        QCOMPARE(state_->lastError(), "Slack: too_long");
    }

    // The user's format makes the text, cut to what Slack keeps and known as the program's own
    // once Slack has escaped it; the now-playing line reads the same.
    void theUsersFormatIsShared_data() {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("sent");
        QTest::newRow("fields") << "{artist} & co: {title}"
                                << "Song"
                                << "Band & co: Song";
        QTest::newRow("cut") << "♪ {title}" << QString(120, u'x') << "♪ " + QString(98, u'x');
    }
    void theUsersFormatIsShared() {
        QFETCH(QString, format);
        QFETCH(QString, title);
        QFETCH(QString, sent);
        spotify_->play(title, {"Band"});
        start({{"slackToken", "xoxp-1"}, {"statusFormat", format}});
        step();
        QCOMPARE(slack_.profilesSent(), QList<QJsonObject>{track(sent)});
        QCOMPARE(state_->nowPlayingLabel(),
                 "▶ " + format.replace("{title}", title).replace("{artist}", "Band"));
        slack_.shows(QString(sent).replace("&", "&amp;"));
        advance(200);  // the renewal reads it first, and knows it for its own
        calls();
        step();
        QCOMPARE(calls(), QStringList({"get", "set"}));
    }

    // Stopping, pausing, a private artist or the end of work hours takes down the program's own
    // status, never the user's; an unreadable player changes nothing. A row's name, up to any
    // comma, says what stops.
    void whenSharingStopsOnlyTheProgramsStatusIsCleared_data() {
        QTest::addColumn<QString>("slackShows");  // "502": Slack can't be read
        QTest::addColumn<QString>("label");
        QTest::addColumn<bool>("cleared");
        QTest::addColumn<bool>("forgotten");
        const QString nothing = QStringLiteral("nothing playing"), paused("⏸ paused");
        QTest::newRow("player paused") << SONG << nothing << true << true;
        QTest::newRow("player stopped") << SONG << nothing << true << true;
        QTest::newRow("player quit") << SONG << "Spotify isn't running" << true << true;
        QTest::newRow("podcast") << SONG << "🎙 podcast (never shared)" << true << true;
        QTest::newRow("another player plays")
            << SONG << "mpv is playing — not shared (Share From…)" << true << true;
        QTest::newRow("private artist") << SONG << "🔒 BAND is kept private" << true << true;
        QTest::newRow("player paused, Slack already empty") << "" << nothing << false << true;
        QTest::newRow("player paused, user's own status") << "Lunch" << nothing << false << true;
        QTest::newRow("sync paused") << SONG << paused << true << true;
        QTest::newRow("after hours")
            << SONG << "🌙 outside work hours, until 9:00 AM" << true << true;
        QTest::newRow("sync paused, user's own status") << "Lunch" << paused << false << true;
        QTest::newRow("sync paused, Slack unreachable") << "502" << paused << false << true;
        QTest::newRow("not installed") << SONG << "⬇ Install the Spotify app" << false << false;
        QTest::newRow("no answer") << SONG << "⚠️ can't read Spotify" << false << false;
    }
    void whenSharingStopsOnlyTheProgramsStatusIsCleared() {
        const QString why = QString(QTest::currentDataTag()).section(u',', 0, 0);
        QFETCH(QString, slackShows);
        QFETCH(QString, label);
        QFETCH(bool, cleared);
        QFETCH(bool, forgotten);
        start({{"slackToken", "xoxp-1"}, {"workHours", QJsonObject{{"enabled", true}}}});
        clock_.set(QDateTime(MORNING.date(), QTime(16, 59, 45)));
        showTrack();
        const FakeSlack::Reply showing{200, FakeSlack::profileShowing(slackShows)};
        slack_.script("users.profile.get",
                      {slackShows == "502" ? FakeSlack::Reply{502, NOT_JSON} : showing});
        if (why == "player paused") spotify_->pause();
        if (why == "player stopped") spotify_->stop();
        if (why == "player quit" || why == "not installed" || why == "no answer") spotify_->quit();
        if (why == "not installed") QVERIFY(QFile::remove(desktopEntryPath()));
        FakeSpotify broken(bus_.address());
        if (why == "no answer") QVERIFY(broken.run());
        if (why == "no answer") broken.breakPlayer();
        if (why == "podcast") spotify_->play("Talk", {"Show"}, "/com/spotify/episode/1");
        FakeSpotify mpv(bus_.address(), "mpv");
        if (why == "another player plays") {
            spotify_->pause();
            QVERIFY(mpv.run());
            mpv.play("Film", {"Crew"});
        }
        if (why == "private artist") {  // any artist of the track, written any way
            config_->setPrivateArtists({" band"});
            spotify_->play("Duet", {"Guest", "BAND"});
        }
        QSignalSpy stepped(engine_.get(), &SyncEngine::stepped);
        if (why == "sync paused") {  // as the pause action does
            config_->setPaused(true);
            QCOMPARE(config_->save(), std::nullopt);
            engine_->tickAsync();
        }
        if (why == "after hours") clock_.set(QDateTime(MORNING.date(), QTime(17, 0)));
        if (why != "sync paused") step();
        QTRY_VERIFY_WITH_TIMEOUT(!stepped.isEmpty(), 15'000);
        engine_->finishSteps();  // the workspace's part of that step too
        QCOMPARE(Config(settingsPath_).paused(), why == "sync paused");
        const qsizetype before = slack_.requests().size();
        step();  // nothing more to clear: Slack isn't even asked
        QCOMPARE(slack_.requests().size(), before);
        QCOMPARE(slack_.profilesSent().size(), cleared ? 2 : 1);
        if (cleared) QCOMPARE(slack_.profilesSent().value(1), CLEARING);
        QCOMPARE(line(), label);
        QCOMPARE(state_->workspaceStates().value("").kind, WorkspaceState::Kind::NotSharing);
        QCOMPARE(config_->lastSetText(), forgotten ? QString() : SONG);
        QCOMPARE(stored(), forgotten ? QString() : SONG);
        const QString error = state_->lastError().value_or("(none)");
        if (why == "not installed")
            QCOMPARE(error,
                     "Trackglint needs the Spotify desktop app (www.spotify.com/download). "
                     "After installing, open Spotify once, then quit and reopen Trackglint.");
        if (why == "no answer")  // the bus's own message in the brackets
            QVERIFY2(error.startsWith("Can't read Spotify (No such object path") &&
                         error.endsWith("). If you just installed Spotify, open it once, then "
                                        "quit and reopen Trackglint."),
                     qPrintable(error));
        if (why == "private artist") {  // another artist is shared
            spotify_->play("Solo", {"Guest"});
            step();
            QCOMPARE(config_->lastSetText(), "Solo — Guest");
        }
        if (why != "not installed" && why != "no answer") return;
        QCOMPARE(slack_.requests().size(), 2);  // only the first step's
        broken.quit();
        init();  // the player reads fine again: its error goes
        step();
        QCOMPARE(state_->lastError(), std::nullopt);
    }

    void slackFailuresAreShownAndRetried_data() {
        QTest::addColumn<QString>("failing");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("error");
        const auto row = [](const char* name, const char* failing, int status,
                            const QByteArray& reply, const char* error) {
            QTest::newRow(name) << "users.profile." + QString(failing) << status << reply
                                << QString(error);
        };
        row("status unreadable", "get", 200, NOT_JSON, "Slack unreachable");
        row("Slack in trouble", "get", 503, NOT_JSON, "Slack is having trouble (HTTP 503)");
        row("set rejected", "set", 200, R"({"ok":false,"error":"invalid_profile"})",
            "Slack: invalid_profile");
        row("set rejected without a code", "set", 200, R"({"ok":false})", "Slack: ?");
        row("set lost", "set", 502, NOT_JSON, "Slack is having trouble (HTTP 502)");
        row("missing permission", "set", 200,
            R"({"ok":false,"error":"missing_scope","needed":"users.profile:write"})",
            "Slack: missing permission users.profile:write — sign in again");
        row("clear rejected", "set", 200, R"({"ok":false,"error":"profile_set_failed"})",
            "Slack: profile_set_failed");
    }
    void slackFailuresAreShownAndRetried() {
        const bool clearing = QByteArray(QTest::currentDataTag()).startsWith("clear");  // else set
        QFETCH(QString, failing);
        QFETCH(int, status);
        QFETCH(QByteArray, reply);
        QFETCH(QString, error);
        start();
        if (clearing) showTrack();
        if (clearing) spotify_->pause();
        slack_.script(failing, {{status, reply}});
        step();
        QCOMPARE(state_->lastError(), error);
        QCOMPARE(line(), "⚠️ " + error);  // why nothing is shared
        QCOMPARE(config_->lastSetText(), clearing ? SONG : QString());
        QCOMPARE(stored(), clearing ? SONG : QString());
        slack_.script(failing, failing.endsWith("get") ? FakeSlack::profileShowing("") : OK);
        const qsizetype sent = slack_.profilesSent().size();
        step();  // the next step tries again
        QCOMPARE(slack_.profilesSent().mid(sent),
                 QList<QJsonObject>{clearing ? CLEARING : track(SONG)});
        QCOMPARE(state_->lastError(), std::nullopt);
    }

    // Refused for rate, nothing goes to Slack until the time it named, a minute when none: not
    // even a second before.
    void aRefusalForRateIsWaitedOut_data() {
        QTest::addColumn<QByteArray>("retryAfter");  // empty: none
        QTest::addColumn<QString>("until");
        QTest::newRow("Retry-After") << QByteArray("150") << "10:02 AM";
        QTest::newRow("no Retry-After") << QByteArray() << "10:01 AM";
    }
    void aRefusalForRateIsWaitedOut() {
        QFETCH(QByteArray, retryAfter);
        QFETCH(QString, until);
        start();
        FakeSlack::Reply refusal{429, R"({"ok":false,"error":"ratelimited"})"};
        if (!retryAfter.isEmpty()) refusal.headers = {{"Retry-After", retryAfter}};
        slack_.script("users.profile.get", {refusal, {200, FakeSlack::profileShowing("")}});
        step();
        QCOMPARE(state_->lastError(), "Slack asked to wait — retrying at " + until);
        calls();
        const int wait = retryAfter.isEmpty() ? 60 : retryAfter.toInt();
        advance(59);
        step();
        QCOMPARE(calls(), QStringList());
        advance(wait - 60);  // a second before the time
        step();
        QCOMPARE(calls(), QStringList());
        advance(1);
        step();
        QCOMPARE(calls(), QStringList({"get", "set"}));
        QCOMPARE(state_->lastError(), std::nullopt);
    }

    // Skipping faster than Slack allows: ten changes a minute go out, then the newest waits for
    // the next free slot.
    void skippingSpendsTheBudgetThenSendsTheNewest() {
        start();
        slack_.setLimits({100, {}});  // the stand-in's minute is a real one; this one is not
        for (int skip = 0; skip < 12; ++skip) {
            spotify_->play(QString::number(skip), {"Band"});
            step();
            advance(2);
        }
        QCOMPARE(slack_.profilesSent().size(), SlackClient::PROFILE_WRITES_PER_MINUTE);
        QCOMPARE(state_->lastError(), "Slack asked to wait — retrying at 10:01 AM");
        advance(60 - 24);
        step();
        QCOMPARE(slack_.profilesSent().size(), 11);
        QCOMPARE(slack_.profilesSent().last().value("status_text"), "11 — Band");
    }

    // A token Slack refused for good is never sent again; whoever signs in hears of it.
    void aRejectedTokenIsNotUsedAgain() {
        start();
        slack_.revoke("xoxp-1");
        QSignalSpy rejected(client_.get(), &SlackClient::tokenRejected);
        step();
        QCOMPARE(rejected.size(), 1);
        QCOMPARE(rejected[0], QVariantList({"xoxp-1", "token_revoked"}));
        calls();
        advance(3600);
        step();
        QCOMPARE(calls(), QStringList());
    }

    void theEmojiCheckNeedsATokenAndComesNowAndThen() {
        start({});
        QSignalSpy spy(state_.get(), &AppState::offersChanged);
        step();
        engine_->checkEmojiAsync();
        QTest::qWait(300);
        QCOMPARE(spy.count(), 0);
        QCOMPARE(slack_.requests().size(), 0);
        QCOMPARE(line(), QStringLiteral("…"));
        QCOMPARE(state_->spotifyEmojiAvailable(), std::nullopt);
        start({{"slackToken", "xoxp-1"}, {"emoji", ":spotify:"}});
        QSignalSpy checked(state_.get(), &AppState::offersChanged);
        engine_->checkEmojiAsync();
        QVERIFY(checked.wait(15'000));
        QCOMPARE(state_->spotifyEmojiAvailable(), false);
        slack_.script("emoji.list", R"({"ok":true,"emoji":{"spotify":"alias:green"}})");
        // Half an hour later it asks again, in place of a minute's read rather than beside a
        // renewal.
        for (const qint64 seconds : {0, 60, 1740, 60}) {
            advance(seconds);
            step();
        }
        QTRY_COMPARE(slack_.requests("emoji.list").size(), 2);
        QTRY_COMPARE(state_->spotifyEmojiAvailable(), true);
        spotify_->play("Next", {"Band"});
        step();
        QCOMPARE(slack_.profilesSent().first().value("status_emoji").toString(), ":musical_note:");
        QCOMPARE(slack_.profilesSent().last().value("status_emoji").toString(), ":spotify:");
        slack_.script("emoji.list", R"({"ok":true,"emoji":{}})");  // and while the user adds it,
        engine_->checkEmojiAsync();                                // every minute
        QTRY_COMPARE(state_->spotifyEmojiAvailable(), false);
        engine_->watchForEmoji();
        advance(60);
        step();
        QTRY_COMPARE(slack_.requests("emoji.list").size(), 4);
    }

    // At launch, a workspace asked before keeps its last answer and is asked again later, so
    // that a team starting together does not ask at once; one never asked is asked at once, and
    // the answer is kept for the next launch until another sign-in.
    void theLaunchCheckAsksAtOnceOnlyAWorkspaceNeverAsked() {
        start({{"slackToken", "xoxp-1"}, {"teamUrl", "https://acme.slack.com/"}});
        engine_->checkEmojiAtLaunch();
        QTRY_COMPARE(slack_.requests("emoji.list").size(), 1);
        QTRY_COMPARE(Config(settingsPath_).spotifyEmojiFound(), false);
        start(Config(settingsPath_).raw());
        QCOMPARE(state_->spotifyEmojiAvailable(), false);
        engine_->checkEmojiAtLaunch();
        step();
        QTest::qWait(200);
        QCOMPARE(slack_.requests("emoji.list").size(), 1);
        config_->addWorkspace(Workspace::signedIn("xoxp-2", "Ada", "https://acme.slack.com/"));
        QCOMPARE(config_->workspaces().size(), 1);
        QCOMPARE(config_->spotifyEmojiFound(), std::nullopt);
    }

    // The launch's second look at :spotify: takes the place of a minute's read, so a steady track
    // still costs at most 4 calls in any 2 minutes; a look that gets no answer keeps the last.
    void aSteadyTrackMakesRoomForTheLaunchsEmojiCheck() {
        start({{"slackToken", "xoxp-1"}, {"spotifyEmojiFound", true}});
        slack_.script("emoji.list", {{503, "{}"}});
        engine_->checkEmojiAtLaunch();
        QList<qint64> times;
        for (qint64 at = 0; at <= 15 * 60; at += 15, advance(15)) {
            step();
            if (at == 0) slack_.shows(SONG);
            for (qsizetype made = calls().size(); made > 0; --made) times += at;
        }
        QCOMPARE(slack_.requests("emoji.list").size(), 1);
        for (const qint64 from : times) {
            const auto within = std::count_if(times.cbegin(), times.cend(), [&](qint64 at) {
                return at >= from && at <= from + 120;
            });
            QVERIFY2(within <= 4, qPrintable(QString::number(from)));
        }
        QCOMPARE(state_->spotifyEmojiAvailable(), true);
        QCOMPARE(slack_.profilesSent().last().value("status_emoji"), ":spotify:");
    }

    // Every workspace gets the track, each by its own rules: the user's own status in one, or a
    // token Slack refused there, leaves the others sharing; quit clears them all at once.
    void eachWorkspaceSharesByItsOwnRules() {
        start(TWO_WORKSPACES);
        step();
        QByteArrayList shared = setsBy();  // in either order: the workspaces step side by side
        std::sort(shared.begin(), shared.end());
        QCOMPARE(shared, QByteArrayList({"xoxp-1 Song — Band", "xoxp-2 Song — Band"}));
        QCOMPARE(kinds(), (Kinds{{"T1", Kind::Sharing}, {"T2", Kind::Sharing}}));
        slack_.shows(SONG);
        slack_.script("users.profile.set", {{200, OK, 1000}});
        QElapsedTimer quitting;
        quitting.start();
        engine_->clearEverywhere();
        QCOMPARE_LT(quitting.elapsed(), 1900);
        QByteArrayList cleared = setsBy().mid(2);  // in either order: they went out together
        std::sort(cleared.begin(), cleared.end());
        QCOMPARE(cleared, QByteArrayList({"xoxp-1 ", "xoxp-2 "}));
        slack_.reset();
        slack_.script("users.profile.set", OK);
        slack_.shows(QString());
        slack_.showsFor("xoxp-2", "In a meeting");
        spotify_->play("Next", {"Band"});
        advance(60);
        step();
        QCOMPARE(setsBy(), QByteArrayList({"xoxp-1 Next — Band"}));
        QCOMPARE(state_->workspaceStates().value("T2"),
                 (WorkspaceState{Kind::UsersOwn, "In a meeting"}));
        QCOMPARE(line(), "▶ Next — Band");
        slack_.revoke("xoxp-1");
        slack_.showsFor("xoxp-2", QString());
        spotify_->play("Third", {"Band"});
        advance(90);  // the user's own status is read again 90 s later
        step();
        QCOMPARE(setsBy().mid(1), QByteArrayList({"xoxp-2 Third — Band"}));
        QCOMPARE(kinds().value("T1"), Kind::Trouble);
        QCOMPARE(state_->lastError(),
                 "acme.slack.com: Slack signed you out (token_revoked) — sign in again.");
    }

    // A workspace whose Slack answers only after 40 s holds no other back: a track change
    // reaches the other within a second, and quit ends in bounded time having cleared it there.
    void aSlackThatHangsHoldsNoOtherWorkspaceBack() {
        start(TWO_WORKSPACES);
        step();
        slack_.answerLateTo("xoxp-1", 40'000);
        spotify_->play("Next", {"Band"});
        advance(60);
        QElapsedTimer clock;
        clock.start();
        engine_->tickAsync();
        QTRY_VERIFY_WITH_TIMEOUT(setsBy().contains("xoxp-2 Next — Band"), 1000);
        QCOMPARE_LT(clock.elapsed(), 1000);
        QCOMPARE(kinds().value("T2"), Kind::Sharing);
        slack_.reset();  // Slack answers again, but the call under way still waits
        slack_.script("users.profile.set", OK);
        slack_.shows("Next — Band");
        clock.restart();
        engine_->stopSync();
        engine_->clearEverywhere();
        QCOMPARE_LT(clock.elapsed(), 12'000);  // no more than the one call's wait
        QVERIFY(setsBy().contains("xoxp-2 "));
    }

    // Slack asking one workspace to wait holds no other back; quit clears the second workspace
    // where only the second shows the program's status.
    void oneWorkspaceNeitherHoldsBackNorHidesAnother() {
        QJsonObject secondShares = TWO_WORKSPACES;
        QJsonArray more = secondShares.value("moreWorkspaces").toArray();
        QJsonObject second = more.first().toObject();
        second.insert("lastSetText", SONG);
        more.replace(0, second);
        secondShares.insert("moreWorkspaces", more);
        start(secondShares);
        slack_.shows(SONG);
        engine_->clearEverywhere();
        QCOMPARE(setsBy(), QByteArrayList({"xoxp-2 "}));

        init();
        start(TWO_WORKSPACES);
        step();
        slack_.revoke("xoxp-1", "ratelimited");
        spotify_->play("Next", {"Band"});
        advance(60);
        step();
        QCOMPARE(setsBy().mid(2), QByteArrayList({"xoxp-2 Next — Band"}));  // T1 waits
        QCOMPARE(kinds(), (Kinds{{"T1", Kind::Waiting}, {"T2", Kind::Sharing}}));
    }

    void thePlayersSignalsStartStepsSpacedApart() {
        start();
        QSignalSpy steps(engine_.get(), &SyncEngine::stepped);
        engine_->start();
        QElapsedTimer clock;
        clock.start();
        spotify_->pause();
        QTRY_COMPARE_WITH_TIMEOUT(steps.size(), 1, 1000);
        QVERIFY(clock.elapsed() < 1000);
        for (int skip = 0; skip < 8; ++skip, QTest::qWait(100))  // skipping: one step, 2 s later
            spotify_->play(QString::number(skip), {"Band"});
        QTRY_COMPARE_WITH_TIMEOUT(steps.size(), 2, 3000);
        QVERIFY(clock.elapsed() >= 2000);
        QTest::qWait(1000);
        QCOMPARE(steps.size(), 2);
        QCOMPARE(slack_.profilesSent().value(0).value("status_text"), "7 — Band");
        spotify_->quit();  // the name vanishing counts too
        QTRY_COMPARE_WITH_TIMEOUT(steps.size(), 3, 3000);
    }

    void requestsDuringAStepBecomeOneMoreStepAndNoneAfterStopping() {
        start();
        slack_.script("users.profile.get", {{200, FakeSlack::profileShowing(""), 800}});
        QSignalSpy steps(engine_.get(), &SyncEngine::stepped);
        // A burst starts a step and, asked for while that one runs, at most one more.
        const auto burst = [&] {
            const qsizetype before = steps.size();
            for (int i = 0; i < 5; ++i) engine_->tickAsync();
            QTest::qWait(1000);
            return steps.size() - before;
        };
        for (const int round : {1, 2}) {
            const qsizetype made = burst();
            QVERIFY2(made == 1 || made == 2, qPrintable(QString::number(round)));
        }
        QCOMPARE(slack_.requests("users.profile.get").size(), 1);
        spotify_->play("Next", {"Band"});
        engine_->tickAsync();
        QTRY_COMPARE(slack_.requests("users.profile.get").size(), 2);
        engine_->tickAsync();  // waits behind the running step, which stopping cuts off
        engine_->stopSync();
        QCoreApplication::processEvents();
        const qsizetype stepsBefore = steps.size();
        engine_->tickAsync();
        QTest::qWait(1300);
        QCOMPARE(slack_.requests("users.profile.get").size(), 2);
        QCOMPARE(steps.size(), stepsBefore);
    }
};

QTEST_GUILESS_MAIN(SyncTest)
#include "tst_sync.moc"
