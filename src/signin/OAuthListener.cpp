#include "signin/OAuthListener.h"

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

// Whether the request line has arrived whole: a TCP stream may deliver it in several pieces, so
// the answer waits for its line feed, or for as much as is ever looked at.
bool requestLineArrived(QTcpSocket* socket) {
    return socket->bytesAvailable() >= REQUEST_LIMIT || socket->peek(REQUEST_LIMIT).contains('\n');
}

}  // namespace

OAuthListener::OAuthListener(quint16 port, QObject* parent) : QObject(parent), port_(port) {}

OAuthListener::~OAuthListener() = default;

bool OAuthListener::start() {
    auto server = std::make_unique<QTcpServer>();
    if (!server->listen(QHostAddress::LocalHost, port_)) return false;
    connect(server.get(), &QTcpServer::newConnection, this,
            [this, raw = server.get()] { acceptPending(raw); });
    server_ = std::move(server);
    return true;
}

void OAuthListener::stop() {
    server_.reset();
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

// Answers the request from what has arrived by now, its request line at least. Nothing more is
// read from the connection.
void OAuthListener::answer(QTcpSocket* socket) {
    const CallbackAnswer answer = answerCallbackRequest(socket->read(REQUEST_LIMIT));
    socket->write(answer.response);
    socket->disconnectFromHost();
    if (answer.report && onToken) {
        onToken(answer.query.code, answer.query.nonce, answer.query.error);
    }
}
