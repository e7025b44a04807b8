#include <QElapsedTimer>
#include <QNetworkInterface>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <memory>

#include "TestPorts.h"
#include "signin/OAuthListener.h"

namespace {

constexpr int WAIT_MS = 3000;

const QByteArray PAGE_HEAD =
    "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: ";
const QByteArray BODY_START =
    "<html><body style='font-family:sans-serif;background:#0b0d0f;color:#e8eaec;display:flex;"
    "justify-content:center;padding-top:80px'><div>";
const QByteArray BODY_END = "</div></body></html>";
const QByteArray SIGNED_IN_PAGE =
    PAGE_HEAD + "209\r\nConnection: close\r\n\r\n" + BODY_START +
    "\xE2\x9C\x85 Trackglint is connected \xE2\x80\x94 you can close this tab." + BODY_END;
const QByteArray NOT_SIGNED_IN_PAGE =
    PAGE_HEAD + "214\r\nConnection: close\r\n\r\n" + BODY_START +
    "\xE2\x9D\x8C Sign-in didn't complete \xE2\x80\x94 try again from the menu bar." + BODY_END;
const QByteArray NOT_FOUND = "HTTP/1.1 404 Not Found\r\nConnection: close\r\n\r\n";

struct Token {
    std::optional<QString> code;
    std::optional<QString> nonce;
    std::optional<QString> error;
};

// What the listener sent back, and whether it closed the connection.
struct Reply {
    QByteArray bytes;
    bool closed = false;
};

QByteArray get(const QByteArray& target) {
    return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: text/html\r\n\r\n";
}

// Collects what arrives until the listener closes the connection, for at most `limitMs`.
Reply awaitClose(QTcpSocket& client, int limitMs = WAIT_MS) {
    Reply reply;
    reply.closed = QTest::qWaitFor(
        [&] {
            reply.bytes += client.readAll();
            return client.state() == QAbstractSocket::UnconnectedState;
        },
        limitMs);
    reply.bytes += client.readAll();
    return reply;
}

Reply exchange(quint16 port, const QByteArray& request) {
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, port);
    client.write(request);
    return awaitClose(client);
}

}  // namespace

class OAuthListenerTest : public QObject {
    Q_OBJECT

  private:
    quint16 port_ = 0;
    std::unique_ptr<OAuthListener> listener_;
    QList<Token> tokens_;

    Reply exchange(const QByteArray& request) { return ::exchange(port_, request); }

  private slots:
    void init() {
        port_ = freeLoopbackPort();
        listener_ = std::make_unique<OAuthListener>(port_);
        listener_->onToken = [this](auto code, auto nonce, auto error) {
            tokens_.append(Token{code, nonce, error});
        };
        QVERIFY(listener_->start());
        tokens_.clear();
    }
    void cleanup() { listener_.reset(); }

    void responsesAreExact_data() {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("response");
        QTest::addColumn<int>("bodyLength");
        QTest::newRow("signed in") << get("/slack/callback?code=abc") << SIGNED_IN_PAGE << 209;
        QTest::newRow("not signed in")
            << get("/slack/callback?error=access_denied") << NOT_SIGNED_IN_PAGE << 214;
        QTest::newRow("not found") << get("/favicon.ico") << NOT_FOUND << 0;
    }
    void responsesAreExact() {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, response);
        QFETCH(int, bodyLength);
        const Reply reply = exchange(request);
        QVERIFY(reply.closed);
        QCOMPARE(reply.bytes, response);
        QCOMPARE(reply.bytes.size() - reply.bytes.indexOf("\r\n\r\n") - 4, bodyLength);
    }

    void requestsAreAnsweredAndReported_data() {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("response");
        QTest::addColumn<bool>("reported");
        QTest::addColumn<std::optional<QString>>("code");
        QTest::addColumn<std::optional<QString>>("nonce");
        QTest::addColumn<std::optional<QString>>("error");
        const std::optional<QString> none;
        const auto reported = [&](const char* name, const QByteArray& request,
                                  const QByteArray& response, std::optional<QString> code,
                                  std::optional<QString> nonce, std::optional<QString> error) {
            QTest::newRow(name) << request << response << true << code << nonce << error;
        };
        const auto unreported = [&](const char* name, const QByteArray& request,
                                    const QByteArray& response) {
            QTest::newRow(name) << request << response << false << none << none << none;
        };
        const QByteArray signedIn = SIGNED_IN_PAGE;
        const QByteArray notSignedIn = NOT_SIGNED_IN_PAGE;

        reported("code and nonce", get("/slack/callback?code=abc&nonce=0123"), signedIn, "abc",
                 "0123", none);
        reported("error and nonce", get("/slack/callback?error=access_denied&nonce=00"),
                 notSignedIn, none, "00", "access_denied");
        reported("code and error", get("/slack/callback?error=e&code=c"), signedIn, "c", none, "e");
        reported("empty code", get("/slack/callback?code="), signedIn, "", none, none);
        reported("last item wins", get("/slack/callback?code=a&nonce=1&code=b"), signedIn, "b", "1",
                 none);
        reported("plus stays a plus", get("/slack/callback?code=a%2Bb+c"), signedIn, "a+b+c", none,
                 none);
        reported("escapes decoded", get("/slack/callback?code=%C3%A9%26x%3Dy&nonce=%7e"), signedIn,
                 "é&x=y", "~", none);
        reported("split at the first =", get("/slack/callback?code=a=b"), signedIn, "a=b", none,
                 none);
        reported("non-ASCII character", get("/slack/callback?code=é"), signedIn, "é", none, none);

        unreported("no query", get("/slack/callback"), notSignedIn);
        unreported("nonce alone", get("/slack/callback?nonce=n"), notSignedIn);
        unreported("code without =", get("/slack/callback?code"), notSignedIn);
        unreported("code taken back", get("/slack/callback?code=a&code"), notSignedIn);
        unreported("malformed escape", get("/slack/callback?code=%zz"), notSignedIn);
        unreported("lone percent sign", get("/slack/callback?code=a&nonce=%"), notSignedIn);
        unreported("tab in the target", get("/slack/callback?code=a\tb"), notSignedIn);

        unreported("POST", "POST /slack/callback?code=a HTTP/1.1\r\n\r\n", NOT_FOUND);
        unreported("lower-case get", "get /slack/callback?code=a HTTP/1.1\r\n\r\n", NOT_FOUND);
        unreported("trailing slash", get("/slack/callback/?code=a"), NOT_FOUND);
        unreported("favicon", get("/favicon.ico"), NOT_FOUND);
        unreported("two spaces", "GET  /slack/callback?code=a HTTP/1.1\r\n\r\n", NOT_FOUND);
        unreported("invalid UTF-8", get("/slack/callback?code=a\xFF"), NOT_FOUND);
    }
    void requestsAreAnsweredAndReported() {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, response);
        QFETCH(bool, reported);
        QFETCH(std::optional<QString>, code);
        QFETCH(std::optional<QString>, nonce);
        QFETCH(std::optional<QString>, error);
        const Reply reply = exchange(request);
        QVERIFY(reply.closed);
        QCOMPARE(reply.bytes, response);
        QCOMPARE(tokens_.size(), reported ? 1 : 0);
        if (!reported) return;
        QCOMPARE(tokens_[0].code, code);
        QCOMPARE(tokens_[0].nonce, nonce);
        QCOMPARE(tokens_[0].error, error);
    }

    void onlyTheFirstPacketIsRead() {
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, port_);
        QVERIFY(client.waitForConnected(WAIT_MS));
        client.write("GET /sla");
        client.flush();
        QTest::qWait(200);
        client.write("ck/callback?code=abc HTTP/1.1\r\n\r\n");
        const Reply reply = awaitClose(client);
        QCOMPARE(reply.bytes, NOT_FOUND);
        QVERIFY(tokens_.isEmpty());
    }

    void atMost16384BytesAreRead() {
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, port_);
        QVERIFY(client.waitForConnected(WAIT_MS));
        // Written in full before the listener gets to run, so that all of it has arrived.
        client.write("GET /slack/callback?code=" + QByteArray(20'000, 'a'));
        while (client.bytesToWrite() > 0) QVERIFY(client.waitForBytesWritten(WAIT_MS));
        awaitClose(client);
        QCOMPARE(tokens_.size(), 1);
        QCOMPARE(tokens_[0].code, QString(16384 - 25, u'a'));
    }

    void theListenerKeepsListeningAfterAnswering() {
        QCOMPARE(exchange(get("/favicon.ico")).bytes, NOT_FOUND);
        QCOMPARE(exchange(get("/slack/callback?code=1")).bytes, SIGNED_IN_PAGE);
        QCOMPARE(exchange(get("/slack/callback?code=2")).bytes, SIGNED_IN_PAGE);
        QCOMPARE(tokens_.size(), 2);
        QCOMPARE(tokens_[0].code, QStringLiteral("1"));
        QCOMPARE(tokens_[1].code, QStringLiteral("2"));
    }

    void startFailsAtOnceWhenThePortIsTaken() {
        const quint16 port = freeLoopbackPort();
        QTcpServer taken;
        QVERIFY(taken.listen(QHostAddress::LocalHost, port));
        OAuthListener listener(port);
        QVERIFY(!listener.start());
        taken.close();
        QVERIFY(listener.start());
        QCOMPARE(::exchange(port, get("/favicon.ico")).bytes, NOT_FOUND);
    }

    void aFailedStartKeepsTheHeldListener() {
        QVERIFY(!listener_->start());
        QCOMPARE(exchange(get("/slack/callback?code=abc")).bytes, SIGNED_IN_PAGE);
        QCOMPARE(tokens_.size(), 1);
    }

    void stopFreesThePort() {
        listener_->stop();
        listener_->stop();
        QTcpServer other;
        QVERIFY(other.listen(QHostAddress::LocalHost, port_));
        OAuthListener(port_).stop();
    }

    void theCallbackMayStopTheListener() {
        listener_->onToken = [this](auto, auto, auto) { listener_->stop(); };
        QCOMPARE(exchange(get("/slack/callback?code=abc")).bytes, SIGNED_IN_PAGE);
        QTcpServer other;
        QVERIFY(other.listen(QHostAddress::LocalHost, port_));
    }

    void onlyLoopbackIsListenedOn() {
        QList<QHostAddress> others = {QHostAddress("127.0.0.2"), QHostAddress::LocalHostIPv6};
        for (const QHostAddress& address : QNetworkInterface::allAddresses()) {
            if (address != QHostAddress(QHostAddress::LocalHost)) others += address;
        }
        for (const QHostAddress& address : others) {
            QTcpSocket client;
            client.connectToHost(address, port_);
            const auto settled = [&] {
                return client.state() == QAbstractSocket::UnconnectedState ||
                       client.state() == QAbstractSocket::ConnectedState;
            };
            QVERIFY(QTest::qWaitFor(settled, 1000));
            QVERIFY2(client.state() == QAbstractSocket::UnconnectedState,
                     qPrintable(address.toString()));
        }
    }

    void aSilentConnectionIsClosedWithoutAnswer() {
        QTcpSocket client;
        QElapsedTimer elapsed;
        elapsed.start();
        client.connectToHost(QHostAddress::LocalHost, port_);
        const Reply reply = awaitClose(client, 7000);
        QVERIFY(reply.closed);
        QVERIFY2(elapsed.elapsed() >= 4950 && elapsed.elapsed() < 6000,
                 qPrintable(QString::number(elapsed.elapsed())));
        QCOMPARE(reply.bytes, QByteArray());
        QCOMPARE(exchange(get("/slack/callback?code=abc")).bytes, SIGNED_IN_PAGE);
    }
};

QTEST_GUILESS_MAIN(OAuthListenerTest)
#include "tst_oauthlistener.moc"
