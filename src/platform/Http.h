#pragma once

#include <QByteArray>
#include <QList>
#include <QUrl>
#include <chrono>
#include <utility>

namespace platform {

struct HttpPost {
    QUrl url;
    QList<std::pair<QByteArray, QByteArray>> headers;
    QByteArray body;
};

// Sends `request` and blocks the calling thread until the reply is complete or `wait` has
// passed. Returns the body that came back, whatever the HTTP status; an empty array when
// nothing usable arrived in time (no connection, transport error, no reply). A request that
// outlives `wait` is left to finish on its own and its reply is discarded.
//
// Requests run on one network thread shared by the whole process, which pools connections;
// the caller only waits, so no events of the calling thread are processed meanwhile. Any
// thread, the main thread included, may call this.
QByteArray postAndWait(const HttpPost& request, std::chrono::milliseconds wait);

}  // namespace platform
