#include <sys/stat.h>

#include <QDir>
#include <QFile>
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
#include "TestPorts.h"
#include "main/AppDelegate.h"
#include "main/Constants.h"
#include "signin/Pkce.h"

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

QList<std::pair<QString, QString>> queryItems(const QUrl& address) {
    return QUrlQuery(address).queryItems(QUrl::FullyDecoded);
}

bool isBase64Url(const QString& text) {
    static const QRegularExpression alphabet(QStringLiteral("^[A-Za-z0-9_-]*$"));
    return alphabet.match(text).hasMatch();
}

}  // namespace

class SignInTest : public QObject {
    Q_OBJECT

  private:
    FakeSlack slack_;
    QTemporaryDir dir_;
    QString settingsPath_;
    quint16 port_ = 0;
    RecordingDesktop* desktop_ = nullptr;
    std::unique_ptr<AppDelegate> app_;
    QNetworkAccessManager browser_;

    void start(std::unique_ptr<platform::RandomSource> random =
                   std::make_unique<platform::SystemRandom>()) {
        auto desktop = std::make_unique<RecordingDesktop>();
        desktop_ = desktop.get();
        AppDelegate::Environment environment;
        environment.configPath = settingsPath_;
        environment.clock = std::make_unique<FakeClock>(QDateTime::currentDateTime());
        environment.spotify = std::make_unique<IdleSpotify>();
        environment.desktop = std::move(desktop);
        environment.loginItem = std::make_unique<platform::XdgAutostart>("/opt/Track glint/run");
        environment.random = std::move(random);
        environment.oauthPort = port_;
        app_ = std::make_unique<AppDelegate>(std::move(environment));
    }

    void writeSettings(const QJsonObject& settings) {
        QFile file(settingsPath_);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QJsonDocument(settings).toJson());
    }

    // Plays the browser coming back from Slack: a GET of the listener's callback address.
    QByteArray callBack(const QString& query) {
        const QUrl address(
            QStringLiteral("http://127.0.0.1:%1/slack/callback?%2").arg(port_).arg(query));
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

    QString nonce() const { return app_->pendingNonce().value_or(QString()); }

  private slots:
    void initTestCase() {
        slack_.useForSlack();
        settingsPath_ = dir_.filePath(QStringLiteral(".trackglint-mac.json"));
        qputenv("XDG_CONFIG_HOME", dir_.filePath(QStringLiteral("config")).toUtf8());
        qputenv("XDG_DATA_DIRS", dir_.filePath(QStringLiteral("none")).toUtf8());
        qputenv("XDG_DATA_HOME", dir_.filePath(QStringLiteral("none")).toUtf8());
    }
    void init() {
        slack_.reset();
        slack_.script(QStringLiteral("oauth.v2.access"), TOKEN_REPLY);
        slack_.script(QStringLiteral("auth.test"), ACCOUNT_REPLY);
        slack_.script(QStringLiteral("emoji.list"), R"({"ok":true,"emoji":{}})");
        slack_.script(QStringLiteral("users.profile.get"), R"({"ok":true,"profile":{}})");
        port_ = freeLoopbackPort();
        writeSettings({{QStringLiteral("slackToken"), QStringLiteral("xoxp-old")}});
        QDir(dir_.filePath(QStringLiteral("config"))).removeRecursively();
    }
    void cleanup() { app_.reset(); }

    void pkceMatchesTheRfcExample() {
        QCOMPARE(codeChallenge(QStringLiteral("dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk")),
                 QStringLiteral("E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM"));
    }

    void theBrokerFollowsTheEnvironment() {
        qputenv("TRACKGLINT_BROKER", "http://127.0.0.1:9");
        QCOMPARE(broker(), QStringLiteral("http://127.0.0.1:9"));
        qputenv("TRACKGLINT_BROKER", "");
        QCOMPARE(broker(), QString());
        qunsetenv("TRACKGLINT_BROKER");
        QVERIFY(broker().startsWith("https://") && !broker().endsWith("/"));
    }

    void theStateCarriesPortAndNonce() {
        const QString nonce = QStringLiteral("0123456789abcdef0123456789abcdef");
        const QString state = signInState(8899, nonce);
        QCOMPARE(state.size(), 75);
        QVERIFY(isBase64Url(state));
        const QByteArray decoded =
            QByteArray::fromBase64(state.toLatin1(), QByteArray::Base64UrlEncoding |
                                                         QByteArray::AbortOnBase64DecodingErrors);
        QCOMPARE(decoded,
                 QByteArray("{\"port\":8899,\"nonce\":\"0123456789abcdef0123456789abcdef\"}"));
        QCOMPARE(decoded.size(), 56);
    }

    void signInOpensSlacksPageWithFreshSecrets() {
        start();
        app_->signIn();
        QCOMPARE(desktop_->opened.size(), 1);
        const QUrl page = desktop_->opened[0];
        QCOMPARE(page.toString(QUrl::RemoveQuery), slackHost() + "/oauth/v2/authorize");
        const QString verifier = app_->pendingVerifier().value_or(QString());
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
        QCOMPARE(queryItems(page), expected);
        QCOMPARE(codeChallenge(verifier).size(), 43);
        QVERIFY(
            page.query(QUrl::FullyEncoded)
                .contains(
                    "user_scope=users.profile:write,users.profile:read,emoji:read&redirect_uri=" +
                    SLACK_REDIRECT + "&"));
        QVERIFY(app_->signInDeadline().isActive());
        QCOMPARE(app_->signInDeadline().interval(), 600'000);
        QVERIFY(listening());

        app_->signIn();  // the first listener still holds the port
        QCOMPARE(app_->pendingNonce(), std::nullopt);
        QCOMPARE(app_->lastError(),
                 QStringLiteral("Port %1 busy — quit other Trackglint copies").arg(port_));
    }

    void aCompletedSignInStoresTheAccount() {
        start();
        app_->signIn();
        const QString verifier = *app_->pendingVerifier();
        QSignalSpy notified(app_.get(), &AppDelegate::tickNotification);
        QVERIFY(callBack("code=abc&nonce=" + nonce()).contains("Trackglint is connected"));
        QVERIFY(notified.wait(5000));
        QVERIFY(!listening());
        QCOMPARE(app_->pendingNonce(), std::nullopt);
        QVERIFY(!app_->signInDeadline().isActive());

        const FakeSlack::Request exchange = slack_.requests("oauth.v2.access").value(0);
        QVERIFY(!exchange.headers.contains("authorization"));
        QCOMPARE(exchange.headers.value("content-type"),
                 QByteArray("application/x-www-form-urlencoded"));
        QStringList names;
        for (const QByteArray& field : exchange.body.split('&')) names += field.split('=').value(0);
        names.sort();
        QCOMPARE(names, QStringList({"client_id", "code", "code_verifier", "redirect_uri"}));
        QCOMPARE(exchange.formValue("client_id"), SLACK_CLIENT_ID);
        QCOMPARE(exchange.formValue("code"), QStringLiteral("abc"));
        QCOMPARE(exchange.formValue("code_verifier"), verifier);
        QCOMPARE(exchange.formValue("redirect_uri"), SLACK_REDIRECT);
        QVERIFY(exchange.body.contains("redirect_uri=https%3A%2F%2F"));
        QCOMPARE(slack_.requests("auth.test").value(0).headers.value("authorization"),
                 QByteArray("Bearer xoxp-new"));

        const Config stored(settingsPath_);
        QCOMPARE(stored.slackToken(), QStringLiteral("xoxp-new"));
        QCOMPARE(stored.slackName(), QStringLiteral("ada"));
        QCOMPARE(stored.raw().value("teamUrl").toString(),
                 QStringLiteral("https://team.slack.com/"));
        struct stat info {};
        QCOMPARE(::stat(QFile::encodeName(settingsPath_).constData(), &info), 0);
        QCOMPARE(info.st_mode & 0777, mode_t(0600));
        QCOMPARE(app_->lastError(), std::nullopt);
        QVERIFY(app_->loginItem().enabled());
    }

    void failedSignInsSayWhyAndKeepTheOldToken_data() {
        QTest::addColumn<QString>("query");  // NONCE stands for the pending nonce
        QTest::addColumn<QByteArray>("exchangeReply");
        QTest::addColumn<QByteArray>("accountReply");
        QTest::addColumn<QString>("error");
        const QString mismatch =
            QStringLiteral("Sign-in didn't match this app session — try again.");
        QTest::newRow("declined") << "error=access_denied&nonce=NONCE" << TOKEN_REPLY
                                  << ACCOUNT_REPLY << "Sign-in failed: access_denied";
        QTest::newRow("error wins over code")
            << "code=abc&error=access_denied&nonce=NONCE" << TOKEN_REPLY << ACCOUNT_REPLY
            << "Sign-in failed: access_denied";
        QTest::newRow("other nonce")
            << "code=abc&nonce=00" << TOKEN_REPLY << ACCOUNT_REPLY << mismatch;
        QTest::newRow("no nonce") << "code=abc" << TOKEN_REPLY << ACCOUNT_REPLY << mismatch;
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
        slack_.script(QStringLiteral("oauth.v2.access"), exchangeReply);
        slack_.script(QStringLiteral("auth.test"), accountReply);
        start();
        app_->signIn();
        callBack(query.replace(QStringLiteral("NONCE"), nonce()));
        QTRY_COMPARE(app_->lastError(), error);
        QVERIFY(!listening());
        QCOMPARE(app_->pendingNonce(), std::nullopt);
        QCOMPARE(app_->pendingVerifier(), std::nullopt);
        QCOMPARE(Config(settingsPath_).slackToken(), QStringLiteral("xoxp-old"));
        QVERIFY(!app_->loginItem().enabled());
        if (error.startsWith("Sign-in failed") ||
            error == "Sign-in didn't match this app session — try again.")
            QCOMPARE(slack_.requests().size(), 0);
    }

    void anAccountWithoutNameOrAddressGetsTheDefaults() {
        slack_.script(QStringLiteral("auth.test"), R"({"ok":true})");
        start();
        app_->signIn();
        QSignalSpy notified(app_.get(), &AppDelegate::tickNotification);
        callBack("code=abc&nonce=" + nonce());
        QVERIFY(notified.wait(5000));
        const Config stored(settingsPath_);
        QCOMPARE(stored.slackName(), QStringLiteral("you"));
        QCOMPARE(stored.raw().value("teamUrl").toString(), slackHost() + "/");
    }

    void aCallbackAfterTheDeadlineFindsNothingPending() {
        start();
        app_->signIn();
        const QString firstNonce = nonce();
        app_->signInDeadlinePassed();
        QVERIFY(!listening());
        QCOMPARE(app_->pendingNonce(), std::nullopt);
        QCOMPARE(app_->lastError(), std::nullopt);
        app_->finishSignIn(QStringLiteral("abc"), firstNonce, std::nullopt);
        QCOMPARE(app_->lastError(),
                 QStringLiteral("Sign-in didn't match this app session — try again."));
    }

    void unavailableRandomnessAbortsBeforeAnythingStarts() {
        start(std::make_unique<FailingRandom>());
        app_->signIn();
        QCOMPARE(app_->lastError(),
                 QStringLiteral("Secure randomness unavailable — sign-in aborted."));
        QCOMPARE(app_->pendingNonce(), std::nullopt);
        QVERIFY(desktop_->opened.isEmpty());
        QVERIFY(!listening());
    }

    void aBusyPortAbortsWithoutOpeningTheBrowser() {
        QTcpServer other;
        QVERIFY(other.listen(QHostAddress::LocalHost, port_));
        start();
        app_->signIn();
        QCOMPARE(app_->lastError(),
                 QStringLiteral("Port %1 busy — quit other Trackglint copies").arg(port_));
        QCOMPARE(app_->pendingNonce(), std::nullopt);
        QCOMPARE(app_->pendingVerifier(), std::nullopt);
        QVERIFY(desktop_->opened.isEmpty());
    }

    void disconnectAsksThenForgetsEverything_data() {
        QTest::addColumn<bool>("confirm");
        QTest::addColumn<QJsonObject>("settings");
        QTest::addColumn<int>("clears");
        const QJsonObject showing{{"slackToken", "xoxp-1"},
                                  {"lastSetText", "Song — Band"},
                                  {"paused", true},
                                  {"emoji", ":cd:"}};
        const QJsonObject notShowing{{"slackToken", "xoxp-1"}, {"paused", true}};
        QTest::newRow("cancelled") << false << showing << 0;
        QTest::newRow("own status showing") << true << showing << 1;
        QTest::newRow("no own status") << true << notShowing << 0;
        QTest::newRow("signed out") << true << QJsonObject{{"emoji", ":cd:"}} << 0;
    }
    void disconnectAsksThenForgetsEverything() {
        QFETCH(bool, confirm);
        QFETCH(QJsonObject, settings);
        QFETCH(int, clears);
        slack_.script(QStringLiteral("users.profile.set"), R"({"ok":true})");
        writeSettings(settings);
        start();
        app_->restoreLastSetText();
        desktop_->answers = {confirm};
        app_->disconnect();
        QCOMPARE(desktop_->asked.size(), 1);
        const platform::Desktop::Question& asked = desktop_->asked[0];
        QCOMPARE(asked.message, QStringLiteral("Disconnect Slack?"));
        QCOMPARE(
            asked.informativeText,
            QStringLiteral("Your status will be cleared and Trackglint will forget your sign-in."));
        QCOMPARE(asked.confirmButton, QStringLiteral("Disconnect"));
        QCOMPARE(asked.cancelButton, QStringLiteral("Cancel"));
        app_.reset();  // waits for the background clear
        QCOMPARE(slack_.requests("users.profile.set").size(), clears);
        if (clears) {
            const FakeSlack::Request clear = slack_.requests("users.profile.set")[0];
            QCOMPARE(clear.headers.value("authorization"), QByteArray("Bearer xoxp-1"));
            QCOMPARE(
                QJsonDocument::fromJson(clear.formValue("profile").toUtf8()).object(),
                QJsonObject({{"status_text", ""}, {"status_emoji", ""}, {"status_expiration", 0}}));
        }
        QCOMPARE(QFile::exists(settingsPath_), !confirm);
        if (!confirm) QCOMPARE(Config(settingsPath_).raw(), settings);
    }

    void disconnectResetsTheDisplayedState() {
        writeSettings({{"slackToken", "xoxp-1"}, {"lastSetText", "Song — Band"}});
        start();
        app_->restoreLastSetText();
        QCOMPARE(app_->lastSetText(), QStringLiteral("Song — Band"));
        desktop_->answers = {true};
        app_->disconnect();
        QCOMPARE(app_->lastSetText(), QString());
        QCOMPARE(app_->nowPlayingLabel(), QStringLiteral("…"));
        QCOMPARE(app_->config().slackToken(), std::nullopt);
        QCOMPARE(app_->config().paused(), false);
    }

    void theLoginItemIsAnAutostartEntry() {
        start();
        const QString entry = dir_.filePath(QStringLiteral("config/autostart/trackglint.desktop"));
        QVERIFY(!app_->loginItem().enabled());
        app_->toggleLoginItem();
        QVERIFY(app_->loginItem().enabled());
        QFile file(entry);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        file.close();
        QVERIFY(text.startsWith("[Desktop Entry]\n"));
        QVERIFY(text.contains("\nType=Application\n"));
        QVERIFY(text.contains("\nExec=\"/opt/Track glint/run\"\n"));
        app_->toggleLoginItem();
        QVERIFY(!QFile::exists(entry));

        // An entry the user hid counts as off; turning it on writes it afresh.
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[Desktop Entry]\nType=Application\nExec=x\nHidden=true\n");
        file.close();
        QVERIFY(!app_->loginItem().enabled());
        app_->toggleLoginItem();
        QVERIFY(app_->loginItem().enabled());
        QCOMPARE(app_->lastError(), std::nullopt);
    }

    void aLoginItemThatCannotBeWrittenSaysWhy() {
        const QString blocker = dir_.filePath(QStringLiteral("blocked"));
        QFile(blocker).open(QIODevice::WriteOnly);
        qputenv("XDG_CONFIG_HOME", blocker.toUtf8());
        start();
        app_->toggleLoginItem();
        qputenv("XDG_CONFIG_HOME", dir_.filePath(QStringLiteral("config")).toUtf8());
        QVERIFY(app_->lastError().value_or("").startsWith("Login item: could not create "));
        QVERIFY(!app_->loginItem().enabled());
    }
};

QTEST_GUILESS_MAIN(SignInTest)
#include "tst_signin.moc"
