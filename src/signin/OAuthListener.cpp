#include "signin/OAuthListener.h"

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include "signin/CallbackRequest.h"

using namespace std::chrono_literals;

namespace {

// Only this much of a request is looked at.
constexpr qint64 REQUEST_LIMIT = 16384;
// A connection that has not sent its request line this long after connecting is closed without
// an answer.
constexpr auto SILENCE_LIMIT = 5s;
// A browser waiting for the sign-in to end is answered after this long in any case; the token
// exchange gives up well before.
constexpr auto WAIT_LIMIT = 60s;

// Whether the request line has arrived whole: a TCP stream may deliver it in several pieces, so
// the answer waits for its line feed, or for as much as is ever looked at.
bool requestLineArrived(QTcpSocket* socket) {
    return socket->bytesAvailable() >= REQUEST_LIMIT || socket->peek(REQUEST_LIMIT).contains('\n');
}

// Compares a secret with what a request brought in a time that does not depend on where they
// first differ, so that the secret cannot be guessed one character at a time.
bool sameSecret(const QString& secret, const std::optional<QString>& brought) {
    if (!brought || secret.isEmpty()) return false;
    const QByteArray a = secret.toUtf8();
    const QByteArray b = brought->toUtf8();
    if (a.size() != b.size()) return false;
    volatile unsigned char difference = 0;
    for (qsizetype i = 0; i < a.size(); ++i) difference = difference | (a[i] ^ b[i]);
    return difference == 0;
}

void respond(QTcpSocket* socket, const QByteArray& response) {
    socket->write(response);
    socket->disconnectFromHost();
}

// A server listening on `address` at `port`; none when it cannot, with the reason in `error`.
std::unique_ptr<QTcpServer> listening(const QHostAddress& address, quint16 port,
                                      QAbstractSocket::SocketError& error) {
    auto server = std::make_unique<QTcpServer>();
    if (server->listen(address, port)) return server;
    error = server->serverError();
    return nullptr;
}

}  // namespace

struct OAuthListener::Servers {
    std::unique_ptr<QTcpServer> ipv4;
    std::unique_ptr<QTcpServer> ipv6;  // none on a system without IPv6
};

OAuthListener::OAuthListener(quint16 port, QObject* parent) : QObject(parent), port_(port) {}

OAuthListener::~OAuthListener() = default;

bool OAuthListener::start(const QString& state, const QString& nonce) {
    auto servers = std::make_unique<Servers>();
    QAbstractSocket::SocketError error = QAbstractSocket::UnknownSocketError;
    servers->ipv4 = listening(QHostAddress::LocalHost, port_, error);
    if (!servers->ipv4) return false;
    // Only a system without IPv6 goes without ::1; something else holding the port there would
    // take the browsers that go to "localhost" by IPv6.
    servers->ipv6 = listening(QHostAddress::LocalHostIPv6, port_, error);
    if (!servers->ipv6 && error == QAbstractSocket::AddressInUseError) return false;
    for (QTcpServer* server : {servers->ipv4.get(), servers->ipv6.get()}) {
        if (!server) continue;
        connect(server, &QTcpServer::newConnection, this,
                [this, server] { acceptPending(server); });
    }
    servers_ = std::move(servers);
    attempt_ = Attempt{state, nonce};
    return true;
}

void OAuthListener::stop() {
    servers_.reset();
    attempt_.reset();
}

void OAuthListener::acceptPending(QTcpServer* server) {
    while (QTcpSocket* socket = server->nextPendingConnection()) {
        // Held by the listener rather than the server, so that an accepted connection is
        // still answered after stop() or a restart.
        socket->setParent(this);
        auto* silence = new QTimer(socket);
        silence->setSingleShot(true);
        silence->setTimerType(Qt::PreciseTimer);  // a coarse timer may fire 5% early
        connect(silence, &QTimer::timeout, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, silence] {
            if (!requestLineArrived(socket)) return;
            silence->stop();
            QObject::disconnect(socket, &QTcpSocket::readyRead, this, nullptr);
            answer(socket);
        });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        silence->start(SILENCE_LIMIT);
    }
}

// The pending attempt, if the callback carries its state or its nonce: used up by this callback.
bool OAuthListener::takeAttempt(const std::optional<QString>& state,
                                const std::optional<QString>& nonce) {
    if (!attempt_) return false;
    const bool matches = sameSecret(attempt_->state, state) || sameSecret(attempt_->nonce, nonce);
    if (matches) attempt_.reset();
    return matches;
}

// Answers the request from what has arrived by now, its request line at least. Nothing more is
// read from the connection.
void OAuthListener::answer(QTcpSocket* socket) {
    const std::optional<CallbackQuery> query = callbackQuery(socket->read(REQUEST_LIMIT));
    if (!query) return respond(socket, NOT_FOUND_RESPONSE);
    if (!query->code && !query->error) return respond(socket, notSignedInPage());
    if (!takeAttempt(query->state, query->nonce) || !onToken) {
        return respond(socket, otherSignInPage());
    }
    auto answered = std::make_shared<bool>(false);
    const Answer answer = [socket = QPointer<QTcpSocket>(socket),
                           answered](const std::optional<QString>& failure) {
        if (*answered || !socket) return;
        *answered = true;
        respond(socket, failure ? notSignedInPage(*failure) : signedInPage());
    };
    QTimer::singleShot(WAIT_LIMIT, socket, [answer] { answer(QString()); });
    onToken(query->code, query->error, answer);
}
