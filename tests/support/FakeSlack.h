#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QString>
#include <QThread>
#include <QUrlQuery>
#include <chrono>
#include <memory>

class FakeSlackServer;

// Plays the Slack Web API, and the vendor web service's files: an HTTP server on 127.0.0.1, on
// a thread of its own, that records every request and answers with scripted replies.
class FakeSlack {
  public:
    struct Request {
        QByteArray method;
        QString path;
        QMap<QByteArray, QByteArray> headers;  // names in lower case
        QByteArray body;
        std::chrono::steady_clock::time_point received;  // when the whole request had come

        // The body read as a form, values decoded.
        QString formValue(const QString& key) const;
    };

    struct Reply {
        int status = 200;
        QByteArray body;
        int delayMs = 0;
    };

    FakeSlack();
    ~FakeSlack();

    // "http://127.0.0.1:PORT", to put in TRACKGLINT_SLACK_URL.
    QString url() const;
    // Sets TRACKGLINT_SLACK_URL to this server.
    void useForSlack() const;

    // Answers requests to /api/<method> with `replies` in turn; the last one stays in force.
    void script(const QString& method, QList<Reply> replies);
    void script(const QString& method, const QByteArray& json) { script(method, {{200, json}}); }
    // Answers requests for `path` with `body`.
    void serve(const QString& path, const QByteArray& body);
    // Forgets every script and every recorded request.
    void reset();

    QList<Request> requests() const;
    QList<Request> requests(const QString& method) const;
    // The "profile" objects of every users.profile.set request, in order.
    QList<QJsonObject> profilesSent() const;

    // A users.profile.get reply showing `text` as the status.
    static QByteArray profileShowing(const QString& text);
    // Shows `text` as the current status from now on.
    void shows(const QString& text) {
        script(QStringLiteral("users.profile.get"), profileShowing(text));
    }

    // Called on the server thread.
    Reply replyFor(const Request& request);

  private:
    mutable QMutex mutex_;
    QHash<QString, QList<Reply>> scripts_;
    QList<Request> requests_;
    QThread thread_;
    FakeSlackServer* server_;
    quint16 port_ = 0;
};
