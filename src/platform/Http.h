#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>
#include <chrono>
#include <functional>
#include <optional>
#include <utility>

namespace platform {

struct HttpPost {
    QUrl url;
    QList<std::pair<QByteArray, QByteArray>> headers;
    QByteArray body;
};

// What came back for a request.
struct HttpReply {
    // The HTTP status; 0 when no whole reply arrived in time (no connection, a transport error,
    // no reply, a body over the limit).
    int status = 0;
    QByteArray body;
    // The seconds a Retry-After header asked for, when the reply carried one.
    std::optional<qint64> retryAfter;
};

// Sends `request` and blocks the calling thread until the reply is complete or `wait` has
// passed, reading at most `maxBytes` of its body. A request that outlives `wait`, or whose body
// grows past `maxBytes`, is cancelled, so it holds no connection afterwards.
//
// Requests run on one network thread shared by the whole process, which pools connections;
// the caller only waits, so no events of the calling thread are processed meanwhile. Any
// thread, the main thread included, may call this.
HttpReply postAndWait(const HttpPost& request, std::chrono::milliseconds wait, qint64 maxBytes);

// Sends a GET for `url` on the network thread and returns at once. When the reply is complete,
// or `timeout` has passed, `done` runs on `receiver`'s thread with the body that came back
// (whatever the HTTP status; empty when nothing usable arrived, or when the body grew past
// `maxBytes`). Nothing runs when `receiver` is gone by then.
void get(const QUrl& url, std::chrono::milliseconds timeout, qint64 maxBytes,
         const QObject* receiver, std::function<void(const QByteArray& body)> done);

// Carries a finished reply's body from the network thread to a receiver on another thread; the
// queued connection is dropped with the receiver, so a late reply finds nobody to call.
class ReplyCarrier : public QObject {
    Q_OBJECT
  signals:
    void arrived(const QByteArray& body);
};
// Fetches `url` with GET and writes the body to a new file at `path` as it arrives, so it is
// never held in memory. Blocks the calling thread until the transfer ends or `cancelled`
// (asked several times a second) says to stop. True when a reply came back in full, whatever
// its HTTP status; false when none did (no connection, a transport error, a minute without
// data), when the file could not be created or written, or when cancelled. Same network thread
// as above; not for the main thread.
bool getToFile(const QUrl& url, const QString& path, const std::function<bool()>& cancelled);

}  // namespace platform
