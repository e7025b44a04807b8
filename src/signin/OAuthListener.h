#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include "state/Constants.h"

class QTcpServer;
class QTcpSocket;

// Receives the end of a Slack sign-in: a small HTTP server on the loopback addresses (127.0.0.1
// and ::1, since a browser may take "localhost" for either) that takes "GET /slack/callback?..."
// from the browser. Slack's own redirect brings the sign-in's `state` back; a hosted callback
// page forwards its `nonce`. Only a callback that carries the pending attempt's state or nonce,
// once, reaches onToken; any other is told so and changes nothing. Every other request gets a
// bare 404.
//
// Lives on the main thread. Each connection is answered once its request line has arrived, in
// however many pieces; one that has not sent it within five seconds is closed without an
// answer. The browser that brought the pending attempt's answer waits for the sign-in to end, so
// that its page says how it ended.
class OAuthListener : public QObject {
    Q_OBJECT

  public:
    // Answers the waiting browser: none when signed in, else why not. Once; later calls, or
    // calls after the browser has gone, do nothing.
    using Answer = std::function<void(const std::optional<QString>& failure)>;
    using TokenCallback = std::function<void(const std::optional<QString>& code,
                                             const std::optional<QString>& error, Answer answer)>;

    explicit OAuthListener(quint16 port = OAUTH_PORT, QObject* parent = nullptr);
    ~OAuthListener() override;

    // Listens on the loopback addresses (and no other interface) at the port, for the attempt
    // whose state and nonce are given. Returns false at once when the port cannot be bound; a
    // server already listening then keeps listening, for its own attempt. On success a server
    // already held is replaced. A system without IPv6 is listened to on 127.0.0.1 alone.
    [[nodiscard]] bool start(const QString& state, const QString& nonce);
    // Stops listening and frees the port; does nothing when not listening. Connections already
    // accepted are still answered.
    void stop();

    // Called once the pending attempt's callback, carrying a code or an error, has come. It may
    // call stop(), but must not delete the listener; it must call `answer` in time.
    TokenCallback onToken;

  private:
    struct Attempt {
        QString state;
        QString nonce;
    };
    struct Servers;

    void acceptPending(QTcpServer* server);
    void answer(QTcpSocket* socket);
    bool takeAttempt(const std::optional<QString>& state, const std::optional<QString>& nonce);

    quint16 port_;
    std::unique_ptr<Servers> servers_;
    std::optional<Attempt> attempt_;
};
