#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include "state/Constants.h"

class QTcpServer;
class QTcpSocket;

// Receives the end of a Slack sign-in: a small HTTP server on 127.0.0.1 that answers
// "GET /slack/callback?..." with a page telling the user whether sign-in worked, and hands the
// code, nonce and error Slack sent along to onToken. Every other request gets a bare 404.
//
// Lives on the main thread. Each connection is answered once its request line has arrived, in
// however many pieces, and then closed; one that has not sent it within five seconds is closed
// without an answer.
class OAuthListener : public QObject {
    Q_OBJECT

  public:
    using TokenCallback = std::function<void(
        std::optional<QString> code, std::optional<QString> nonce, std::optional<QString> error)>;

    explicit OAuthListener(quint16 port = OAUTH_PORT, QObject* parent = nullptr);
    ~OAuthListener() override;

    // Listens on 127.0.0.1 (and no other interface) at the port. Returns false at once when
    // the port cannot be bound; a server already listening then keeps listening. On success a
    // server already held is replaced.
    [[nodiscard]] bool start();
    // Stops listening and frees the port; does nothing when not listening. Connections already
    // accepted are still answered.
    void stop();

    // Called once a callback request carrying a code or an error has been answered. It may
    // call stop(), but must not delete the listener.
    TokenCallback onToken;

  private:
    void acceptPending(QTcpServer* server);
    void answer(QTcpSocket* socket);

    quint16 port_;
    std::unique_ptr<QTcpServer> server_;
};
