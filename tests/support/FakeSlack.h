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
#include <optional>

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
        bool refused = false;                            // answered 429: over one of Slack's limits

        // The token of its Authorization header.
        QByteArray token() const;

        // The body read as a form, values decoded.
        QString formValue(const QString& key) const;
    };

    struct Reply {
        using Headers = QList<std::pair<QByteArray, QByteArray>>;
        Reply(int status = 200, QByteArray body = {}, int delayMs = 0, Headers headers = {})
            : status(status),
              body(std::move(body)),
              delayMs(delayMs),
              headers(std::move(headers)) {}
        int status;
        QByteArray body;
        int delayMs;
        Headers headers;
        qint64 declaredLength = -1;  // the Content-Length sent, when not the body's own
        int trickleMs = 0;  // the body sent a piece of `trickleBytes` every so often; 0: at once
        qsizetype trickleBytes = 1;
    };

    // Slack's published limits, each over any 60 seconds: status changes per token, and calls
    // per method for the app in the workspace (every token together). Over a limit a request
    // is refused with HTTP 429 and a Retry-After of the seconds until it would fit.
    struct Limits {
        int profileSetsPerToken = 10;
        QHash<QString, int> perWorkspace = {{QStringLiteral("users.profile.set"), 50},
                                            {QStringLiteral("users.profile.get"), 100},
                                            {QStringLiteral("emoji.list"), 20}};
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
    // Answers requests for `path` with `reply`.
    void serve(const QString& path, const Reply& reply);
    // Forgets every script, every recorded request and every revoked token, and puts Slack's
    // limits back.
    void reset();
    void setLimits(Limits limits);
    // Puts `token` in a workspace of its own name, whose per-workspace limits it shares only
    // with the other tokens put there; tokens put nowhere share one workspace.
    void assignWorkspace(const QByteArray& token, const QString& workspace);
    // Answers every later call with `token` only after `ms` milliseconds.
    void answerLateTo(const QByteArray& token, int ms);
    // Answers every later call with `token` with {"ok": false, "error": `error`}.
    void revoke(const QByteArray& token, const QString& error = QStringLiteral("token_revoked"));

    QList<Request> requests() const;
    QList<Request> requests(const QString& method) const;
    // The "profile" objects of every users.profile.set request that was not refused, in order.
    QList<QJsonObject> profilesSent() const;
    // How many requests were refused for going over a limit.
    int refusedCount() const;

    // A users.profile.get reply showing `text` as the status.
    static QByteArray profileShowing(const QString& text);
    // Shows `text` as the current status from now on.
    void shows(const QString& text) {
        script(QStringLiteral("users.profile.get"), profileShowing(text));
    }
    // Shows `text` as the status to `token` alone from now on, whatever else is scripted.
    void showsFor(const QByteArray& token, const QString& text);
    // From now on, keeps the status each token sets, as Slack does: users.profile.get answers
    // with the status that token last set until its expiration passes (then with none), and
    // with the scripted reply for a token that has set none.
    void keepStatuses();

    // Plays the Slack app `clientId` with PKCE on, whose one redirect URL is `redirect`: its
    // sign-in page (/oauth/v2/authorize) sends the browser on (HTTP 302) to that exact
    // redirect with a code and the state it was given, and shows an error page instead, as
    // Slack does, for another client, another redirect or no S256 challenge. oauth.v2.access
    // then exchanges a code once, and only for the same client and redirect and the verifier of
    // its challenge, before answering as scripted; a renewal only for the same client.
    void registerApp(const QString& clientId, const QString& redirect);

    // Called on the server thread.
    Reply replyFor(const Request& request);

  private:
    struct App {
        QString clientId;
        QString redirect;
    };
    struct Grant {
        QString challenge;
        QString redirect;
    };
    std::optional<Reply> authorize(const Request& request);
    std::optional<Reply> exchangeRefused(const Request& request);

    std::optional<Reply> overLimit(const Request& request);
    std::optional<Reply> keptStatus(const Request& request);

    mutable QMutex mutex_;
    Limits limits_;
    QHash<QByteArray, QString> revoked_;
    QHash<QByteArray, QString> workspaces_;  // by token
    QHash<QByteArray, QString> shownFor_;    // by token
    QHash<QByteArray, int> lateFor_;         // by token: milliseconds
    bool keepStatuses_ = false;
    std::optional<App> app_;
    QHash<QString, Grant> codes_;              // codes given and not yet exchanged
    QHash<QByteArray, QJsonObject> statuses_;  // by token: the profile it last set
    QHash<QString, QList<Reply>> scripts_;
    QList<Request> requests_;
    QThread thread_;
    FakeSlackServer* server_;
    quint16 port_ = 0;
};
