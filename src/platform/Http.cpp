#include "platform/Http.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSemaphore>
#include <QThread>
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

// What the network thread hands back to the waiting caller.
struct Outcome {
    QSemaphore done;
    QByteArray body;
};

void send(QNetworkAccessManager& manager, const HttpPost& request,
          const std::shared_ptr<Outcome>& outcome) {
    QNetworkRequest networkRequest(request.url);
    networkRequest.setTransferTimeout(TRANSFER_TIMEOUT_MS);
    for (const auto& [name, value] : request.headers) networkRequest.setRawHeader(name, value);
    QNetworkReply* reply = manager.post(networkRequest, request.body);
    QObject::connect(reply, &QNetworkReply::finished, reply, [reply, outcome] {
        outcome->body = reply->readAll();
        outcome->done.release();
        reply->deleteLater();
    });
}

void sendGet(QNetworkAccessManager& manager, const QUrl& url, std::chrono::milliseconds timeout,
             ReplyCarrier* carrier) {
    QNetworkRequest request(url);
    request.setTransferTimeout(int(timeout.count()));
    QNetworkReply* reply = manager.get(request);
    QObject::connect(reply, &QNetworkReply::finished, reply, [reply, carrier] {
        emit carrier->arrived(reply->readAll());
        carrier->deleteLater();
        reply->deleteLater();
    });
}

}  // namespace

void get(const QUrl& url, std::chrono::milliseconds timeout, const QObject* receiver,
         std::function<void(const QByteArray& body)> done) {
    QNetworkAccessManager& manager = NetworkThread::manager();
    auto* carrier = new ReplyCarrier;
    QObject::connect(carrier, &ReplyCarrier::arrived, receiver, std::move(done),
                     Qt::QueuedConnection);
    carrier->moveToThread(manager.thread());
    QMetaObject::invokeMethod(
        &manager, [&manager, url, timeout, carrier] { sendGet(manager, url, timeout, carrier); },
        Qt::QueuedConnection);
}

QByteArray postAndWait(const HttpPost& request, std::chrono::milliseconds wait) {
    QNetworkAccessManager& manager = NetworkThread::manager();
    auto outcome = std::make_shared<Outcome>();
    QMetaObject::invokeMethod(
        &manager, [&manager, request, outcome] { send(manager, request, outcome); },
        Qt::QueuedConnection);
    if (!outcome->done.tryAcquire(1, int(wait.count()))) return {};
    return outcome->body;
}

}  // namespace platform
