#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>

#include "FakeSlack.h"
#include "TestFiles.h"
#include "TestParts.h"
#include "TestPorts.h"
#include "signin/Pkce.h"
#include "signin/SignIn.h"
#include "signin/SlackApp.h"
#include "sync/SyncEngine.h"

namespace {

struct FailingRandom final : platform::RandomSource {
    std::optional<QByteArray> bytes(qsizetype) override { return std::nullopt; }
};

const QByteArray TOKEN_REPLY = R"({"ok":true,"authed_user":{"access_token":"xoxp-new"}})";
const QByteArray ACCOUNT_REPLY = R"({"ok":true,"user":"ada","url":"https:\/\/team.slack.com\/"})";
const QJsonObject CLEARING{{"status_text", ""}, {"status_emoji", ""}, {"status_expiration", 0}};
const QString EXCHANGE_FAILED = QStringLiteral("Sign-in exchange failed: ");
const QString CLIENT_ID = QStringLiteral("1111111111.2222222222");

}  // namespace

Q_DECLARE_METATYPE(FakeSlack::Reply)

// Signing in and out against a Slack server on loopback, with the browser played by the test.
class SignInTest : public QObject {
    Q_OBJECT

  private:
    FakeSlack slack_;
    QTemporaryDir dir_;
    QString settingsPath_;
    quint16 port_ = 0;
    std::unique_ptr<TestParts> parts_;
    QNetworkAccessManager browser_;

    void start(bool failingRandom = false, const QString& settingsPath = {}) {
        parts_.reset();
        parts_ = std::make_unique<TestParts>(
            settingsPath.isEmpty() ? settingsPath_ : settingsPath, port_,
            failingRandom ? std::make_unique<FailingRandom>() : nullptr);
    }

    // Whether the port is held, as by the sign-in's listener.
    bool listening() { return !QTcpServer().listen(QHostAddress::LocalHost, port_); }

    QString nonce() const { return parts_->signIn.pendingNonce().value_or(QString()); }
    QString state() const { return signInState(port_, nonce()); }

    // The browser at `address`, without following redirects: what the page answered.
    std::unique_ptr<QNetworkReply> browse(const QUrl& address) {
        QNetworkRequest request(address);
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                             QNetworkRequest::ManualRedirectPolicy);
        std::unique_ptr<QNetworkReply> reply(browser_.get(request));
        QSignalSpy answered(reply.get(), &QNetworkReply::finished);
        if (!reply->isFinished()) answered.wait(30000);
        return reply;
    }
    // The browser coming back from Slack with `query`; the page it was shown.
    QByteArray browseBack(const QString& query) {
        return browse(
                   QUrl(QStringLiteral("http://localhost:%1/slack/callback?").arg(port_) + query))
            ->readAll();
    }

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
        QVERIFY(writeSettings(settingsPath_,
                              {{"slackToken", "xoxp-old"}, {"slackClientId", CLIENT_ID}}));
        QDir(dir_.filePath("config")).removeRecursively();
    }
    void cleanup() { parts_.reset(); }

    void signInOpensSlacksPageWithWellFormedSecretsUntilTheDeadline_data() {
        QTest::addColumn<QString>("error");  // none: the page opens
        QTest::newRow("opens") << QString();
        QTest::newRow("no randomness") << "Secure randomness unavailable — sign-in aborted.";
        QTest::newRow("port busy") << "Port %1 busy — quit other Trackglint copies";
        QTest::newRow("no browser") << QString();
    }
    void signInOpensSlacksPageWithWellFormedSecretsUntilTheDeadline() {
        QFETCH(QString, error);
        QTcpServer other;
        if (error.startsWith("Port")) QVERIFY(other.listen(QHostAddress::LocalHost, port_));
        start(error.startsWith("Secure"));
        const bool noBrowser = QTest::currentDataTag() == QByteArray("no browser");
        parts_->desktop.browser = !noBrowser;
        QSignalSpy byHand(&parts_->signIn, &SignIn::browserUnavailable);
        parts_->signIn.signIn();
        QCOMPARE(byHand.size(), int(noBrowser));  // the page to open by hand
        if (noBrowser) {
            const QString page = byHand[0][0].toUrl().toString(QUrl::FullyEncoded);
            QCOMPARE(page, parts_->desktop.opened.value(0).toString(QUrl::FullyEncoded));
            // The alert shows the address whole, in lines, and copies it at a click.
            parts_->desktop.answers = {0};
            parts_->prompts.sayOpenByHand(byHand[0][0].toUrl());
            QString shown = parts_->desktop.alerts.last().informativeText;
            for (const QString& line : shown.split(u'\n')) QVERIFY(line.size() <= 60);
            QCOMPARE(shown.remove(u'\n'), page);
            QCOMPARE(parts_->desktop.copied, QStringList{page});
        }
        QCOMPARE(parts_->state.lastError(),
                 error.isEmpty() ? std::nullopt : std::optional(error.arg(port_)));
        QCOMPARE(parts_->desktop.opened.size(), error.isEmpty() ? 1 : 0);
        QCOMPARE(parts_->signIn.pendingNonce().has_value(), error.isEmpty());
        if (!error.isEmpty()) return;  // it cannot start
        QCOMPARE(codeChallenge("dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk"),
                 QStringLiteral("E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM"));  // RFC 7636
        const QString state = signInState(8899, "0123456789abcdef0123456789abcdef");
        QVERIFY(QRegularExpression("^[A-Za-z0-9_-]*$").match(state).hasMatch());  // base64url
        QCOMPARE(QByteArray::fromBase64(state.toLatin1(), QByteArray::Base64UrlEncoding),
                 R"({"port":8899,"nonce":"0123456789abcdef0123456789abcdef"})");
        const QByteArray odd = QByteArray::fromBase64(signInState(1, "a\"b\\").toLatin1(),
                                                      QByteArray::Base64UrlEncoding);
        QCOMPARE(QJsonDocument::fromJson(odd).object().value("nonce"), "a\"b\\");  // valid JSON
        qputenv("TRACKGLINT_BROKER", "");
        QCOMPARE(broker(), QString());
        qunsetenv("TRACKGLINT_BROKER");
        QVERIFY(broker().startsWith("https://") && !broker().endsWith("/"));

        const QUrl page = parts_->desktop.opened[0];
        QCOMPARE(page.toString(QUrl::RemoveQuery), slackHost() + "/oauth/v2/authorize");
        const QString verifier = parts_->signIn.pendingVerifier().value_or(QString());
        QVERIFY(QRegularExpression("^[A-Za-z0-9_-]{64}$").match(verifier).hasMatch());
        QVERIFY(QRegularExpression("^[0-9a-f]{32}$").match(nonce()).hasMatch());
        const QList<std::pair<QString, QString>> fields = {
            {"client_id", CLIENT_ID},
            {"user_scope", "users.profile:write,users.profile:read,emoji:read"},
            {"redirect_uri", SLACK_REDIRECT},
            {"state", signInState(port_, nonce())},
            {"code_challenge", codeChallenge(verifier)},
            {"code_challenge_method", "S256"}};
        QCOMPARE(QUrlQuery(page).queryItems(QUrl::FullyDecoded), fields);
        QVERIFY(page.query(QUrl::FullyEncoded)
                    .contains("user_scope=users.profile:write,users.profile:read,emoji:read&"));
        QCOMPARE(parts_->signIn.signInDeadline().interval(), 600'000);
        QVERIFY(parts_->signIn.signInDeadline().isActive());
        QCOMPARE(parts_->signIn.signInStall().interval(), 120'000);
        QVERIFY(listening());
        parts_->sync.stopSync();  // no step of the signed-in workspace's rewrites the error line
        const QString firstNonce = nonce();
        parts_->signIn.signIn();  // asked again while waiting: a new attempt replaces it
        QCOMPARE(parts_->state.lastError(), std::nullopt);
        QCOMPARE(parts_->desktop.opened.size(), 2);
        QVERIFY(nonce() != firstNonce && listening());
        // Slack may show an error page of its own instead of sending the browser back: after
        // a while, and at the deadline, what to check is said.
        const QString check =
            " If Slack showed an error, check that your Slack app's redirect "
            "URL is http://localhost:8899/slack/callback, that PKCE is on, and "
            "that the client ID is right.";
        parts_->signIn.signInStalled();
        QCOMPARE(parts_->state.lastError(), "Still waiting for Slack in your browser." + check);
        parts_->signIn.signInDeadlinePassed();
        QVERIFY(!listening());
        QCOMPARE(parts_->state.lastError(), "Slack never sent the browser back." + check);
        QVERIFY(!parts_->signIn.pendingNonce());
        QVERIFY(!parts_->signIn.signInStall().isActive());
    }

    // The browser's return: an accepted code stores the account, else the old token stays.
    void theBrowsersReturnEndsTheSignIn_data() {
        QTest::addColumn<QString>("query");        // STATE and NONCE stand for the pending ones
        QTest::addColumn<QString>("error");        // none when signed in
        QTest::addColumn<QByteArray>("reply");     // of the step the error names, when it differs
        QTest::addColumn<QStringList>("account");  // name and team address stored
        const auto row = [](const char* name, const char* query, const QString& error,
                            const QByteArray& reply = {}, const QStringList& account = {}) {
            QTest::newRow(name) << QString(query) << error << reply << account;
        };
        const char* code = "code=abc&state=STATE";
        const QString failed = EXCHANGE_FAILED, rejected("Slack rejected the token: ");
        row("signed in", code, {}, {}, {"ada", "https://team.slack.com/"});
        row("signed in, nameless", code, {}, R"({"ok":true})", {"you", slackHost() + "/"});
        row("through a hosted page", "code=abc&nonce=NONCE", {}, {},
            {"ada", "https://team.slack.com/"});
        row("declined", "error=access_denied&state=STATE", "Sign-in failed: access_denied");
        row("error wins over code", "code=abc&error=access_denied&state=STATE",
            "Sign-in failed: access_denied");
        row("code refused", code, failed + "invalid_grant",
            R"({"ok":false,"error":"invalid_grant"})");
        row("error that is not a string", code, failed + R"({"n":5})",
            R"({"ok":false,"error":{"n":5}})");
        row("bot token only", code, failed + "no usable token",
            R"({"ok":true,"access_token":"xoxb-1"})");
        row("exchange not JSON", code, failed + "network", "<html>");
        row("token rejected", code, rejected + "invalid_auth",
            R"({"ok":false,"error":"invalid_auth"})");
        row("account unreachable", code, rejected + "network", "oops");
        row("account error without code", code, rejected + "?", R"({"ok":false})");
    }
    void theBrowsersReturnEndsTheSignIn() {
        QFETCH(QString, query);
        QFETCH(QString, error);
        QFETCH(QByteArray, reply);
        QFETCH(QStringList, account);
        const char* method = error.startsWith(EXCHANGE_FAILED) ? "oauth.v2.access" : "auth.test";
        if (!reply.isEmpty()) slack_.script(method, reply);
        start();
        parts_->signIn.signIn();
        const QString verifier = *parts_->signIn.pendingVerifier();
        const QByteArray page =
            browseBack(query.replace("STATE", state()).replace("NONCE", nonce()));
        QVERIFY2(page.contains(error.isEmpty() ? QString("✅ Trackglint is connected").toUtf8()
                                               : ("❌ " + error).toHtmlEscaped().toUtf8()),
                 page.constData());
        QTRY_VERIFY(parts_->state.lastError() || parts_->loginItem.enabled());
        QCOMPARE(parts_->state.lastError(), error.isEmpty() ? std::nullopt : std::optional(error));
        QVERIFY(!listening());
        QCOMPARE(parts_->signIn.pendingNonce(), std::nullopt);
        const Config stored(settingsPath_);
        QCOMPARE(stored.slackToken(), QString(error.isEmpty() ? "xoxp-new" : "xoxp-old"));
        QCOMPARE(parts_->loginItem.enabled(), error.isEmpty());
        QCOMPARE(slack_.requests().isEmpty(), error.startsWith("Sign-in failed"));
        if (!error.isEmpty()) return;

        const FakeSlack::Request exchange = slack_.requests("oauth.v2.access").value(0);
        QVERIFY(!exchange.headers.contains("authorization"));
        QCOMPARE(exchange.headers.value("content-type"), "application/x-www-form-urlencoded");
        const QList<std::pair<QString, QString>> sent = {{"client_id", CLIENT_ID},
                                                         {"code", "abc"},
                                                         {"code_verifier", verifier},
                                                         {"redirect_uri", SLACK_REDIRECT}};
        QCOMPARE(QUrlQuery(QString::fromUtf8(exchange.body)).queryItems(QUrl::FullyDecoded), sent);
        QCOMPARE(slack_.requests("auth.test").value(0).headers.value("authorization"),
                 "Bearer xoxp-new");
        QCOMPARE(QStringList({stored.slackName(), stored.teamUrl().value_or("")}), account);
        QCOMPARE(QFile::permissions(settingsPath_),  // 0600
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
        QTRY_VERIFY(!slack_.requests("emoji.list").isEmpty());  // and syncing starts
    }

    // A callback that is not the pending sign-in's own (an earlier page's, a used one, one made
    // up) is told so and changes nothing: the real one still signs in.
    void aCallbackNotForThePendingSignInChangesNothing() {
        start();
        parts_->signIn.signIn();
        const QString pending = nonce();
        const QByteArray other = "This isn't the sign-in Trackglint is waiting for";
        for (const QString& query :
             {QString("code=abc&state=eyJwb3J0Ijo4ODk5fQ"), QString("error=access_denied"),
              QString("error=access_denied&nonce=00"), QString("code=abc")}) {
            QVERIFY2(browseBack(query).contains(other), qPrintable(query));
        }
        QTest::qWait(100);
        QCOMPARE(parts_->state.lastError(), std::nullopt);
        QCOMPARE(nonce(), pending);
        QVERIFY(listening() && slack_.requests().isEmpty());
        const QString real = "code=abc&state=" + state();
        QVERIFY(browseBack(real).contains("connected"));
        QTRY_COMPARE(Config(settingsPath_).slackToken(), "xoxp-new");
        QVERIFY(!listening());
        QCOMPARE(slack_.requests("oauth.v2.access").size(), 1);
    }

    // A copy without a Slack app of its own asks for the user's, keeps its client ID, and signs
    // in through Slack's redirect straight to this computer; Slack refuses another client.
    void aClientIdGivenAtRunTimeSignsInThroughSlacksRedirect() {
        if (slackAppBuiltIn()) QSKIP("built with a Slack app of its own");
        slack_.registerApp(CLIENT_ID, SLACK_REDIRECT);
        QVERIFY(writeSettings(settingsPath_, {}));
        start();
        UserActions& actions = parts_->actions;
        QSignalSpy asked(&actions, &UserActions::slackAppNeeded);
        actions.signIn();
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked[0][0].toString(), QString());
        QCOMPARE(actions.signInWithSlackApp("0123456789abcdef0123456789abcdef"),
                 "That looks like the Client Secret or Signing Secret: Trackglint needs the "
                 "Client ID, which has a dot in it.");
        QVERIFY(parts_->desktop.opened.isEmpty() && !parts_->config.slackClientId());
        QCOMPARE(actions.signInWithSlackApp(" " + CLIENT_ID + "\n"), std::nullopt);
        QCOMPARE(Config(settingsPath_).slackClientId(), CLIENT_ID);

        std::unique_ptr<QNetworkReply> slacks = browse(parts_->desktop.opened.value(0));
        QCOMPARE(slacks->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 302);
        const QUrl back(QString::fromUtf8(slacks->rawHeader("Location")));
        QCOMPARE(back.toString(QUrl::RemoveQuery), "http://localhost:8899/slack/callback");
        QVERIFY(browseBack(back.query(QUrl::FullyEncoded)).contains("connected"));
        QTRY_COMPARE(Config(settingsPath_).slackToken(), "xoxp-new");
        QCOMPARE(slack_.requests("oauth.v2.access").value(0).formValue("client_id"), CLIENT_ID);
        QVERIFY(!actions.asksForSlackApp());

        slack_.registerApp("3333333333.4444444444", SLACK_REDIRECT);
        actions.signIn();  // another workspace, with the app kept
        QCOMPARE(asked.size(), 1);
        slacks = browse(parts_->desktop.opened.value(1));
        QVERIFY(slacks->readAll().contains("Invalid client_id parameter"));
        QVERIFY(!slacks->hasRawHeader("Location"));

        actions.disconnect();  // the app is the copy's, not the account's
        const Config after(settingsPath_);
        QCOMPARE(after.slackClientId(), CLIENT_ID);
        QVERIFY(!after.slackToken() && actions.asksForSlackApp());
    }

    // A token that expires is stored with what renews it, and renewed before it expires.
    void anExpiringTokenIsStoredAndRenewed() {
        slack_.script("oauth.v2.access",
                      {{200, R"({"ok":true,"authed_user":{"access_token":"xoxe.xoxp-1",
            "refresh_token":"xoxe-1","expires_in":43200}})"},
                       {200, R"({"ok":true,"access_token":"xoxe.xoxp-2",
            "refresh_token":"xoxe-2","expires_in":43200,"token_type":"user"})"}});
        start();
        parts_->signIn.signIn();
        browseBack("code=abc&state=" + state());
        QTRY_COMPARE(parts_->config.slackToken(), "xoxe.xoxp-1");
        const qint64 now = parts_->clock.now().toSecsSinceEpoch();
        QCOMPARE(parts_->config.workspaces().value(0).refreshToken, "xoxe-1");
        QCOMPARE(parts_->config.workspaces().value(0).expiresAt, now + 43200);
        QVERIFY(qAbs(parts_->signIn.renewal().remainingTime() / 1000 - (43200 - 15 * 60)) < 5);
        parts_->signIn.renewTokens();  // not due yet
        parts_->clock.set(parts_->clock.now().addSecs(43200 - 15 * 60));
        parts_->signIn.renewTokens();
        QTRY_COMPARE(Config(settingsPath_).slackToken(), "xoxe.xoxp-2");
        QCOMPARE(parts_->config.workspaces().value(0).refreshToken, "xoxe-2");
        QCOMPARE(slack_.requests("oauth.v2.access").size(), 2);
        const FakeSlack::Request renewal = slack_.requests("oauth.v2.access").value(1);
        QCOMPARE(QUrlQuery(QString::fromUtf8(renewal.body)).queryItems(QUrl::FullyDecoded),
                 (QList<std::pair<QString, QString>>{{"client_id", CLIENT_ID},
                                                     {"grant_type", "refresh_token"},
                                                     {"refresh_token", "xoxe-1"}}));
    }

    // A renewal that meets a passing fault keeps every token and is tried again after a wait
    // (longer each time, at least what Slack asked for); a token from it is stored only when it
    // is sound and the workspace's own. The user hears of it once the token has expired.
    void aPassingFaultInARenewalKeepsTheSignIn_data() {
        QTest::addColumn<FakeSlack::Reply>("fault");
        QTest::addColumn<qint64>("wait");
        QTest::addColumn<QString>("why");
        const auto grant = [](const QByteArray& extra) {
            return FakeSlack::Reply(200, R"({"ok":true,"access_token":"xoxe.xoxp-2",
                "refresh_token":"r2","token_type":"user",)" +
                                             extra + "}");
        };
        QTest::newRow("rate limited")
            << FakeSlack::Reply(429, R"({"ok":false,"error":"ratelimited"})", 0,
                                {{"Retry-After", "300"}})
            << qint64(300) << "ratelimited";
        QTest::newRow("unavailable") << FakeSlack::Reply(503, "<html>Service Unavailable</html>")
                                     << qint64(60) << "HTTP 503";
        QTest::newRow("internal error")
            << FakeSlack::Reply(200, R"({"ok":false,"error":"internal_error"})") << qint64(60)
            << "internal_error";
        QTest::newRow("no token") << FakeSlack::Reply(200, R"({"ok":true})") << qint64(60)
                                  << "no usable token";
        QTest::newRow("lifetime out of range")
            << grant(R"("expires_in":1e300)") << qint64(60) << "no usable token";
        QTest::newRow("another workspace's")
            << grant(R"("expires_in":43200,"team":{"id":"T2"})") << qint64(60) << "no usable token";
    }
    void aPassingFaultInARenewalKeepsTheSignIn() {
        QFETCH(FakeSlack::Reply, fault);
        QFETCH(qint64, wait);
        QFETCH(QString, why);
        QVERIFY(writeSettings(settingsPath_, {{"slackToken", "xoxe.xoxp-1"},
                                              {"slackRefreshToken", "r1"},
                                              {"slackTeamId", "T1"},
                                              {"slackTokenExpiresAt", 1'700'000'600.0},
                                              {"slackClientId", CLIENT_ID}}));
        slack_.script("oauth.v2.access", {fault});
        start();
        parts_->clock.set(QDateTime::fromSecsSinceEpoch(1'700'000'000));
        for (const qint64 expired : {0, 1}) {
            parts_->signIn.renewTokens();
            QTRY_COMPARE(slack_.requests("oauth.v2.access").size(), 1 + expired);
            QTRY_VERIFY(parts_->signIn.renewal().isActive());
            const qint64 waited = expired ? std::max<qint64>(wait, 120) : wait;  // doubled
            QVERIFY(qAbs(parts_->signIn.renewal().remainingTime() / 1000 - waited) < 5);
            const Config stored(settingsPath_);
            QCOMPARE(stored.slackToken(), "xoxe.xoxp-1");
            QCOMPARE(stored.workspaces().value(0).refreshToken, "r1");
            QCOMPARE(parts_->state.lastError().has_value(), bool(expired));
            parts_->signIn.renewTokens();  // not yet
            QCOMPARE(slack_.requests("oauth.v2.access").size(), 1 + expired);
            parts_->clock.set(parts_->clock.now().addSecs(std::max<qint64>(waited, 600)));
        }
        QVERIFY(parts_->state.lastError()->startsWith("Slack couldn't renew your sign-in (" + why +
                                                      ") — retrying at "));
        slack_.script("oauth.v2.access", R"({"ok":true,"access_token":"xoxe.xoxp-2",
                        "refresh_token":"r2","expires_in":43200,"team":{"id":"T1"}})");
        parts_->signIn.renewTokens();
        QTRY_COMPARE(Config(settingsPath_).slackToken(), "xoxe.xoxp-2");
    }

    // However short-lived the tokens Slack hands out, renewals are a minute apart.
    void renewalsOfShortLivedTokensAreSpaced() {
        QVERIFY(writeSettings(settingsPath_, {{"slackToken", "xoxe.xoxp-1"},
                                              {"slackRefreshToken", "r1"},
                                              {"slackTokenExpiresAt", 1'000.0},
                                              {"slackClientId", CLIENT_ID}}));
        slack_.script("oauth.v2.access", R"({"ok":true,"access_token":"xoxe.xoxp-2",
                        "refresh_token":"r2","expires_in":0})");
        start();
        parts_->signIn.renewTokens();
        QTRY_COMPARE(Config(settingsPath_).slackToken(), "xoxe.xoxp-2");
        QTest::qWait(500);
        QCOMPARE(slack_.requests("oauth.v2.access").size(), 1);
        QVERIFY(parts_->signIn.renewal().remainingTime() > 55'000);
        parts_->clock.set(parts_->clock.now().addSecs(60));
        parts_->signIn.renewTokens();
        QTRY_COMPARE(slack_.requests("oauth.v2.access").size(), 2);
    }

    // Slack refuses the token for good: the user is signed out, keeping every choice, and told
    // why. An expired token is renewed first, and only a refused renewal signs out.
    void aRefusedTokenSignsOutKeepingTheChoices_data() {
        QTest::addColumn<QString>("error");
        QTest::addColumn<QByteArray>("renewal");  // empty: the token does not expire
        QTest::addColumn<QString>("signedOut");   // empty: still signed in
        QTest::newRow("revoked") << "token_revoked" << QByteArray() << "token_revoked";
        QTest::newRow("account gone") << "account_inactive" << QByteArray() << "account_inactive";
        QTest::newRow("expired, renewed")
            << "token_expired"
            << QByteArray(R"({"ok":true,"access_token":"xoxe.xoxp-2","refresh_token":"r2",
                "expires_in":43200})")
            << "";
        QTest::newRow("expired, renewal refused")
            << "token_expired" << QByteArray(R"({"ok":false,"error":"invalid_refresh_token"})")
            << "invalid_refresh_token";
    }
    void aRefusedTokenSignsOutKeepingTheChoices() {
        QFETCH(QString, error);
        QFETCH(QByteArray, renewal);
        QFETCH(QString, signedOut);
        QJsonObject settings{{"slackToken", "xoxp-old"}, {"paused", true}, {"emoji", ":cd:"}};
        if (!renewal.isEmpty()) {
            settings.insert("slackRefreshToken", "r1");
            settings.insert("slackTokenExpiresAt", 4'000'000'000.0);
            slack_.script("oauth.v2.access", renewal);
        }
        QVERIFY(writeSettings(settingsPath_, settings));
        slack_.revoke("xoxp-old", error);
        start();
        parts_->slack.readStatus("xoxp-old");
        QTRY_VERIFY(parts_->config.slackToken() != "xoxp-old");
        QTRY_COMPARE(Config(settingsPath_).slackToken().has_value(), signedOut.isEmpty());
        QCOMPARE(parts_->state.lastError(),
                 signedOut.isEmpty()
                     ? std::nullopt
                     : std::optional("Slack signed you out (" + signedOut + ") — sign in again."));
        const Config stored(settingsPath_);
        QVERIFY(stored.paused() && stored.chosenEmoji() == ":cd:");
        QCOMPARE(stored.workspaces().value(0).refreshToken.has_value(), signedOut.isEmpty());
    }

    // A sign-in the file cannot keep is not shown as done: the next start would not have it.
    void aSignInThatCannotBeSavedIsUndoneAndSaysWhy() {
        start(false, dir_.filePath("missing/.trackglint-mac.json"));
        parts_->config.setSlackClientId(CLIENT_ID);
        parts_->signIn.signIn();
        browseBack("code=abc&state=" + state());
        QTRY_VERIFY(parts_->state.lastError());
        QCOMPARE(*parts_->state.lastError(),
                 "Couldn't save your sign-in: No such file or directory");
        QCOMPARE(parts_->config.slackToken(), std::nullopt);
        QVERIFY(!parts_->loginItem.enabled());
    }

    // Only the program's own status is cleared, and only while Slack still shows it.
    void disconnectForgetsEverything_data() {
        QTest::addColumn<QJsonObject>("settings");
        QTest::addColumn<QString>("showing");
        QTest::addColumn<int>("clears");
        QJsonObject own{{"slackToken", "xoxp-1"}, {"paused", true}, {"emoji", ":cd:"}};
        own.insert("lastSetText", "Song — Band");
        QTest::newRow("own status showing") << own << "Song — Band" << 1;
        QTest::newRow("user's own status since") << own << "In a meeting" << 0;
        QTest::newRow("no own status")
            << QJsonObject{{"slackToken", "xoxp-1"}, {"paused", true}} << "" << 0;
        QTest::newRow("signed out") << QJsonObject{{"emoji", ":cd:"}} << "" << 0;
    }
    void disconnectForgetsEverything() {
        QFETCH(QJsonObject, settings);
        QFETCH(QString, showing);
        QFETCH(int, clears);
        slack_.shows(showing);
        QVERIFY(writeSettings(settingsPath_, settings));
        start();
        parts_->state.setNowPlayingLabel("▶ Song — Band");
        parts_->actions.disconnect();
        QVERIFY(!QFile::exists(settingsPath_));
        QCOMPARE(parts_->config.raw(), QJsonObject());
        QCOMPARE(parts_->state.nowPlayingLabel(), QString("…"));
        parts_.reset();  // waits for the background clear
        QCOMPARE(slack_.profilesSent(), QList<QJsonObject>(clears, CLEARING));
        for (const FakeSlack::Request& clear : slack_.requests("users.profile.set"))
            QCOMPARE(clear.headers.value("authorization"), "Bearer xoxp-1");
    }

    // Signing in to a workspace already there replaces its sign-in, keeping the text its status
    // shows; another workspace is added after the others. Removing one clears the program's
    // status there alone and forgets it, the next taking the first place in the file; Slack
    // signing the user out of one says which.
    void workspacesAreAddedReplacedAndRemovedOneByOne() {
        const QJsonObject builders{{"slackToken", "xoxp-2"},
                                   {"slackName", "ada"},
                                   {"teamUrl", "https://builders.slack.com/"},
                                   {"slackTeamId", "T2"},
                                   {"lastSetText", "Song — Band"},
                                   {"unknown", 7}};
        QVERIFY(writeSettings(settingsPath_, {{"slackToken", "xoxp-1"},
                                              {"teamUrl", "https://acme.slack.com/"},
                                              {"slackTeamId", "T1"},
                                              {"slackClientId", CLIENT_ID},
                                              {"lastSetText", "Song — Band"},
                                              {"moreWorkspaces", QJsonArray{builders}}}));
        slack_.shows("Song — Band");
        slack_.script("auth.test", {{200, R"({"ok":true,"user":"ada","team_id":"T2",
            "url":"https:\/\/builders.slack.com\/","team":"Builders"})"},
                                    {200, R"({"ok":true,"user":"ada","team_id":"T3",
            "url":"https:\/\/third.slack.com\/"})"}});
        start();
        parts_->sync.stopSync();  // no step takes the status down meanwhile
        for (const int count : {2, 3}) {
            parts_->signIn.signIn();
            browseBack("code=abc&state=" + state());
            QTRY_COMPARE(Config(settingsPath_).workspaces().size(), count);
        }
        const QList<Workspace> signedIn = Config(settingsPath_).workspaces();
        QCOMPARE(signedIn[1].token, "xoxp-new");
        QCOMPARE(signedIn[1].lastSetText, "Song — Band");
        QCOMPARE(signedIn[1].teamName, "Builders");
        QCOMPARE(signedIn[2].host(), "third.slack.com");
        QCOMPARE(parts_->config.raw().value("moreWorkspaces")[0]["unknown"], 7);

        QCOMPARE(parts_->signIn.removeWorkspace("T1"), std::nullopt);
        QTRY_COMPARE(slack_.profilesSent(), QList<QJsonObject>{CLEARING});
        QCOMPARE(slack_.requests("users.profile.set").value(0).token(), "xoxp-1");
        const Config stored(settingsPath_);
        QCOMPARE(stored.slackToken(), "xoxp-new");
        QCOMPARE(stored.workspaces().size(), 2);

        slack_.revoke("xoxp-new");
        parts_->slack.readStatus("xoxp-new");
        QTRY_COMPARE(parts_->state.lastError(), "Slack signed you out of Builders — Sign in again");
        QCOMPARE(Config(settingsPath_).workspaces().value(0).token, QString());
        QCOMPARE(Config(settingsPath_).teamUrl(), "https://builders.slack.com/");
    }

    void theLoginItemIsAnAutostartEntry() {
        start();
        const auto toggle = [this] { parts_->actions.toggleLoginItem(); };
        const AppState& state = parts_->state;
        QFile file(dir_.filePath("config/autostart/trackglint.desktop"));
        QVERIFY(!parts_->loginItem.enabled());
        toggle();
        const QByteArray text = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        file.close();
        QVERIFY2(text.startsWith("[Desktop Entry]\n") && text.contains("\nType=Application\n") &&
                     text.contains("\nExec=\"/opt/Track glint/run\"\n"),
                 text.constData());
        toggle();
        QVERIFY(!file.exists());

        // An entry the user hid counts as off; turning it on writes it afresh.
        QVERIFY(file.open(QIODevice::WriteOnly) &&
                file.write("[Desktop Entry]\nType=Application\nExec=x\nHidden=true\n") > 0);
        file.close();
        QVERIFY(!parts_->loginItem.enabled());
        toggle();
        QVERIFY(parts_->loginItem.enabled());
        QCOMPARE(state.lastError(), std::nullopt);

        QFile(dir_.filePath("blocked")).open(QIODevice::WriteOnly);
        qputenv("XDG_CONFIG_HOME", dir_.filePath("blocked").toUtf8());
        toggle();
        qputenv("XDG_CONFIG_HOME", dir_.filePath("config").toUtf8());
        QVERIFY(state.lastError().value_or("").startsWith("Login item: could not create "));
    }
};

QTEST_GUILESS_MAIN(SignInTest)
#include "tst_signin.moc"
