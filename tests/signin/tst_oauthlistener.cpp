#include <QElapsedTimer>
#include <QNetworkInterface>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include "TestPorts.h"
#include "signin/OAuthListener.h"

namespace {

QByteArray page(const QByteArray& size, const QByteArray& text) {
    return "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " + size +
           "\r\nConnection: close\r\n\r\n<html><body style='font-family:sans-serif;background:"
           "#0b0d0f;color:#e8eaec;display:flex;justify-content:center;padding-top:80px'><div>" +
           text + "</div></body></html>";
}
const auto SIGNED_IN = page("209", "✅ Trackglint is connected — you can close this tab.");
const auto NOT_SIGNED_IN = page("214", "❌ Sign-in didn't complete — try again from the menu bar.");
const QByteArray NOT_FOUND = "HTTP/1.1 404 Not Found\r\nConnection: close\r\n\r\n";

struct Token {  // what onToken was given
    std::optional<QString> code, nonce, error;
    bool operator==(const Token&) const = default;
};

QByteArray get(const QByteArray& target) {
    return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: text/html\r\n\r\n";
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

    QByteArray exchange(const QByteArray& request) {
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, port_);
        client.write(request);
        return awaitClose(client);
    }

  private slots:
    void init() {
        listener_ = std::make_unique<OAuthListener>(port_);
        listener_->onToken = [this](auto c, auto n, auto e) { tokens_.append({c, n, e}); };
        QVERIFY(listener_->start());
        tokens_.clear();
    }

    // Each request gets the exact page or a bare 404; a code or an error is reported.
    void requestsAreAnsweredAndReported_data() {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("response");
        QTest::addColumn<QList<Token>>("reported");
        const auto row = [](const char* tag, QByteArray req, QByteArray res,
                            QList<Token> got = {}) { QTest::newRow(tag) << req << res << got; };
        const auto callback = [](const QByteArray& q) { return get("/slack/callback" + q); };

        row("code and nonce", callback("?code=abc&nonce=0123"), SIGNED_IN, {{"abc", "0123", {}}});
        row("error and nonce", callback("?error=access_denied&nonce=00"), NOT_SIGNED_IN,
            {{{}, "00", "access_denied"}});
        row("code and error", callback("?error=e&code=c"), SIGNED_IN, {{"c", {}, "e"}});
        row("empty code", callback("?code="), SIGNED_IN, {{"", {}, {}}});
        row("last item wins", callback("?code=a&nonce=1&code=b"), SIGNED_IN, {{"b", "1", {}}});
        row("plus stays a plus", callback("?code=a%2Bb+c"), SIGNED_IN, {{"a+b+c", {}, {}}});
        row("escapes decoded", callback("?code=%C3%A9%26x%3Dy&nonce=%7e"), SIGNED_IN,
            {{"é&x=y", "~", {}}});
        row("split at the first =", callback("?code=a=b"), SIGNED_IN, {{"a=b", {}, {}}});
        row("non-ASCII character", callback("?code=é"), SIGNED_IN, {{"é", {}, {}}});

        row("no query", callback(""), NOT_SIGNED_IN);
        row("nonce alone", callback("?nonce=n"), NOT_SIGNED_IN);
        row("code without =", callback("?code"), NOT_SIGNED_IN);
        row("code taken back", callback("?code=a&code"), NOT_SIGNED_IN);
        row("malformed escape", callback("?code=%zz"), NOT_SIGNED_IN);
        row("lone percent sign", callback("?code=a&nonce=%"), NOT_SIGNED_IN);
        row("tab in the target", callback("?code=a\tb"), NOT_SIGNED_IN);

        row("POST", "POST /slack/callback?code=a HTTP/1.1\r\n\r\n", NOT_FOUND);
        row("lower-case get", "get /slack/callback?code=a HTTP/1.1\r\n\r\n", NOT_FOUND);
        row("trailing slash", callback("/?code=a"), NOT_FOUND);
        row("favicon", get("/favicon.ico"), NOT_FOUND);
        row("two spaces", "GET  /slack/callback?code=a HTTP/1.1\r\n\r\n", NOT_FOUND);
        row("invalid UTF-8", callback("?code=a\xFF"), NOT_FOUND);
    }
    void requestsAreAnsweredAndReported() {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, response);
        QFETCH(QList<Token>, reported);
        QCOMPARE(exchange(request), response);
        QCOMPARE(tokens_, reported);
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
        for (const QByteArray piece : {"GET /sla", "ck/callback?code=abc HTTP/1.1\r", "\n\r\n"}) {
            split.write(piece);
            QTest::qWait(200);
        }
        QCOMPARE(awaitClose(split), SIGNED_IN);
        // Written in full before the listener gets to run, so that all of it has arrived.
        oversized.write("GET /slack/callback?code=" + QByteArray(20'000, 'a'));
        while (oversized.bytesToWrite() > 0) QVERIFY(oversized.waitForBytesWritten());
        QTRY_COMPARE(tokens_, (QList<Token>{{"abc", {}, {}}, {QString(16384 - 25, u'a'), {}, {}}}));
        QCOMPARE(awaitClose(silent, 7000), QByteArray());
        QVERIFY2(elapsed.elapsed() >= 4950 && elapsed.elapsed() < 6000,
                 qPrintable(QString::number(elapsed.elapsed())));
        QCOMPARE(exchange(get("/slack/callback?code=abc")), SIGNED_IN);
    }

    void onlyLoopbackIsListenedOn() {
        const QList<QHostAddress> more = {QHostAddress("127.0.0.2"), QHostAddress::LocalHostIPv6};
        for (const QHostAddress& address : QNetworkInterface::allAddresses() + more) {
            if (address == QHostAddress(QHostAddress::LocalHost)) continue;
            QTcpSocket client;
            client.connectToHost(address, port_);
            QVERIFY2(!client.waitForConnected(1000), qPrintable(address.toString()));
        }
    }

    void startFailsAtOnceOnATakenPortAndStopFreesIt() {
        QVERIFY(!listener_->start());  // its own port is taken: the held listener keeps answering
        QCOMPARE(exchange(get("/slack/callback?code=1")), SIGNED_IN);
        listener_->onToken = [this](auto, auto, auto) { listener_->stop(); };  // allowed
        QCOMPARE(exchange(get("/slack/callback?code=2")), SIGNED_IN);
        QTcpServer taken;
        QVERIFY(taken.listen(QHostAddress::LocalHost, port_));
        listener_->stop();
        QVERIFY(!listener_->start());
        taken.close();
        QVERIFY(listener_->start());
        QCOMPARE(exchange(get("/favicon.ico")), NOT_FOUND);
        OAuthListener(freeLoopbackPort()).stop();
    }
};

QTEST_GUILESS_MAIN(OAuthListenerTest)
#include "tst_oauthlistener.moc"
