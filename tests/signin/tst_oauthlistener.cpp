#include <QElapsedTimer>
#include <QNetworkInterface>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include "TestPorts.h"
#include "signin/OAuthListener.h"

namespace {

QByteArray page(const QByteArray& text) {
    const QByteArray body =
        "<html><body style='font-family:sans-serif;background:#0b0d0f;"
        "color:#e8eaec;display:flex;justify-content:center;padding-top:80px'>"
        "<div>" +
        text + "</div></body></html>";
    return "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
           QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}
const auto SIGNED_IN = page("✅ Trackglint is connected — you can close this tab.");
const auto NOT_SIGNED_IN = page("❌ Sign-in didn't complete — try again from Trackglint.");
const auto OTHER =
    page("❌ This isn't the sign-in Trackglint is waiting for — start again from Trackglint.");
const QByteArray NOT_FOUND = "HTTP/1.1 404 Not Found\r\nConnection: close\r\n\r\n";
const QString STATE = QStringLiteral("eyJwb3J0Ijo4ODk5LCJub25jZSI6IjAxMjMifQ");
const QString NONCE = QStringLiteral("0123456789abcdef0123456789abcdef");

struct Token {  // what onToken was given
    std::optional<QString> code, error;
    bool operator==(const Token&) const = default;
};

QByteArray get(const QByteArray& target) {
    return "GET " + target + " HTTP/1.1\r\nHost: localhost\r\nAccept: text/html\r\n\r\n";
}

QByteArray awaitClose(QTcpSocket& client, int limitMs = 3000) {
    const bool closed = QTest::qWaitFor(
        [&] { return client.state() == QAbstractSocket::UnconnectedState; }, limitMs);
    return client.readAll() + (closed ? "" : "[left open]");  // marked if not closed in time
}

}  // namespace

class OAuthListenerTest : public QObject {
    Q_OBJECT

    const quint16 port_ = freeLoopbackPort();
    std::unique_ptr<OAuthListener> listener_;
    QList<Token> tokens_;
    std::optional<QString> failure_;  // how the test ends a sign-in it is told of
    bool answerAtOnce_ = true;
    OAuthListener::Answer held_;

    QByteArray exchange(const QByteArray& request,
                        const QHostAddress& address = QHostAddress::LocalHost) {
        QTcpSocket client;
        client.connectToHost(address, port_);
        client.write(request);
        return awaitClose(client);
    }
    QByteArray callback(const QString& query) {
        QString filled = query;
        filled.replace("STATE", STATE).replace("NONCE", NONCE);
        return exchange(get("/slack/callback" + filled.toUtf8()));
    }

  private slots:
    void init() {
        listener_ = std::make_unique<OAuthListener>(port_);
        listener_->onToken = [this](auto code, auto error, auto answer) {
            tokens_.append({code, error});
            if (answerAtOnce_) return answer(failure_);
            held_ = answer;
        };
        QVERIFY(listener_->start(STATE, NONCE));
        tokens_.clear();
        failure_.reset();
        answerAtOnce_ = true;
    }

    // The pending attempt's own answer, carrying its state (Slack's redirect) or its nonce (a
    // hosted page), is reported once and its page says how the sign-in ended. Anything else
    // changes nothing: the real answer still gets through afterwards.
    void onlyThePendingAttemptsAnswerIsTaken_data() {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QByteArray>("response");
        QTest::addColumn<QList<Token>>("reported");
        const auto row = [](const char* tag, const QString& query, QByteArray response,
                            QList<Token> got = {}) {
            QTest::newRow(tag) << query << response << got;
        };
        row("Slack's redirect", "?code=abc&state=STATE", SIGNED_IN, {{"abc", {}}});
        row("hosted page", "?code=abc&nonce=NONCE", SIGNED_IN, {{"abc", {}}});
        row("declined", "?error=access_denied&state=STATE", SIGNED_IN, {{{}, "access_denied"}});
        row("code and error", "?error=e&code=c&state=STATE", SIGNED_IN, {{"c", "e"}});
        row("empty code", "?code=&state=STATE", SIGNED_IN, {{"", {}}});
        row("last item wins", "?code=a&state=STATE&code=b", SIGNED_IN, {{"b", {}}});
        row("plus stays a plus", "?code=a%2Bb+c&state=STATE", SIGNED_IN, {{"a+b+c", {}}});
        row("escapes decoded", "?code=%C3%A9%26x%3Dy&state=STATE", SIGNED_IN, {{"é&x=y", {}}});
        row("state escaped",
            "?code=a&state=" + STATE.left(5) + "%" + QByteArray::number(STATE[5].unicode(), 16) +
                STATE.mid(6),
            SIGNED_IN, {{"a", {}}});

        row("other state", "?code=abc&state=STATX", OTHER);
        row("state cut short", "?code=abc&state=" + STATE.chopped(1), OTHER);
        row("other nonce", "?code=abc&nonce=00", OTHER);
        row("forged error", "?error=access_denied", OTHER);
        row("state taken back", "?code=abc&state=STATE&state", OTHER);
        row("no query", "", NOT_SIGNED_IN);
        row("state alone", "?state=STATE", NOT_SIGNED_IN);
        row("code without =", "?code&state=STATE", NOT_SIGNED_IN);
        row("malformed escape", "?code=%zz&state=STATE", NOT_SIGNED_IN);
        row("tab in the target", "?code=a\tb&state=STATE", NOT_SIGNED_IN);
    }
    void onlyThePendingAttemptsAnswerIsTaken() {
        QFETCH(QString, query);
        QFETCH(QByteArray, response);
        QFETCH(QList<Token>, reported);
        QCOMPARE(callback(query), response);
        QCOMPARE(tokens_, reported);
        if (!reported.isEmpty()) {  // one use
            QCOMPARE(callback(query), OTHER);
            QCOMPARE(tokens_.size(), 1);
        } else {
            QCOMPARE(callback("?code=real&state=STATE"), SIGNED_IN);
            QCOMPARE(tokens_, (QList<Token>{{"real", {}}}));
        }
    }

    void otherRequestsGetABare404_data() {
        QTest::addColumn<QByteArray>("request");
        QTest::newRow("POST") << QByteArray("POST /slack/callback?code=a HTTP/1.1\r\n\r\n");
        QTest::newRow("lower-case get")
            << QByteArray("get /slack/callback?code=a HTTP/1.1\r\n\r\n");
        QTest::newRow("trailing slash") << get("/slack/callback/?code=a");
        QTest::newRow("favicon") << get("/favicon.ico");
        QTest::newRow("two spaces") << QByteArray("GET  /slack/callback?code=a HTTP/1.1\r\n\r\n");
        QTest::newRow("invalid UTF-8") << get("/slack/callback?code=a\xFF");
    }
    void otherRequestsGetABare404() {
        QFETCH(QByteArray, request);
        QCOMPARE(exchange(request), NOT_FOUND);
        QVERIFY(tokens_.isEmpty());
    }

    // The browser waits until the sign-in has ended, and its page says why one failed, as text.
    void theBrowserIsToldHowTheSignInEnded() {
        answerAtOnce_ = false;
        QTcpSocket browser;
        browser.connectToHost(QHostAddress::LocalHost, port_);
        browser.write(get("/slack/callback?code=abc&state=" + STATE.toUtf8()));
        QTRY_COMPARE(tokens_.size(), 1);
        QTest::qWait(300);
        QCOMPARE(browser.state(), QAbstractSocket::ConnectedState);  // still waiting
        held_(QStringLiteral("Sign-in exchange failed: <b>&invalid_code"));
        held_(std::nullopt);  // once only
        QCOMPARE(awaitClose(browser),
                 page("❌ Sign-in exchange failed: &lt;b&gt;&amp;invalid_code — try again from "
                      "Trackglint."));
        held_(std::nullopt);  // the browser has gone
    }

    // Answered once the request line is in, whatever the pieces it came in, from at most 16384
    // bytes; a connection without a request line closes after 5 s.
    void eachConnectionIsReadOnce() {
        QTcpSocket split, oversized, silent;
        QElapsedTimer elapsed;
        elapsed.start();
        for (QTcpSocket* client : {&split, &oversized, &silent})
            client->connectToHost(QHostAddress::LocalHost, port_);
        QVERIFY(split.waitForConnected() && silent.waitForConnected());
        silent.write("GET /slack/callback?code=never HTTP/1.1");
        const QByteArray middle = "ck/callback?code=abc&nonce=" + NONCE.toUtf8() + " HTTP/1.1\r";
        for (const QByteArray& piece : {QByteArray("GET /sla"), middle, QByteArray("\n\r\n")}) {
            split.write(piece);
            QTest::qWait(200);
        }
        QCOMPARE(awaitClose(split), SIGNED_IN);
        // Written in full before the listener gets to run, so that all of it has arrived.
        oversized.write("GET /slack/callback?code=" + QByteArray(20'000, 'a'));
        while (oversized.bytesToWrite() > 0) QVERIFY(oversized.waitForBytesWritten());
        QCOMPARE(awaitClose(oversized), OTHER);  // cut at 16384 bytes, before any state
        QCOMPARE(awaitClose(silent, 7000), QByteArray());
        QVERIFY2(elapsed.elapsed() >= 4950 && elapsed.elapsed() < 6000,
                 qPrintable(QString::number(elapsed.elapsed())));
        QCOMPARE(tokens_, (QList<Token>{{"abc", {}}}));
    }

    // Browsers take "localhost" for 127.0.0.1 or ::1: both are listened on, and nothing else.
    void bothLoopbackAddressesAndNoOtherAreListenedOn() {
        QTcpServer ipv6;
        const bool hasIpv6 = ipv6.listen(QHostAddress::LocalHostIPv6, 0);
        ipv6.close();
        if (hasIpv6) {
            QCOMPARE(exchange(get("/slack/callback?code=six&state=" + STATE.toUtf8()),
                              QHostAddress::LocalHostIPv6),
                     SIGNED_IN);
            QCOMPARE(tokens_, (QList<Token>{{"six", {}}}));
        }
        for (const QHostAddress& address :
             QNetworkInterface::allAddresses() + QList{QHostAddress("127.0.0.2")}) {
            if (address.isLoopback() && address != QHostAddress("127.0.0.2")) continue;
            QTcpSocket client;
            client.connectToHost(address, port_);
            QVERIFY2(!client.waitForConnected(1000), qPrintable(address.toString()));
        }
    }

    // A port taken on either loopback address fails at once; stop frees both, and forgets the
    // attempt.
    void startFailsAtOnceOnATakenPortAndStopFreesIt() {
        QVERIFY(!listener_->start("other", "other"));  // taken by itself: the held one answers
        QCOMPARE(callback("?code=1&state=STATE"), SIGNED_IN);
        listener_->stop();
        for (const QHostAddress& address :
             {QHostAddress(QHostAddress::LocalHost), QHostAddress(QHostAddress::LocalHostIPv6)}) {
            QTcpServer taken;
            if (!taken.listen(address, port_)) continue;  // a system without IPv6
            QVERIFY2(!listener_->start(STATE, NONCE), qPrintable(address.toString()));
        }
        QVERIFY(listener_->start(STATE, NONCE));
        listener_->onToken = [this](auto, auto, auto answer) {
            listener_->stop();  // allowed
            answer(std::nullopt);
        };
        QCOMPARE(callback("?code=2&nonce=NONCE"), SIGNED_IN);
        QVERIFY(listener_->start("later", "later"));
        QCOMPARE(exchange(get("/favicon.ico")), NOT_FOUND);
        QCOMPARE(callback("?code=3&state=STATE"), OTHER);  // the stopped attempt's
        OAuthListener(freeLoopbackPort()).stop();
    }
};

QTEST_GUILESS_MAIN(OAuthListenerTest)
#include "tst_oauthlistener.moc"
