#include "signin/OAuthListener.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include "signin/CallbackRequest.h"

using namespace std::chrono_literals;

namespace {

// Only the first read of a connection is looked at, and only this much of it.
constexpr qint64 REQUEST_LIMIT = 16384;
// A connection that sends nothing for this long is closed without an answer.
constexpr auto SILENCE_LIMIT = 5s;

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
        connect(
            socket, &QTcpSocket::readyRead, this,
            [this, socket, silence] {
                silence->stop();
                answer(socket);
            },
            Qt::SingleShotConnection);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        silence->start(SILENCE_LIMIT);
    }
}

// Reads the request once, whatever has arrived by now, and answers it. Nothing more is read
// from the connection.
void OAuthListener::answer(QTcpSocket* socket) {
    const CallbackAnswer answer = answerCallbackRequest(socket->read(REQUEST_LIMIT));
    socket->write(answer.response);
    socket->disconnectFromHost();
    if (answer.report && onToken) {
        onToken(answer.query.code, answer.query.nonce, answer.query.error);
    }
}
