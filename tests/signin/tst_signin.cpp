#include <sys/stat.h>

#include <QDir>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>

#include "FakeClock.h"
#include "FakeSlack.h"
#include "RecordingDesktop.h"
#include "TestFiles.h"
#include "TestPorts.h"
#include "maintenance/LoginItem.h"
#include "signin/Pkce.h"
#include "signin/SignIn.h"
#include "sync/SyncEngine.h"

namespace {

class FailingRandom final : public platform::RandomSource {
  public:
    std::optional<QByteArray> bytes(qsizetype) override { return std::nullopt; }
};

// Spotify installed but not running: sync steps after a sign-in find nothing to share.
class IdleSpotify final : public platform::SpotifyBridge {
  public:
    bool installed() const override { return true; }
    platform::PlayerReply ask() override { return {QStringLiteral("STATE\tnotrunning"), {}}; }
};

const QByteArray TOKEN_REPLY = R"({"ok":true,"authed_user":{"access_token":"xoxp-new"}})";
const QByteArray ACCOUNT_REPLY = R"({"ok":true,"user":"ada","url":"https:\/\/team.slack.com\/"})";
const QString MISMATCH = QStringLiteral("Sign-in didn't match this app session — try again.");

bool isBase64Url(const QString& text) {
    return QRegularExpression(QStringLiteral("^[A-Za-z0-9_-]*$")).match(text).hasMatch();
}

}  // namespace

// Signing in and out against a Slack server on loopback, with the browser played by the test.
class SignInTest : public QObject {
    Q_OBJECT

  private:
    FakeSlack slack_;
    QTemporaryDir dir_;
    QString settingsPath_;
    quint16 port_ = 0;
    FakeClock clock_{QDateTime::currentDateTime()};
    IdleSpotify spotify_;
    RecordingDesktop desktop_;
    platform::SystemRandom systemRandom_;
    FailingRandom failingRandom_;
    platform::XdgAutostart loginItem_{"/opt/Track glint/run"};
    std::unique_ptr<Config> config_;
    std::unique_ptr<AppState> state_;
    std::unique_ptr<SyncEngine> sync_;
    std::unique_ptr<SignIn> signIn_;
    QNetworkAccessManager browser_;

    void start(bool randomFails = false) {
        platform::RandomSource& random =
            randomFails ? static_cast<platform::RandomSource&>(failingRandom_) : systemRandom_;
        config_ = std::make_unique<Config>(settingsPath_);
        state_ = std::make_unique<AppState>();
        state_->setLastSetText(config_->lastSetText());
        sync_ = std::make_unique<SyncEngine>(*config_, *state_, clock_, spotify_);
        signIn_ = std::make_unique<SignIn>(*config_, *state_, *sync_, desktop_, loginItem_, random,
                                           port_);
    }

    // Plays the browser coming back from Slack: a GET of the listener's callback address.
    QByteArray callBack(const QString& query) {
        const QUrl address(QStringLiteral("http://127.0.0.1:%1/slack/callback?").arg(port_) +
                           query);
        std::unique_ptr<QNetworkReply> reply(browser_.get(QNetworkRequest(address)));
        QSignalSpy finished(reply.get(), &QNetworkReply::finished);
        if (!reply->isFinished() && !finished.wait(5000)) return "(no answer)";
        return reply->readAll();
    }

    bool listening() {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, port_);
        return probe.waitForConnected(1000);
    }

    QString nonce() const { return signIn_->pendingNonce().value_or(QString()); }

  private slots:
    void initTestCase() {
        slack_.useForSlack();
        settingsPath_ = dir_.filePath(".trackglint-mac.json");
        qputenv("XDG_CONFIG_HOME", dir_.filePath("config").toUtf8());
        qputenv("XDG_DATA_DIRS", dir_.filePath("none").toUtf8());
        qputenv("XDG_DATA_HOME", dir_.filePath("none").toUtf8());
    }
    void init() {
        slack_.reset();
        slack_.script("oauth.v2.access", TOKEN_REPLY);
        slack_.script("auth.test", ACCOUNT_REPLY);
        slack_.script("emoji.list", R"({"ok":true,"emoji":{}})");
        slack_.script("users.profile.get", R"({"ok":true,"profile":{}})");
        slack_.script("users.profile.set", R"({"ok":true})");
        port_ = freeLoopbackPort();
        QVERIFY(writeSettings(settingsPath_, {{"slackToken", "xoxp-old"}}));
        QDir(dir_.filePath("config")).removeRecursively();
        desktop_.opened.clear();
        desktop_.alerts.clear();
    }
    void cleanup() {
        signIn_.reset();
        sync_.reset();
    }

    void theSignInValuesAreWellFormed() {
        QCOMPARE(codeChallenge("dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk"),
                 QStringLiteral("E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM"));  // RFC 7636
        const QString state = signInState(8899, "0123456789abcdef0123456789abcdef");
        QCOMPARE(state.size(), 75);
        QVERIFY(isBase64Url(state));
        QCOMPARE(QByteArray::fromBase64(state.toLatin1(), QByteArray::Base64UrlEncoding),
                 R"({"port":8899,"nonce":"0123456789abcdef0123456789abcdef"})");
        const QByteArray odd = QByteArray::fromBase64(signInState(1, "a\"b\\").toLatin1(),
                                                      QByteArray::Base64UrlEncoding);
        QCOMPARE(QJsonDocument::fromJson(odd).object().value("nonce"), "a\"b\\");
        qputenv("TRACKGLINT_BROKER", "");
        QCOMPARE(broker(), QString());
        qunsetenv("TRACKGLINT_BROKER");
        QVERIFY(broker().startsWith("https://") && !broker().endsWith("/"));
    }

    void signInOpensSlacksPageWithFreshSecrets() {
        start();
        signIn_->signIn();
        QCOMPARE(desktop_.opened.size(), 1);
        const QUrl page = desktop_.opened[0];
        QCOMPARE(page.toString(QUrl::RemoveQuery), slackHost() + "/oauth/v2/authorize");
        const QString verifier = signIn_->pendingVerifier().value_or(QString());
        QCOMPARE(verifier.size(), 64);
        QVERIFY(isBase64Url(verifier));
        QVERIFY(QRegularExpression("^[0-9a-f]{32}$").match(nonce()).hasMatch());
        const QList<std::pair<QString, QString>> expected = {
            {"client_id", SLACK_CLIENT_ID},
            {"user_scope", "users.profile:write,users.profile:read,emoji:read"},
            {"redirect_uri", SLACK_REDIRECT},
            {"state", signInState(port_, nonce())},
            {"code_challenge", codeChallenge(verifier)},
            {"code_challenge_method", "S256"},
        };
        QCOMPARE(QUrlQuery(page).queryItems(QUrl::FullyDecoded), expected);
        QVERIFY(page.query(QUrl::FullyEncoded)
                    .contains("user_scope=users.profile:write,users.profile:read,emoji:read&"));
        QCOMPARE(signIn_->signInDeadline().interval(), 600'000);
        QVERIFY(signIn_->signInDeadline().isActive());
        QVERIFY(listening());

        signIn_->signIn();  // the first listener still holds the port
        QCOMPARE(signIn_->pendingNonce(), std::nullopt);
        QCOMPARE(state_->lastError(),
                 QStringLiteral("Port %1 busy — quit other Trackglint copies").arg(port_));
    }

    void aCompletedSignInStoresTheAccount_data() {
        QTest::addColumn<QByteArray>("account");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("teamUrl");
        QTest::newRow("named") << ACCOUNT_REPLY << "ada"
                               << "https://team.slack.com/";
        QTest::newRow("nameless") << QByteArray(R"({"ok":true})") << "you" << slackHost() + "/";
    }
    void aCompletedSignInStoresTheAccount() {
        QFETCH(QByteArray, account);
        QFETCH(QString, name);
        QFETCH(QString, teamUrl);
        slack_.script("auth.test", account);
        start();
        signIn_->signIn();
        const QString verifier = *signIn_->pendingVerifier();
        QSignalSpy notified(state_.get(), &AppState::tickNotification);
        QVERIFY(callBack("code=abc&nonce=" + nonce()).contains("Trackglint is connected"));
        QVERIFY(notified.wait(5000));
        QVERIFY(!listening());
        QCOMPARE(signIn_->pendingNonce(), std::nullopt);
        QVERIFY(!signIn_->signInDeadline().isActive());

        const FakeSlack::Request exchange = slack_.requests("oauth.v2.access").value(0);
        QVERIFY(!exchange.headers.contains("authorization"));
        QCOMPARE(exchange.headers.value("content-type"), "application/x-www-form-urlencoded");
        QCOMPARE(exchange.body.count('&'), 3);
        QCOMPARE(exchange.formValue("client_id"), SLACK_CLIENT_ID);
        QCOMPARE(exchange.formValue("code"), QStringLiteral("abc"));
        QCOMPARE(exchange.formValue("code_verifier"), verifier);
        QCOMPARE(exchange.formValue("redirect_uri"), SLACK_REDIRECT);
        QCOMPARE(slack_.requests("auth.test").value(0).headers.value("authorization"),
                 "Bearer xoxp-new");

        const Config stored(settingsPath_);
        QCOMPARE(stored.slackToken(), QStringLiteral("xoxp-new"));
        QCOMPARE(stored.slackName(), name);
        QCOMPARE(stored.raw().value("teamUrl").toString(), teamUrl);
        struct stat info {};
        QCOMPARE(::stat(QFile::encodeName(settingsPath_).constData(), &info), 0);
        QCOMPARE(info.st_mode & 0777, mode_t(0600));
        QCOMPARE(state_->lastError(), std::nullopt);
        QVERIFY(loginItem_.enabled());
        QTRY_VERIFY(!slack_.requests("emoji.list").isEmpty());  // and syncing starts
    }

    void failedSignInsSayWhyAndKeepTheOldToken_data() {
        QTest::addColumn<QString>("query");  // NONCE stands for the pending nonce
        QTest::addColumn<QByteArray>("exchangeReply");
        QTest::addColumn<QByteArray>("accountReply");
        QTest::addColumn<QString>("error");
        QTest::newRow("declined") << "error=access_denied&nonce=NONCE" << TOKEN_REPLY
                                  << ACCOUNT_REPLY << "Sign-in failed: access_denied";
        QTest::newRow("error wins over code")
            << "code=abc&error=access_denied&nonce=NONCE" << TOKEN_REPLY << ACCOUNT_REPLY
            << "Sign-in failed: access_denied";
        QTest::newRow("other nonce")
            << "code=abc&nonce=00" << TOKEN_REPLY << ACCOUNT_REPLY << MISMATCH;
        QTest::newRow("no nonce") << "code=abc" << TOKEN_REPLY << ACCOUNT_REPLY << MISMATCH;
        QTest::newRow("code refused")
            << "code=abc&nonce=NONCE" << QByteArray(R"({"ok":false,"error":"invalid_grant"})")
            << ACCOUNT_REPLY << "Sign-in exchange failed: invalid_grant";
        QTest::newRow("error that is not a string")
            << "code=abc&nonce=NONCE" << QByteArray(R"({"ok":false,"error":{"n":5}})")
            << ACCOUNT_REPLY << R"(Sign-in exchange failed: {"n":5})";
        QTest::newRow("bot token only")
            << "code=abc&nonce=NONCE" << QByteArray(R"({"ok":true,"access_token":"xoxb-1"})")
            << ACCOUNT_REPLY << "Sign-in exchange failed: network";
        QTest::newRow("exchange not JSON") << "code=abc&nonce=NONCE" << QByteArray("<html>")
                                           << ACCOUNT_REPLY << "Sign-in exchange failed: network";
        QTest::newRow("token rejected") << "code=abc&nonce=NONCE" << TOKEN_REPLY
                                        << QByteArray(R"({"ok":false,"error":"invalid_auth"})")
                                        << "Slack rejected the token: invalid_auth";
        QTest::newRow("account unreachable")
            << "code=abc&nonce=NONCE" << TOKEN_REPLY << QByteArray("oops")
            << "Slack rejected the token: network";
        QTest::newRow("account error without code")
            << "code=abc&nonce=NONCE" << TOKEN_REPLY << QByteArray(R"({"ok":false})")
            << "Slack rejected the token: ?";
    }
    void failedSignInsSayWhyAndKeepTheOldToken() {
        QFETCH(QString, query);
        QFETCH(QByteArray, exchangeReply);
        QFETCH(QByteArray, accountReply);
        QFETCH(QString, error);
        slack_.script("oauth.v2.access", exchangeReply);
        slack_.script("auth.test", accountReply);
        start();
        signIn_->signIn();
        callBack(query.replace("NONCE", nonce()));
        QTRY_COMPARE(state_->lastError(), error);
        QVERIFY(!listening());
        QCOMPARE(signIn_->pendingNonce(), std::nullopt);
        QCOMPARE(signIn_->pendingVerifier(), std::nullopt);
        QCOMPARE(Config(settingsPath_).slackToken(), QStringLiteral("xoxp-old"));
        QVERIFY(!loginItem_.enabled());
        if (error.startsWith("Sign-in failed") || error == MISMATCH)
            QCOMPARE(slack_.requests().size(), 0);
    }

    void aCallbackAfterTheDeadlineFindsNothingPending() {
        start();
        signIn_->signIn();
        const QString firstNonce = nonce();
        signIn_->signInDeadlinePassed();
        QVERIFY(!listening());
        QCOMPARE(signIn_->pendingNonce(), std::nullopt);
        QCOMPARE(state_->lastError(), std::nullopt);
        signIn_->finishSignIn(QStringLiteral("abc"), firstNonce, std::nullopt);
        QCOMPARE(state_->lastError(), MISMATCH);
    }

    void aSignInThatCannotStartOpensNothing_data() {
        QTest::addColumn<bool>("randomFails");
        QTest::addColumn<QString>("error");
        QTest::newRow("no randomness")
            << true << "Secure randomness unavailable — sign-in aborted.";
        QTest::newRow("port busy") << false << "Port %1 busy — quit other Trackglint copies";
    }
    void aSignInThatCannotStartOpensNothing() {
        QFETCH(bool, randomFails);
        QFETCH(QString, error);
        QTcpServer other;
        if (!randomFails) QVERIFY(other.listen(QHostAddress::LocalHost, port_));
        start(randomFails);
        signIn_->signIn();
        QCOMPARE(state_->lastError(), error.replace("%1", QString::number(port_)));
        QCOMPARE(signIn_->pendingNonce(), std::nullopt);
        QCOMPARE(signIn_->pendingVerifier(), std::nullopt);
        QVERIFY(desktop_.opened.isEmpty());
    }

    void disconnectAsksThenForgetsEverything_data() {
        QTest::addColumn<bool>("confirm");
        QTest::addColumn<QJsonObject>("settings");
        QTest::addColumn<int>("clears");
        const QJsonObject showing{{"slackToken", "xoxp-1"},
                                  {"lastSetText", "Song — Band"},
                                  {"paused", true},
                                  {"emoji", ":cd:"}};
        QTest::newRow("cancelled") << false << showing << 0;
        QTest::newRow("own status showing") << true << showing << 1;
        QTest::newRow("no own status")
            << true << QJsonObject{{"slackToken", "xoxp-1"}, {"paused", true}} << 0;
        QTest::newRow("signed out") << true << QJsonObject{{"emoji", ":cd:"}} << 0;
    }
    void disconnectAsksThenForgetsEverything() {
        QFETCH(bool, confirm);
        QFETCH(QJsonObject, settings);
        QFETCH(int, clears);
        QVERIFY(writeSettings(settingsPath_, settings));
        start();
        state_->setNowPlayingLabel("▶ Song — Band");
        desktop_.answers = {confirm ? 0 : 1};
        signIn_->disconnect();
        QCOMPARE(desktop_.alerts.size(), 1);
        const platform::Desktop::Alert& asked = desktop_.alerts[0];
        QCOMPARE(asked.message, QStringLiteral("Disconnect Slack?"));
        QCOMPARE(asked.informativeText,
                 "Your status will be cleared and Trackglint will forget your sign-in.");
        QCOMPARE(asked.buttons, QStringList({"Disconnect", "Cancel"}));
        signIn_.reset();  // waits for the background clear
        QCOMPARE(slack_.requests("users.profile.set").size(), clears);
        if (clears) {
            const FakeSlack::Request clear = slack_.requests("users.profile.set")[0];
            QCOMPARE(clear.headers.value("authorization"), "Bearer xoxp-1");
            QCOMPARE(
                slack_.profilesSent().value(0),
                QJsonObject({{"status_text", ""}, {"status_emoji", ""}, {"status_expiration", 0}}));
        }
        QCOMPARE(QFile::exists(settingsPath_), !confirm);
        QCOMPARE(config_->raw(), confirm ? QJsonObject() : settings);
        QCOMPARE(state_->lastSetText(), confirm ? QString() : config_->lastSetText());
        QCOMPARE(state_->nowPlayingLabel(), QString(confirm ? "…" : "▶ Song — Band"));
    }

    void theLoginItemIsAnAutostartEntry() {
        AppState state;
        const QString entry = dir_.filePath("config/autostart/trackglint.desktop");
        QVERIFY(!loginItem_.enabled());
        toggleLoginItem(loginItem_, state);
        QFile file(entry);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        file.close();
        QVERIFY(text.startsWith("[Desktop Entry]\n"));
        QVERIFY(text.contains("\nType=Application\n"));
        QVERIFY(text.contains("\nExec=\"/opt/Track glint/run\"\n"));
        toggleLoginItem(loginItem_, state);
        QVERIFY(!QFile::exists(entry));

        // An entry the user hid counts as off; turning it on writes it afresh.
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[Desktop Entry]\nType=Application\nExec=x\nHidden=true\n");
        file.close();
        QVERIFY(!loginItem_.enabled());
        toggleLoginItem(loginItem_, state);
        QVERIFY(loginItem_.enabled());
        QCOMPARE(state.lastError(), std::nullopt);

        QFile(dir_.filePath("blocked")).open(QIODevice::WriteOnly);
        qputenv("XDG_CONFIG_HOME", dir_.filePath("blocked").toUtf8());
        toggleLoginItem(loginItem_, state);
        qputenv("XDG_CONFIG_HOME", dir_.filePath("config").toUtf8());
        QVERIFY(state.lastError().value_or("").startsWith("Login item: could not create "));
    }
};

QTEST_GUILESS_MAIN(SignInTest)
#include "tst_signin.moc"
