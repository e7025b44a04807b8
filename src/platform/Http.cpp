#include "platform/Http.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSemaphore>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <memory>

namespace platform {
namespace {

// How long the network layer itself keeps a request alive; callers give up earlier.
constexpr int TRANSFER_TIMEOUT_MS = 60'000;

// The thread that runs every HTTP request, with its one network manager. Started on first
// use and stopped when the application object goes away.
class NetworkThread {
  public:
    static QNetworkAccessManager& manager() {
        static NetworkThread* const network = new NetworkThread;
        return *network->manager_;
    }

  private:
    NetworkThread() : manager_(new QNetworkAccessManager) {
        manager_->moveToThread(&thread_);
        QObject::connect(&thread_, &QThread::finished, manager_, &QObject::deleteLater);
        thread_.setObjectName(QStringLiteral("network"));
        thread_.start();
        qAddPostRoutine([] {
            QThread* thread = manager().thread();
            thread->quit();
            thread->wait();
        });
    }

    QThread thread_;
    QNetworkAccessManager* const manager_;
};

// What the network thread hands back to the waiting caller. Only the network thread touches
// `reply`.
struct Outcome {
    QSemaphore done;
    HttpReply reply;
    QNetworkReply* pending = nullptr;
};

// Reads what has arrived of `reply` into `body`; false, with the transfer aborted, once the body
// would grow past `maxBytes`.
bool readWithin(QNetworkReply* reply, QByteArray& body, qint64 maxBytes) {
    if (body.size() + reply->bytesAvailable() > maxBytes) {
        reply->abort();
        return false;
    }
    body += reply->readAll();
    return true;
}

// The seconds a Retry-After header asks for, up to an hour: a server asking for longer, or for
// more than a number can hold, is waited for an hour, never not at all.
std::optional<qint64> retryAfter(const QNetworkReply& reply) {
    const QByteArray value = reply.rawHeader("Retry-After").trimmed();
    const bool digits = !value.isEmpty() && std::all_of(value.begin(), value.end(), [](char c) {
        return c >= '0' && c <= '9';
    });
    if (!digits) return std::nullopt;
    bool fits = false;
    const qint64 seconds = value.toLongLong(&fits);
    return fits ? std::min(seconds, MAX_RETRY_AFTER_SECONDS) : MAX_RETRY_AFTER_SECONDS;
}

void send(QNetworkAccessManager& manager, const HttpPost& request, qint64 maxBytes,
          const std::shared_ptr<Outcome>& outcome) {
    QNetworkRequest networkRequest(request.url);
    networkRequest.setTransferTimeout(TRANSFER_TIMEOUT_MS);
    for (const auto& [name, value] : request.headers) networkRequest.setRawHeader(name, value);
    QNetworkReply* reply = manager.post(networkRequest, request.body);
    outcome->pending = reply;
    auto withinLimit = std::make_shared<bool>(true);
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [=] {
        if (*withinLimit) *withinLimit = readWithin(reply, outcome->reply.body, maxBytes);
    });
    QObject::connect(reply, &QNetworkReply::finished, reply, [=] {
        outcome->pending = nullptr;
        if (*withinLimit && readWithin(reply, outcome->reply.body, maxBytes)) {
            outcome->reply.status =
                reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            outcome->reply.retryAfter = retryAfter(*reply);
        }
        outcome->done.release();
        reply->deleteLater();
    });
}

// How often a caller waiting for a download looks at its progress.
constexpr int PROGRESS_CHECK_MS = 100;

// What the network thread hands back to a caller waiting for a download.
struct Transfer {
    QSemaphore done;
    std::atomic<bool> abandoned = false;
    std::atomic<qint64> received = 0;
    std::atomic<bool> tooLarge = false;
    bool complete = false;
};

// Whether `reply` came back whole, with a success status.
bool arrivedWhole(const QNetworkReply& reply) {
    const int status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    return reply.error() == QNetworkReply::NoError && status >= 200 && status < 300;
}

void fetch(QNetworkAccessManager& manager, const QUrl& url, const QString& path, qint64 maxBytes,
           const std::shared_ptr<Transfer>& transfer) {
    auto* file = new QFile(path);
    if (!file->open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        delete file;
        transfer->done.release();
        return;
    }
    QNetworkRequest request(url);
    request.setTransferTimeout(TRANSFER_TIMEOUT_MS);
    QNetworkReply* reply = manager.get(request);
    file->setParent(reply);
    const auto save = [reply, file, transfer, maxBytes] {
        const QByteArray data = reply->readAll();
        transfer->received += data.size();
        if (transfer->received > maxBytes) transfer->tooLarge = true;
        return !transfer->abandoned && !transfer->tooLarge && file->write(data) >= 0;
    };
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [reply, save] {
        if (!save()) reply->abort();
    });
    QObject::connect(reply, &QNetworkReply::finished, reply, [reply, file, transfer, save] {
        transfer->complete = arrivedWhole(*reply) && save() && file->flush();
        file->close();
        transfer->done.release();
        reply->deleteLater();
    });
}

void sendGet(QNetworkAccessManager& manager, const QUrl& url, std::chrono::milliseconds timeout,
             qint64 maxBytes, ReplyCarrier* carrier) {
    QNetworkRequest request(url);
    request.setTransferTimeout(int(timeout.count()));
    QNetworkReply* reply = manager.get(request);
    auto body = std::make_shared<QByteArray>();
    auto withinLimit = std::make_shared<bool>(true);
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [=] {
        if (*withinLimit) *withinLimit = readWithin(reply, *body, maxBytes);
    });
    // The transfer timeout above only ends a reply that goes quiet; this ends one that still
    // trickles when the time is up.
    QTimer::singleShot(timeout, reply, [=] {
        *withinLimit = false;
        reply->abort();
    });
    QObject::connect(reply, &QNetworkReply::finished, reply, [=] {
        // A reply cut off, by either timeout, is not a whole one.
        const bool cut = reply->error() == QNetworkReply::OperationCanceledError ||
                         reply->error() == QNetworkReply::TimeoutError;
        const bool whole = *withinLimit && !cut && readWithin(reply, *body, maxBytes);
        emit carrier->arrived(whole ? *body : QByteArray());
        carrier->deleteLater();
        reply->deleteLater();
    });
}

}  // namespace

void get(const QUrl& url, std::chrono::milliseconds timeout, qint64 maxBytes,
         const QObject* receiver, std::function<void(const QByteArray& body)> done) {
    QNetworkAccessManager& manager = NetworkThread::manager();
    auto* carrier = new ReplyCarrier;
    QObject::connect(carrier, &ReplyCarrier::arrived, receiver, std::move(done),
                     Qt::QueuedConnection);
    carrier->moveToThread(manager.thread());
    QMetaObject::invokeMethod(
        &manager,
        [&manager, url, timeout, maxBytes, carrier] {
            sendGet(manager, url, timeout, maxBytes, carrier);
        },
        Qt::QueuedConnection);
}

Download getToFile(const QUrl& url, const QString& path, const DownloadLimits& limits) {
    QNetworkAccessManager& manager = NetworkThread::manager();
    auto transfer = std::make_shared<Transfer>();
    QMetaObject::invokeMethod(
        &manager,
        [&manager, url, path, maxBytes = limits.maxBytes, transfer] {
            fetch(manager, url, path, maxBytes, transfer);
        },
        Qt::QueuedConnection);
    const QDeadlineTimer deadline(limits.deadline);
    QDeadlineTimer window(limits.stallWindow);
    qint64 receivedBefore = 0;
    while (!transfer->done.tryAcquire(1, PROGRESS_CHECK_MS)) {
        if (deadline.hasExpired()) {
            transfer->abandoned = true;
            return Download::TookTooLong;
        }
        if (!window.hasExpired()) continue;
        if (transfer->received - receivedBefore < limits.stallBytes) {
            transfer->abandoned = true;
            return Download::Stalled;
        }
        receivedBefore = transfer->received;
        window.setRemainingTime(limits.stallWindow);
    }
    if (transfer->tooLarge) return Download::TooLarge;
    return transfer->complete ? Download::Saved : Download::Failed;
}

HttpReply postAndWait(const HttpPost& request, std::chrono::milliseconds wait, qint64 maxBytes) {
    QNetworkAccessManager& manager = NetworkThread::manager();
    auto outcome = std::make_shared<Outcome>();
    QMetaObject::invokeMethod(
        &manager,
        [&manager, request, maxBytes, outcome] { send(manager, request, maxBytes, outcome); },
        Qt::QueuedConnection);
    if (outcome->done.tryAcquire(1, int(wait.count()))) return outcome->reply;
    // Given up: cancel the request on the network thread, so a reply that trickles in holds no
    // connection that the next request needs.
    QMetaObject::invokeMethod(
        &manager,
        [outcome] {
            if (outcome->pending) outcome->pending->abort();
        },
        Qt::QueuedConnection);
    return {};
}

}  // namespace platform
