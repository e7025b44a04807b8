#include <QElapsedTimer>
#include <QJsonDocument>
#include <QTest>

#include <QSignalSpy>
#include <thread>

#include "FakeClock.h"
#include "FakeSlack.h"
#include "TestPorts.h"
#include "slack/SlackClient.h"

class SlackTest : public QObject {
    Q_OBJECT

    FakeSlack slack_;
    FakeClock clock_{QDateTime()};
    std::unique_ptr<SlackClient> client_;

    static QJsonObject json(const QByteArray& t) { return QJsonDocument::fromJson(t).object(); }
    static inline const QJsonObject NETWORK = json(R"({"ok":false,"error":"network"})");

  private slots:
    void initTestCase() {
        slack_.useForSlack();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }
    void init() {
        slack_.reset();
        clock_.set(QDateTime(QDate(2026, 12, 7), QTime(10, 0)));
        client_ = std::make_unique<SlackClient>(clock_);
    }

    void formValuesAreEncodedByCodePointAndPostedWithTheToken_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("encoded");
        QTest::newRow("space and colon") << "A b:c" << QByteArray("A%20b%3Ac");
        QTest::newRow("accented letter") << "é" << QByteArray("\xC3\xA9");
        QTest::newRow("combining mark") << "e\u0301" << QByteArray("e\xCC\x81");
        QTest::newRow("unreserved ASCII") << "-._~" << QByteArray("%2D%2E%5F%7E");
        QTest::newRow("plus and ampersand") << "+&=" << QByteArray("%2B%26%3D");
        QTest::newRow("other scripts") << "日本٣" << QByteArray("\xE6\x97\xA5\xE6\x9C\xAC\xD9\xA3");
        QTest::newRow("emoji") << "🎵" << QByteArray("%F0%9F%8E%B5");
        QTest::newRow("em dash") << "—" << QByteArray("%E2%80%94");
        QTest::newRow("JSON") << R"({"a":1})" << QByteArray("%7B%22a%22%3A1%7D");
        QTest::newRow("byte-order mark") << "a\uFEFFb" << QByteArray("a%EF%BB%BFb");
        QTest::newRow("noncharacter") << "\uFFFE" << QByteArray("%EF%BF%BE");
        QTest::newRow("emoji with skin tone")
            << "👍🏽" << QByteArray("%F0%9F%91%8D%F0%9F%8F%BD");
    }
    void formValuesAreEncodedByCodePointAndPostedWithTheToken() {
        QFETCH(QString, value);
        QFETCH(QByteArray, encoded);
        slack_.script("emoji.list", R"({"ok":true})");
        client_->call("emoji.list", "xoxp-1", {{"a", "x y"}, {"b", value}});
        const FakeSlack::Request request = slack_.requests().value(0);
        QCOMPARE(request.method + ' ' + request.path.toUtf8(), QByteArray("POST /api/emoji.list"));
        QCOMPARE(request.headers.value("authorization"), QByteArray("Bearer xoxp-1"));
        QCOMPARE(request.headers.value("content-type"),
                 QByteArray("application/x-www-form-urlencoded"));
        QCOMPARE(request.body, "a=x%20y&b=" + encoded);
        QCOMPARE(request.formValue("b"), value);  // Slack reads back exactly the text
    }

    // Units of one user-perceived character each, then a text in another script.
    void textIsCutByUserPerceivedCharacters_data() {
        QTest::addColumn<QString>("unit");
        QTest::addColumn<QString>("after");
        QTest::newRow("ASCII") << "a"
                               << "";
        QTest::newRow("letter with combining mark") << "e\u0301"
                                                    << "";
        QTest::newRow("emoji with skin tone") << "👍🏽"
                                              << "";
        QTest::newRow("flag") << "🇸🇪"
                              << "";
        QTest::newRow("family") << "👨‍👩‍👧"
                                << "";
        QTest::newRow("emoji, then Devanagari") << "👍🏽"
                                                << " क";
        QTest::newRow("flag, then Thai") << "🇸🇪"
                                         << "ก";
    }
    void textIsCutByUserPerceivedCharacters() {
        QFETCH(QString, unit);
        QFETCH(QString, after);
        QCOMPARE(firstGraphemes(unit.repeated(150) + after, 100), unit.repeated(100));
        QCOMPARE(firstGraphemes(unit.repeated(100), 100), unit.repeated(100));
        QCOMPARE(firstGraphemes(unit.repeated(3) + after, 100), unit.repeated(3) + after);
        // Escaped by Slack, "&", "<" and ">" take five or four characters each.
        QCOMPARE(fitEscaped(unit.repeated(30) + QString(30, u'&'), 100),
                 unit.repeated(30) + QString(14, u'&'));
        QCOMPARE(fitEscaped(QString(30, u'<') + unit, 100), QString(25, u'<'));
    }

    // One reply as each reader takes it: the call itself, with anything but a JSON object
    // folded into the network failure, the status text and the emoji check (none: no answer).
    void repliesAreTakenAsSentOrFoldedIntoNetwork_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("folded");
        QTest::addColumn<std::optional<QString>>("text");
        QTest::addColumn<std::optional<bool>>("emoji");
        const auto row = [](const char* name, int status, const char* body, bool folded,
                            std::optional<QString> text, std::optional<bool> emoji) {
            QTest::newRow(name) << status << QByteArray(body) << folded << text << emoji;
        };
        row("error object with 500", 500, R"({"ok":false,"error":"fatal_error"})", false, {}, {});
        row("array", 200, "[1,2]", true, {}, {});
        row("HTML page", 502, "<html>Bad gateway</html>", true, {}, {});
        row("empty body", 200, "", true, {}, {});
        row("JSON string", 200, R"("ok")", true, {}, {});
        row("status", 200, R"({"ok":true,"profile":{"status_text":"Lunch"}})", false, "Lunch", {});
        row("escaped status", 200,
            R"({"ok":true,"profile":{"status_text":"A &amp;lt;3 &lt;B&gt;"}})", false,
            "A &lt;3 <B>", {});
        row("empty profile", 200, R"({"ok":true,"profile":{}})", false, "", {});
        row("text not a string", 200, R"({"ok":true,"profile":{"status_text":5}})", false, "", {});
        row("ok not a boolean", 200, R"({"ok":"true","profile":{}})", false, {}, {});
        row("emoji", 200, R"({"ok":true,"emoji":{"spotify":"https:\/\/x\/s.png"}})", false, "",
            true);
    }
    void repliesAreTakenAsSentOrFoldedIntoNetwork() {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(bool, folded);
        QFETCH(std::optional<QString>, text);
        QFETCH(std::optional<bool>, emoji);
        slack_.script("users.profile.get", {{status, body}});
        slack_.script("emoji.list", {{status, body}});
        const SlackReply reply = client_->readStatus("t");
        if (folded) QCOMPARE(reply.value("error"), "network");
        if (!folded) QCOMPARE(reply, json(body));
        QCOMPARE(statusTextIn(reply), text);
        QCOMPARE(client_->spotifyEmojiExists("t"), emoji);
    }

    // Refused for rate: the token's reads wait the time Slack named (a minute when none, an hour
    // at most, however large the number), then go on; its status changes never waited.
    void aRefusalForRateHoldsTheTokenBack() {
        const QList<std::pair<QByteArray, qint64>> waits = {
            {"120", 120}, {{}, 60}, {"10000000000000000", 3600}, {"99999999999999999999", 3600}};
        for (const auto& [retryAfter, wait] : waits) {
            init();
            FakeSlack::Reply refusal{429, R"({"ok":false,"error":"ratelimited"})"};
            if (!retryAfter.isEmpty()) refusal.headers = {{"Retry-After", retryAfter}};
            slack_.script("users.profile.get", {refusal, {200, R"({"ok":true})"}});
            slack_.script("users.profile.set", R"({"ok":true})");
            QCOMPARE(client_->readStatus("t").value("error"), "ratelimited");
            QCOMPARE(client_->waitingUntil("t"), clock_.now().addSecs(wait));
            QCOMPARE(client_->readStatus("t").value("error"), "ratelimited");
            QCOMPARE(client_->readStatus("other").value("ok"), true);  // another token goes on
            const QDateTime ends = clock_.now().addSecs(100);          // and a status change
            QCOMPARE(client_->setStatus("t", "x", ":cd:", ends).value("ok"), true);
            QCOMPARE(slack_.profilesSent().last().value("status_expiration").toInteger(),
                     ends.toSecsSinceEpoch());
            QCOMPARE(slack_.requests().size(), 3);
            clock_.set(clock_.now().addSecs(wait));
            QCOMPARE(client_->readStatus("t").value("ok"), true);
        }
    }

    // Ten status changes a minute per token: the eleventh waits for the oldest to age out.
    void statusChangesKeepToTheBudget() {
        slack_.setLimits({100, {}});  // the stand-in's minute is a real one; this one is not
        slack_.script("users.profile.set", R"({"ok":true})");
        const QDateTime start = clock_.now();
        for (int i = 0; i < SlackClient::PROFILE_WRITES_PER_MINUTE; ++i) {
            QCOMPARE(client_->nextWriteSlot("t"), std::nullopt);
            QCOMPARE(client_->setStatus("t", QString::number(i), ":cd:").value("ok"), true);
            clock_.set(clock_.now().addSecs(1));
        }
        QCOMPARE(client_->nextWriteSlot("t"), start.addSecs(60));
        QCOMPARE(client_->setStatus("t", "x", ":cd:").value("error"), "ratelimited");
        QCOMPARE(slack_.requests().size(), SlackClient::PROFILE_WRITES_PER_MINUTE);
        QCOMPARE(client_->explain(client_->clearStatus("t"), "t"),
                 "Slack asked to wait — retrying at 10:01 AM");
        clock_.set(start.addSecs(60));
        QCOMPARE(client_->setStatus("t", "x", ":cd:").value("ok"), true);
    }

    // A token Slack refused for good is not sent again, and said so once.
    void aRejectedTokenIsHeldBack_data() {
        QTest::addColumn<QString>("error");
        for (const char* error :
             {"invalid_auth", "token_revoked", "account_inactive", "not_authed", "token_expired"})
            QTest::newRow(error) << QString(error);
    }
    void aRejectedTokenIsHeldBack() {
        QFETCH(QString, error);
        slack_.revoke("t", error);
        QSignalSpy rejected(client_.get(), &SlackClient::tokenRejected);
        QCOMPARE(client_->readStatus("t").value("error"), error);
        QCOMPARE(client_->setStatus("t", "x", ":cd:").value("error"), error);
        QCOMPARE(rejected.size(), 1);
        QCOMPARE(slack_.requests().size(), 1);
        QCOMPARE(client_->explain(client_->readStatus("t"), "t"),
                 error == "token_expired"
                     ? "Your Slack sign-in has expired — renewing it"
                     : "Slack signed you out (" + error + ") — sign in again.");
    }

    // No answer, a reply that never ends and one too large are network failures; what was given
    // up is cancelled, so slow replies never hold up the next call.
    void noAnswerIsANetworkFailure() {
        qputenv("TRACKGLINT_SLACK_URL",
                "http://127.0.0.1:" + QByteArray::number(freeLoopbackPort()));
        QCOMPARE(client_->readStatus("t").value("error"), "network");
        slack_.useForSlack();
        slack_.script("emoji.list", {{200, "{\"x\":\"" + QByteArray(9 << 20, 'x') + "\"}"}});
        QCOMPARE(client_->call("emoji.list", "t").value("error"), "network");
        slack_.script("users.profile.get", {{200, R"({"ok":true})", 30'000}});
        QElapsedTimer elapsed;
        elapsed.start();
        std::vector<std::thread> slow;
        for (int i = 0; i < 7; ++i)
            slow.emplace_back(
                [this] { QCOMPARE(client_->readStatus("t").value("error"), "network"); });
        for (std::thread& call : slow) call.join();
        QVERIFY2(elapsed.elapsed() >= 9'900 && elapsed.elapsed() < 11'500,
                 qPrintable(QString::number(elapsed.elapsed())));
        slack_.script("users.profile.get", R"({"ok":true})");
        elapsed.restart();
        QCOMPARE(client_->readStatus("t").value("ok"), true);
        QVERIFY(elapsed.elapsed() < 2'000);
    }
};

QTEST_GUILESS_MAIN(SlackTest)
#include "tst_slack.moc"
