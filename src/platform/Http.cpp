// HTTP/1.1 over the program's one network thread. Slack calls and small texts, a request every
// few seconds, go through a client that speaks the protocol itself on pooled keep-alive
// connections: one socket read and one write per request, where a network access manager
// sets up a reply object, a delegate on a thread of its own and a cache lookup for each.
// Downloads, streamed to a file, go through a network access manager made on first use.

#include "platform/Http.h"

#include <QCoreApplication>
#include <QFile>
#include <QMultiHash>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSemaphore>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <memory>
#include <optional>
#include <utility>
#if QT_CONFIG(ssl)
#include <QSslSocket>
#endif

#include "platform/HttpResponse.h"

namespace platform {
namespace {

using namespace std::chrono_literals;

// How long a posted request may go without any progress before it is given up; callers wait
// shorter.
constexpr auto TRANSFER_TIMEOUT = 60s;
// How long an unused connection is kept for the next request.
constexpr auto IDLE_TIMEOUT = 60s;
// Redirects followed for one request at most.
constexpr int MAX_REDIRECTS = 10;

// One request, from the first byte sent to the body handed back.
struct Exchange {
    QByteArray method;
    QUrl url;
    QList<std::pair<QByteArray, QByteArray>> headers;
    QByteArray body;
    std::chrono::milliseconds timeout;
    std::function<void(const QByteArray& body)> done;
    int redirects = 0;
};

QByteArray requestBytes(const Exchange& exchange) {
    const QUrl& url = exchange.url;
    QByteArray host = url.host(QUrl::FullyEncoded).toUtf8();
    if (host.contains(':')) host = '[' + host + ']';
    if (url.port() >= 0) host += ':' + QByteArray::number(url.port());
    QByteArray target = url.path(QUrl::FullyEncoded).toUtf8();
    if (target.isEmpty()) target = "/";
    if (url.hasQuery()) target += '?' + url.query(QUrl::FullyEncoded).toUtf8();

    QByteArray bytes = exchange.method + ' ' + target + " HTTP/1.1\r\nHost: " + host +
                       "\r\nUser-Agent: Trackglint\r\n";
    for (const auto& [name, value] : exchange.headers) bytes += name + ": " + value + "\r\n";
    if (exchange.method == "POST") {
        bytes += "Content-Length: " + QByteArray::number(exchange.body.size()) + "\r\n";
    }
    return bytes + "\r\n" + exchange.body;
}

QString originOf(const QUrl& url) {
    return url.scheme() + QStringLiteral("://") + url.authority(QUrl::FullyEncoded);
}

// Where a redirect leads and how the request goes on there, as browsers do: 307 and 308 keep
// the method and body, the others become a GET; never from https to http, and the token
// never to another server.
std::optional<Exchange> redirected(const Exchange& exchange, const HttpResponseReader& response) {
    const int status = response.status();
    const bool redirect =
        status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
    const QByteArray location = response.header("location");
    if (!redirect || location.isEmpty() || exchange.redirects >= MAX_REDIRECTS) {
        return std::nullopt;
    }
    Exchange next = exchange;
    next.url = exchange.url.resolved(QUrl::fromEncoded(location));
    const QString scheme = next.url.scheme();
    if (scheme != QLatin1String("https") &&
        (scheme != QLatin1String("http") || exchange.url.scheme() == QLatin1String("https"))) {
        return std::nullopt;
    }
    if (status != 307 && status != 308) {
        next.method = "GET";
        next.body.clear();
    }
    if (originOf(next.url) != originOf(exchange.url)) {
        next.headers.removeIf([](const auto& header) {
            return header.first.compare("Authorization", Qt::CaseInsensitive) == 0;
        });
    }
    ++next.redirects;
    return next;
}

class HttpClient;

// One connection to one server. It carries one exchange at a time and, when the server allows,
// stays open for the next.
class Connection final : public QObject {
  public:
    Connection(const QUrl& url, HttpClient& client);
    ~Connection() override {
        if (socket_) socket_->disconnect(this);  // a socket going down tells nobody
    }

    const QString& origin() const { return origin_; }
    bool open() const { return socket_ && socket_->state() == QAbstractSocket::ConnectedState; }

    void start(Exchange exchange);

  private:
    void connectSocket(const QUrl& url);
    void readResponse();
    void ended();
    void finish(const HttpResponseReader* response);
    void close();

    HttpClient& client_;
    const QString origin_;
    std::unique_ptr<QTcpSocket> socket_;
    QTimer silence_;
    std::optional<Exchange> exchange_;
    HttpResponseReader response_;
    QByteArray received_;
    bool reused_ = false;  // the exchange runs on a connection that carried another before
    bool heardBack_ = false;
};

// The network thread's one client: it sends each exchange on an idle connection to the same
// server, or on a new one.
class HttpClient final : public QObject {
  public:
    void send(Exchange exchange) {
        Connection* connection = takeIdle(originOf(exchange.url));
        if (!connection) connection = new Connection(exchange.url, *this);
        connection->start(std::move(exchange));
    }
    // Sends an exchange again on a new connection, when the kept one turned out closed.
    void resend(Exchange exchange) { (new Connection(exchange.url, *this))->start(exchange); }
    void keep(Connection* connection) { idle_.insert(connection->origin(), connection); }
    void forget(Connection* connection) { idle_.remove(connection->origin(), connection); }

    // The manager for downloads, made on first use, on this thread.
    QNetworkAccessManager& manager() {
        if (!manager_) manager_ = new QNetworkAccessManager(this);
        return *manager_;
    }

  private:
    Connection* takeIdle(const QString& origin) {
        while (Connection* connection = idle_.take(origin)) {
            if (connection->open()) return connection;
            connection->deleteLater();
        }
        return nullptr;
    }

    QMultiHash<QString, Connection*> idle_;
    QNetworkAccessManager* manager_ = nullptr;
};

Connection::Connection(const QUrl& url, HttpClient& client)
    : QObject(&client), client_(client), origin_(originOf(url)) {
    silence_.setSingleShot(true);
    connect(&silence_, &QTimer::timeout, this, [this] {
        if (!exchange_) return close();  // idle for long enough
        finish(nullptr);
    });
    connectSocket(url);
}

void Connection::connectSocket(const QUrl& url) {
    const QString host = url.host(QUrl::FullyEncoded);
    if (url.scheme() == QLatin1String("https")) {
#if QT_CONFIG(ssl)
        auto* socket = new QSslSocket;
        socket_.reset(socket);
        socket->connectToHostEncrypted(host, quint16(url.port(443)));
#endif
    } else if (url.scheme() == QLatin1String("http")) {
        socket_ = std::make_unique<QTcpSocket>();
        socket_->connectToHost(host, quint16(url.port(80)));
    }
    if (!socket_) return;
    connect(socket_.get(), &QTcpSocket::readyRead, this, &Connection::readResponse);
    connect(socket_.get(), &QTcpSocket::disconnected, this, &Connection::ended);
    connect(socket_.get(), &QTcpSocket::errorOccurred, this, &Connection::ended);
}

void Connection::start(Exchange exchange) {
    reused_ = heardBack_;
    heardBack_ = false;
    response_ = HttpResponseReader();
    received_.clear();
    silence_.start(exchange.timeout);
    exchange_ = std::move(exchange);
    // A socket still connecting keeps what is written until it is connected (or encrypted).
    if (!socket_ || socket_->write(requestBytes(*exchange_)) < 0) ended();
}

void Connection::readResponse() {
    received_ += socket_->readAll();
    if (!exchange_) return close();  // nothing is expected on an idle connection
    heardBack_ = true;
    silence_.start(exchange_->timeout);
    switch (response_.read(received_)) {
        case HttpResponseReader::Progress::Complete:
            return finish(&response_);
        case HttpResponseReader::Progress::Broken:
            return finish(nullptr);
        case HttpResponseReader::Progress::Incomplete:
            return;
    }
}

void Connection::ended() {
    if (!exchange_) return close();
    if (reused_ && !heardBack_) {
        // The server closed the kept connection before it saw the request: send it anew.
        client_.resend(*std::exchange(exchange_, std::nullopt));
        return close();
    }
    finish(response_.readEnd() == HttpResponseReader::Progress::Complete ? &response_ : nullptr);
}

void Connection::finish(const HttpResponseReader* response) {
    if (!exchange_) return;
    Exchange exchange = *std::exchange(exchange_, std::nullopt);
    const bool keep = response && response->keepsConnection() && open() && received_.isEmpty();
    if (std::optional<Exchange> next = response ? redirected(exchange, *response) : std::nullopt) {
        client_.send(std::move(*next));
    } else {
        exchange.done(response ? response->body() : QByteArray());
    }
    if (!keep) return close();
    silence_.start(IDLE_TIMEOUT);
    client_.keep(this);
}

void Connection::close() {
    silence_.stop();
    client_.forget(this);
    if (socket_) {
        socket_->disconnect(this);
        socket_->abort();
    }
    deleteLater();
}

// The thread that runs every HTTP exchange, with its one client. Started on first use and
// stopped when the application object goes away.
class NetworkThread {
  public:
    static HttpClient& client() {
        static NetworkThread* const network = new NetworkThread;
        return *network->client_;
    }

  private:
    NetworkThread() : client_(new HttpClient) {
        client_->moveToThread(&thread_);
        QObject::connect(&thread_, &QThread::finished, client_, &QObject::deleteLater);
        thread_.setObjectName(QStringLiteral("network"));
        thread_.start();
        qAddPostRoutine([] {
            QThread* thread = client().thread();
            thread->quit();
            thread->wait();
        });
    }

    QThread thread_;
    HttpClient* const client_;
};

void sendOnNetworkThread(Exchange exchange) {
    HttpClient& client = NetworkThread::client();
    QMetaObject::invokeMethod(
        &client, [&client, exchange = std::move(exchange)] { client.send(exchange); },
        Qt::QueuedConnection);
}

// What the network thread hands back to the waiting caller.
struct Outcome {
    QSemaphore done;
    QByteArray body;
};

// What the network thread hands back to a caller waiting for a download.
struct Transfer {
    QSemaphore done;
    std::atomic<bool> abandoned = false;
    bool complete = false;
};

// Whether `reply` is a whole HTTP reply: any status counts, a broken or missing one does not.
bool arrivedWhole(const QNetworkReply& reply) {
    const QNetworkReply::NetworkError error = reply.error();
    const bool transportFailed =
        error == QNetworkReply::ProtocolFailure ||
        (error != QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied);
    return !transportFailed && reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
}

void fetch(QNetworkAccessManager& manager, const QUrl& url, const QString& path,
           const std::shared_ptr<Transfer>& transfer) {
    auto* file = new QFile(path);
    if (!file->open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        delete file;
        transfer->done.release();
        return;
    }
    QNetworkRequest request(url);
    request.setTransferTimeout(int(std::chrono::milliseconds(TRANSFER_TIMEOUT).count()));
    QNetworkReply* reply = manager.get(request);
    file->setParent(reply);
    const auto save = [reply, file, transfer] {
        return !transfer->abandoned && file->write(reply->readAll()) >= 0;
    };
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [reply, save] {
        if (!save()) reply->abort();
    });
    QObject::connect(reply, &QNetworkReply::finished, reply, [reply, file, transfer, save] {
        transfer->complete = save() && file->flush() && arrivedWhole(*reply);
        file->close();
        transfer->done.release();
        reply->deleteLater();
    });
}

}  // namespace

void get(const QUrl& url, std::chrono::milliseconds timeout, const QObject* receiver,
         std::function<void(const QByteArray& body)> done) {
    auto* carrier = new ReplyCarrier;
    QObject::connect(carrier, &ReplyCarrier::arrived, receiver, std::move(done),
                     Qt::QueuedConnection);
    carrier->moveToThread(NetworkThread::client().thread());
    sendOnNetworkThread({"GET", url, {}, {}, timeout, [carrier](const QByteArray& body) {
                             emit carrier->arrived(body);
                             carrier->deleteLater();
                         }});
}

bool getToFile(const QUrl& url, const QString& path, const std::function<bool()>& cancelled) {
    HttpClient& client = NetworkThread::client();
    auto transfer = std::make_shared<Transfer>();
    QMetaObject::invokeMethod(
        &client, [&client, url, path, transfer] { fetch(client.manager(), url, path, transfer); },
        Qt::QueuedConnection);
    while (!transfer->done.tryAcquire(1, 100)) {
        if (cancelled()) {
            transfer->abandoned = true;
            return false;
        }
    }
    return transfer->complete;
}

QByteArray postAndWait(const HttpPost& request, std::chrono::milliseconds wait) {
    auto outcome = std::make_shared<Outcome>();
    sendOnNetworkThread({"POST", request.url, request.headers, request.body, TRANSFER_TIMEOUT,
                         [outcome](const QByteArray& body) {
                             outcome->body = body;
                             outcome->done.release();
                         }});
    if (!outcome->done.tryAcquire(1, int(wait.count()))) return {};
    return outcome->body;
}

}  // namespace platform
