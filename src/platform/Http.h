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

// The longest wait a Retry-After header is taken at.
constexpr qint64 MAX_RETRY_AFTER_SECONDS = 60 * 60;

// What came back for a request.
struct HttpReply {
    // The HTTP status; 0 when no whole reply arrived in time (no connection, a transport error,
    // no reply, a body over the limit).
    int status = 0;
    QByteArray body;
    // The seconds a Retry-After header asked for, when the reply carried one; at most
    // MAX_RETRY_AFTER_SECONDS.
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
// or `timeout` has passed since it was sent, `done` runs on `receiver`'s thread with the body
// that came back (whatever the HTTP status; empty when no whole reply arrived within `timeout`,
// however steadily it trickled, or when the body grew past `maxBytes`). Nothing runs when
// `receiver` is gone by then.
void get(const QUrl& url, std::chrono::milliseconds timeout, qint64 maxBytes,
         const QObject* receiver, std::function<void(const QByteArray& body)> done);

// Carries a finished reply's body from the network thread to a receiver on another thread; the
// queued connection is dropped with the receiver, so a late reply finds nobody to call.
class ReplyCarrier : public QObject {
    Q_OBJECT
  signals:
    void arrived(const QByteArray& body);
};
// The bounds of a download: it is too large once more than `maxBytes` have arrived, it has
// stalled once `stallWindow` has passed with fewer than `stallBytes` arriving in it, however
// steadily they trickle, and it has taken too long once `deadline` has passed since it started,
// however steadily it goes on.
struct DownloadLimits {
    qint64 maxBytes = qint64(64) << 20;
    std::chrono::milliseconds stallWindow{30'000};
    qint64 stallBytes = qint64(32) << 10;
    std::chrono::milliseconds deadline{10 * 60'000};
};

enum class Download {
    Saved,        // a whole reply with a success status (2xx) is in the file
    Failed,       // no reply, a transport error, an error status, or the file could not be written
    TooLarge,     // more than the limit arrived; the file holds no more than the limit
    Stalled,      // too little arrived within a window
    TookTooLong,  // the deadline passed before the whole reply had arrived
};

// Fetches `url` with GET and writes the body to a new file at `path` as it arrives, so it is
// never held in memory, and blocks the calling thread until the transfer ends or breaks one of
// `limits`. Same network thread as above; not for a thread that must stay responsive.
Download getToFile(const QUrl& url, const QString& path, const DownloadLimits& limits = {});

}  // namespace platform
