#include "FakeSlack.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>

// Serves the requests of a connection one after another and keeps it open, as Slack does.
class FakeSlackServer : public QTcpServer {
  public:
    explicit FakeSlackServer(FakeSlack& owner) : owner_(owner) {
        connect(this, &QTcpServer::newConnection, this, &FakeSlackServer::acceptAll);
    }

  private:
    void acceptAll() {
        while (QTcpSocket* socket = nextPendingConnection()) {
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
            connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
                buffers_.remove(socket);
                socket->deleteLater();
            });
        }
    }

    void readFrom(QTcpSocket* socket) {
        QByteArray& buffer = buffers_[socket];
        buffer += socket->readAll();
        const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
        if (headerEnd < 0) return;
        FakeSlack::Request request = parseHead(buffer.left(headerEnd));
        const qsizetype length = request.headers.value("content-length", "0").toLongLong();
        if (buffer.size() < headerEnd + 4 + length) return;
        request.body = buffer.mid(headerEnd + 4, length);
        buffer.remove(0, headerEnd + 4 + length);
        const FakeSlack::Reply reply = owner_.replyFor(request);
        QTimer::singleShot(reply.delayMs, socket, [socket, reply] { answer(socket, reply); });
    }

    static FakeSlack::Request parseHead(const QByteArray& head) {
        const QList<QByteArray> lines = head.split('\n');
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        FakeSlack::Request request;
        request.method = requestLine.value(0);
        request.path = QString::fromUtf8(requestLine.value(1));
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon < 0) continue;
            request.headers.insert(lines[i].left(colon).trimmed().toLower(),
                                   lines[i].mid(colon + 1).trimmed());
        }
        return request;
    }

    static void answer(QTcpSocket* socket, const FakeSlack::Reply& reply) {
        QByteArray head = "HTTP/1.1 " + QByteArray::number(reply.status) + " Scripted\r\n";
        for (const auto& [name, value] : reply.headers) head += name + ": " + value + "\r\n";
        const qint64 length = reply.declaredLength >= 0 ? reply.declaredLength : reply.body.size();
        head += "Content-Type: application/json\r\nContent-Length: " + QByteArray::number(length) +
                "\r\nConnection: keep-alive\r\n\r\n";
        if (reply.trickleMs <= 0) {
            socket->write(head + reply.body);
            return;
        }
        socket->write(head);
        auto* timer = new QTimer(socket);
        QObject::connect(timer, &QTimer::timeout, socket,
                         [socket, timer, reply, sent = qsizetype(0)]() mutable {
                             socket->write(reply.body.mid(sent, reply.trickleBytes));
                             sent += reply.trickleBytes;
                             if (sent >= reply.body.size()) timer->stop();
                         });
        timer->start(reply.trickleMs);
    }

    FakeSlack& owner_;
    QHash<QTcpSocket*, QByteArray> buffers_;
};

QString FakeSlack::Request::formValue(const QString& key) const {
    for (const QByteArray& field : body.split('&')) {
        const qsizetype equals = field.indexOf('=');
        if (QByteArray::fromPercentEncoding(field.left(equals)) != key.toUtf8()) continue;
        return QString::fromUtf8(QByteArray::fromPercentEncoding(field.mid(equals + 1)));
    }
    return {};
}

FakeSlack::FakeSlack() : server_(new FakeSlackServer(*this)) {
    server_->moveToThread(&thread_);
    QObject::connect(&thread_, &QThread::finished, server_, &QObject::deleteLater);
    thread_.start();
    QMetaObject::invokeMethod(
        server_,
        [this] {
            server_->listen(QHostAddress::LocalHost, 0);
            port_ = server_->serverPort();
        },
        Qt::BlockingQueuedConnection);
}

FakeSlack::~FakeSlack() {
    thread_.quit();
    thread_.wait();
}

QString FakeSlack::url() const {
    return QStringLiteral("http://127.0.0.1:%1").arg(port_);
}

void FakeSlack::useForSlack() const {
    qputenv("TRACKGLINT_SLACK_URL", url().toUtf8());
}

void FakeSlack::script(const QString& method, QList<Reply> replies) {
    QMutexLocker lock(&mutex_);
    scripts_.insert(QStringLiteral("/api/") + method, std::move(replies));
}

void FakeSlack::serve(const QString& path, const Reply& reply) {
    QMutexLocker lock(&mutex_);
    scripts_.insert(path, {reply});
}

void FakeSlack::reset() {
    QMutexLocker lock(&mutex_);
    scripts_.clear();
    requests_.clear();
    revoked_.clear();
    keepStatuses_ = false;
    app_.reset();
    codes_.clear();
    statuses_.clear();
    workspaces_.clear();
    shownFor_.clear();
    lateFor_.clear();
    limits_ = Limits{};
}

void FakeSlack::setLimits(Limits limits) {
    QMutexLocker lock(&mutex_);
    limits_ = std::move(limits);
}

void FakeSlack::keepStatuses() {
    QMutexLocker lock(&mutex_);
    keepStatuses_ = true;
}

void FakeSlack::assignWorkspace(const QByteArray& token, const QString& workspace) {
    QMutexLocker lock(&mutex_);
    workspaces_.insert(token, workspace);
}

void FakeSlack::answerLateTo(const QByteArray& token, int ms) {
    QMutexLocker lock(&mutex_);
    lateFor_.insert(token, ms);
}

void FakeSlack::showsFor(const QByteArray& token, const QString& text) {
    QMutexLocker lock(&mutex_);
    shownFor_.insert(token, text);
}

void FakeSlack::revoke(const QByteArray& token, const QString& error) {
    QMutexLocker lock(&mutex_);
    revoked_.insert(token, error);
}

QByteArray FakeSlack::Request::token() const {
    const QByteArray authorization = headers.value("authorization");
    return authorization.startsWith("Bearer ") ? authorization.mid(7) : QByteArray();
}

int FakeSlack::refusedCount() const {
    const QList<Request> all = requests();
    return int(std::count_if(all.cbegin(), all.cend(), [](const Request& r) { return r.refused; }));
}

QList<FakeSlack::Request> FakeSlack::requests() const {
    QMutexLocker lock(&mutex_);
    return requests_;
}

QList<FakeSlack::Request> FakeSlack::requests(const QString& method) const {
    QList<Request> matching;
    for (const Request& request : requests()) {
        if (request.path == QStringLiteral("/api/") + method) matching += request;
    }
    return matching;
}

QList<QJsonObject> FakeSlack::profilesSent() const {
    QList<QJsonObject> profiles;
    for (const Request& request : requests(QStringLiteral("users.profile.set"))) {
        if (request.refused) continue;
        const QString profile = request.formValue(QStringLiteral("profile"));
        profiles += QJsonDocument::fromJson(profile.toUtf8()).object();
    }
    return profiles;
}

QByteArray FakeSlack::profileShowing(const QString& text) {
    const QJsonObject profile{{QStringLiteral("status_text"), text}};
    const QJsonObject reply{{QStringLiteral("ok"), true}, {QStringLiteral("profile"), profile}};
    return QJsonDocument(reply).toJson(QJsonDocument::Compact);
}

// The refusal of a request over one of the limits, counting those that are not refused.
std::optional<FakeSlack::Reply> FakeSlack::overLimit(const Request& request) {
    const QString method = request.path.mid(5);  // after "/api/"
    const bool profileSet = method == QLatin1String("users.profile.set");
    const int perWorkspace = limits_.perWorkspace.value(method, 0);
    if (!profileSet && perWorkspace == 0) return std::nullopt;
    const auto windowStart = request.received - std::chrono::seconds(60);
    std::chrono::steady_clock::time_point oldestOfToken{}, oldestOfApp{};
    int ofToken = 0, ofApp = 0;
    const QString workspace = workspaces_.value(request.token());
    for (const Request& earlier : requests_) {
        if (earlier.refused || earlier.path != request.path || earlier.received <= windowStart ||
            workspaces_.value(earlier.token()) != workspace)
            continue;
        if (ofApp++ == 0) oldestOfApp = earlier.received;
        if (earlier.token() == request.token() && ofToken++ == 0) oldestOfToken = earlier.received;
    }
    std::chrono::steady_clock::time_point fits{};
    if (profileSet && ofToken >= limits_.profileSetsPerToken) fits = oldestOfToken;
    if (perWorkspace > 0 && ofApp >= perWorkspace) fits = std::max(fits, oldestOfApp);
    if (fits == std::chrono::steady_clock::time_point{}) return std::nullopt;
    const auto wait =
        std::chrono::ceil<std::chrono::seconds>(fits + std::chrono::seconds(60) - request.received);
    return Reply{429,
                 R"({"ok":false,"error":"ratelimited"})",
                 0,
                 {{"Retry-After", QByteArray::number(qint64(wait.count()))}}};
}

// Remembers the status a set request sends; answers a read with the status the token last
// set, once it has set one. None for any other request, or when statuses are not kept.
std::optional<FakeSlack::Reply> FakeSlack::keptStatus(const Request& request) {
    if (!keepStatuses_) return std::nullopt;
    if (request.path == QLatin1String("/api/users.profile.set")) {
        const QString profile = request.formValue(QStringLiteral("profile"));
        statuses_.insert(request.token(), QJsonDocument::fromJson(profile.toUtf8()).object());
        return std::nullopt;
    }
    const auto status = statuses_.constFind(request.token());
    if (request.path != QLatin1String("/api/users.profile.get") || status == statuses_.cend())
        return std::nullopt;
    const qint64 expiration = status->value(QStringLiteral("status_expiration")).toInteger();
    const bool expired = expiration > 0 && QDateTime::currentSecsSinceEpoch() >= expiration;
    const QJsonObject profile = expired ? QJsonObject{} : *status;
    const QJsonObject reply{{QStringLiteral("ok"), true}, {QStringLiteral("profile"), profile}};
    return Reply{200, QJsonDocument(reply).toJson(QJsonDocument::Compact)};
}

FakeSlack::Reply FakeSlack::replyFor(const Request& incoming) {
    QMutexLocker lock(&mutex_);
    Request request = incoming;
    request.received = std::chrono::steady_clock::now();
    if (const std::optional<Reply> refusal = overLimit(request)) {
        request.refused = true;
        requests_ += request;
        return *refusal;
    }
    requests_ += request;
    if (lateFor_.contains(request.token())) {
        return {200, R"({"ok":true,"profile":{}})", lateFor_.value(request.token())};
    }
    if (revoked_.contains(request.token())) {
        return {200, QJsonDocument(
                         QJsonObject{{QStringLiteral("ok"), false},
                                     {QStringLiteral("error"), revoked_.value(request.token())}})
                         .toJson(QJsonDocument::Compact)};
    }
    if (request.path == QLatin1String("/api/users.profile.get") &&
        shownFor_.contains(request.token())) {
        return {200, profileShowing(shownFor_.value(request.token()))};
    }
    if (std::optional<Reply> page = authorize(request)) return *page;
    if (std::optional<Reply> refused = exchangeRefused(request)) return *refused;
    if (std::optional<Reply> kept = keptStatus(request)) return *kept;
    QList<Reply>& replies = scripts_[request.path];
    if (replies.isEmpty()) return {404, R"({"ok":false,"error":"unknown_method"})"};
    return replies.size() > 1 ? replies.takeFirst() : replies.first();
}
