#include <QElapsedTimer>
#include <QJsonDocument>
#include <QTest>

#include "FakeSlack.h"
#include "TestPorts.h"
#include "slack/SlackApi.h"

class SlackTest : public QObject {
    Q_OBJECT

    FakeSlack slack_;

    static QJsonObject json(const QByteArray& t) { return QJsonDocument::fromJson(t).object(); }
    static inline const QJsonObject NETWORK = json(R"({"ok":false,"error":"network"})");

  private slots:
    void initTestCase() { slack_.useForSlack(); }
    void init() { slack_.reset(); }

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
        slackCall("emoji.list", "xoxp-1", {{"a", "x y"}, {"b", value}});
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
        row("rate limit 429", 429, R"({"ok":false,"error":"ratelimited"})", false, {}, {});
        row("error object with 500", 500, R"({"ok":false,"error":"fatal_error"})", false, {}, {});
        row("array", 200, "[1,2]", true, {}, {});
        row("HTML page", 502, "<html>Bad gateway</html>", true, {}, {});
        row("empty body", 200, "", true, {}, {});
        row("JSON string", 200, R"("ok")", true, {}, {});
        row("status", 200, R"({"ok":true,"profile":{"status_text":"Lunch"}})", false, "Lunch", {});
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
        QCOMPARE(slackCall("users.profile.get", "t"), folded ? NETWORK : json(body));
        QCOMPARE(currentStatusText("t"), text);
        QCOMPARE(spotifyEmojiExists("t"), emoji);
    }

    void noAnswerIsANetworkFailure() {
        qputenv("TRACKGLINT_SLACK_URL",
                "http://127.0.0.1:" + QByteArray::number(freeLoopbackPort()));
        QCOMPARE(slackCall("users.profile.get", "t"), NETWORK);
        slack_.useForSlack();
        slack_.script("users.profile.get", {{200, R"({"ok":true})", 12'000}});
        QElapsedTimer elapsed;
        elapsed.start();
        QCOMPARE(slackCall("users.profile.get", "t"), NETWORK);
        QVERIFY2(elapsed.elapsed() >= 9'900 && elapsed.elapsed() < 11'500,
                 qPrintable(QString::number(elapsed.elapsed())));
    }
};

QTEST_GUILESS_MAIN(SlackTest)
#include "tst_slack.moc"
