#include <QElapsedTimer>
#include <QJsonDocument>
#include <QTcpServer>
#include <QTest>

#include "FakeClock.h"
#include "FakeSlack.h"
#include "slack/SlackApi.h"

namespace {

QJsonObject json(const QByteArray& text) {
    return QJsonDocument::fromJson(text).object();
}

QJsonObject sentProfile(const FakeSlack::Request& request) {
    return json(request.formValue(QStringLiteral("profile")).toUtf8());
}

}  // namespace

class SlackTest : public QObject {
    Q_OBJECT

  private:
    FakeSlack slack_;

  private slots:
    void initTestCase() { slack_.useForSlack(); }
    void init() { slack_.reset(); }

    void formValuesAreEncodedByCodePoint_data() {
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
    }
    void formValuesAreEncodedByCodePoint() {
        QFETCH(QString, value);
        QFETCH(QByteArray, encoded);
        QCOMPARE(formEncode(value), encoded);
    }

    void textIsCutByUserPerceivedCharacters_data() {
        QTest::addColumn<QString>("unit");
        QTest::newRow("ASCII") << "a";
        QTest::newRow("letter with combining mark") << "e\u0301";
        QTest::newRow("emoji with skin tone") << "👍🏽";
        QTest::newRow("flag") << "🇸🇪";
        QTest::newRow("family") << "👨‍👩‍👧";
    }
    void textIsCutByUserPerceivedCharacters() {
        QFETCH(QString, unit);
        QCOMPARE(firstGraphemes(unit.repeated(150), 100), unit.repeated(100));
        QCOMPARE(firstGraphemes(unit.repeated(100), 100), unit.repeated(100));
        QCOMPARE(firstGraphemes(unit.repeated(3), 100), unit.repeated(3));
    }

    void aCallIsAFormPostWithTheBearerToken() {
        slack_.script("users.profile.get", R"({"ok":true})");
        const SlackReply reply =
            slackCall("users.profile.get", "xoxp-1", {{"a", "x y"}, {"b", "é"}});
        QCOMPARE(reply, json(R"({"ok":true})"));
        const QList<FakeSlack::Request> requests = slack_.requests();
        QCOMPARE(requests.size(), 1);
        QCOMPARE(requests[0].method, QByteArray("POST"));
        QCOMPARE(requests[0].path, QStringLiteral("/api/users.profile.get"));
        QCOMPARE(requests[0].headers.value("authorization"), QByteArray("Bearer xoxp-1"));
        QCOMPARE(requests[0].headers.value("content-type"),
                 QByteArray("application/x-www-form-urlencoded"));
        QCOMPARE(requests[0].body, QByteArray("a=x%20y&b=\xC3\xA9"));
    }

    void noParamsSendAnEmptyBodyWithHeaders() {
        slack_.script("emoji.list", R"({"ok":true})");
        slackCall("emoji.list", "xoxp-1");
        const FakeSlack::Request request = slack_.requests().value(0);
        QCOMPARE(request.body, QByteArray());
        QCOMPARE(request.headers.value("authorization"), QByteArray("Bearer xoxp-1"));
        QCOMPARE(request.headers.value("content-type"),
                 QByteArray("application/x-www-form-urlencoded"));
    }

    void repliesAreTakenAsSentOrFoldedIntoNetwork_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray network = R"({"ok":false,"error":"network"})";
        QTest::newRow("rate limit 429")
            << 429 << QByteArray(R"({"ok":false,"error":"ratelimited"})")
            << QByteArray(R"({"ok":false,"error":"ratelimited"})");
        QTest::newRow("error object with 500")
            << 500 << QByteArray(R"({"ok":false,"error":"fatal_error"})")
            << QByteArray(R"({"ok":false,"error":"fatal_error"})");
        QTest::newRow("array") << 200 << QByteArray("[1,2]") << network;
        QTest::newRow("HTML page") << 502 << QByteArray("<html>Bad gateway</html>") << network;
        QTest::newRow("empty body") << 200 << QByteArray() << network;
        QTest::newRow("JSON string") << 200 << QByteArray(R"("ok")") << network;
    }
    void repliesAreTakenAsSentOrFoldedIntoNetwork() {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, expected);
        slack_.script("users.profile.get", {{status, body}});
        QCOMPARE(slackCall("users.profile.get", "t"), json(expected));
    }

    void anUnreachableHostIsANetworkFailure() {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const quint16 port = closed.serverPort();
        closed.close();
        qputenv("TRACKGLINT_SLACK_URL", QByteArray("http://127.0.0.1:") + QByteArray::number(port));
        const SlackReply reply = slackCall("users.profile.get", "t");
        slack_.useForSlack();
        QCOMPARE(reply, networkFailure());
    }

    void aSlowReplyIsAbandonedAfterTenSeconds() {
        slack_.script("users.profile.get", {{200, R"({"ok":true})", 12'000}});
        QElapsedTimer elapsed;
        elapsed.start();
        const SlackReply reply = slackCall("users.profile.get", "t");
        QCOMPARE(reply, networkFailure());
        QVERIFY2(elapsed.elapsed() >= 9'900 && elapsed.elapsed() < 11'500,
                 qPrintable(QString::number(elapsed.elapsed())));
    }

    void setStatusSendsTextEmojiAndExpiry() {
        slack_.script("users.profile.set", R"({"ok":true})");
        const FakeClock clock(QDateTime::fromSecsSinceEpoch(1'800'000'000));
        const SlackReply reply = setStatus("xoxp-1", "Song — Band", ":cd:", clock);
        QVERIFY(replySucceeded(reply));
        const FakeSlack::Request request = slack_.requests("users.profile.set").value(0);
        QCOMPARE(sentProfile(request), json(R"({"status_text":"Song — Band","status_emoji":":cd:",
                          "status_expiration":1800000300})"));
        QVERIFY(!request.formValue("profile").contains(u'\n'));
    }

    void setStatusCutsLongTextsAndClearsWithEmptyValues() {
        slack_.script("users.profile.set", R"({"ok":true})");
        const FakeClock clock(QDateTime::fromSecsSinceEpoch(1'800'000'000));
        setStatus("t", QString(150, u'é'), ":cd:", clock);
        setStatus("t", QString(), ":spotify:", clock);
        const QList<FakeSlack::Request> sets = slack_.requests("users.profile.set");
        QCOMPARE(sentProfile(sets.value(0)).value("status_text").toString(), QString(100, u'é'));
        QCOMPARE(sentProfile(sets.value(1)),
                 json(R"({"status_text":"","status_emoji":"","status_expiration":0})"));
    }

    void currentStatusTextDistinguishesNoAnswerFromNoStatus_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<std::optional<QString>>("text");
        QTest::newRow("status") << QByteArray(R"({"ok":true,"profile":{"status_text":"Lunch"}})")
                                << std::optional<QString>("Lunch");
        QTest::newRow("empty profile")
            << QByteArray(R"({"ok":true,"profile":{}})") << std::optional<QString>("");
        QTest::newRow("profile not an object")
            << QByteArray(R"({"ok":true,"profile":"x"})") << std::optional<QString>("");
        QTest::newRow("text not a string")
            << QByteArray(R"({"ok":true,"profile":{"status_text":5}})")
            << std::optional<QString>("");
        QTest::newRow("Slack error")
            << QByteArray(R"({"ok":false,"error":"invalid_auth"})") << std::optional<QString>();
        QTest::newRow("ok not a boolean")
            << QByteArray(R"({"ok":"true","profile":{}})") << std::optional<QString>();
        QTest::newRow("not JSON") << QByteArray("oops") << std::optional<QString>();
    }
    void currentStatusTextDistinguishesNoAnswerFromNoStatus() {
        QFETCH(QByteArray, reply);
        QFETCH(std::optional<QString>, text);
        slack_.script("users.profile.get", reply);
        QCOMPARE(currentStatusText("t"), text);
    }

    void spotifyEmojiExistsHasThreeAnswers_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<std::optional<bool>>("exists");
        QTest::newRow("image") << QByteArray(
                                      R"({"ok":true,"emoji":{"spotify":"https:\/\/x\/s.png"}})")
                               << std::optional<bool>(true);
        QTest::newRow("alias") << QByteArray(R"({"ok":true,"emoji":{"spotify":"alias:music"}})")
                               << std::optional<bool>(true);
        QTest::newRow("absent") << QByteArray(R"({"ok":true,"emoji":{"spotted":"x"}})")
                                << std::optional<bool>(false);
        QTest::newRow("no list") << QByteArray(R"({"ok":true})") << std::optional<bool>();
        QTest::newRow("missing scope")
            << QByteArray(R"({"ok":false,"error":"missing_scope"})") << std::optional<bool>();
    }
    void spotifyEmojiExistsHasThreeAnswers() {
        QFETCH(QByteArray, reply);
        QFETCH(std::optional<bool>, exists);
        slack_.script("emoji.list", reply);
        QCOMPARE(spotifyEmojiExists("t"), exists);
    }
};

QTEST_GUILESS_MAIN(SlackTest)
#include "tst_slack.moc"
