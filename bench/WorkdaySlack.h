#pragma once

#include <QHash>
#include <QList>
#include <QMap>
#include <QString>
#include <deque>
#include <functional>
#include <optional>

// Slack as the workday simulation plays it, in virtual time (milliseconds into the day): one
// workspace and one Slack app, whose limits are kept over any 60 seconds: 50 status changes,
// 100 status reads and 20 emoji lists for the app (every user together), and 10 status changes
// per user's token. Over a limit a call is refused (HTTP 429) with a Retry-After of the seconds
// until the window has room, and it is not counted in the window. Each user has one status,
// set by the program (with an expiry) or by hand (without one).
class WorkdaySlack {
  public:
    static const QString SET;    // "users.profile.set"
    static const QString GET;    // "users.profile.get"
    static const QString EMOJI;  // "emoji.list"

    struct Reply {
        bool ok = true;
        bool rateLimited = false;
        std::optional<qint64> retryAfter;  // seconds
        QString text;                      // GET: the status text showing
    };
    // A status: its text, when it expires (0: never), and whether the user set it by hand.
    struct Status {
        QString text;
        qint64 expires = 0;
        bool byHand = false;
        qint64 setAt = 0;
    };

    // A call of `method` by `user`'s token, received at `at`; SET sets `status` (an empty text
    // clears it).
    Reply call(int user, const QString& method, qint64 at, const Status& status);
    // The calls of `method` the app may make in the workspace in any 60 seconds.
    static int appLimit(const QString& method);
    // Lifts the app's limits for the workspace (the per-token ones stay), to see what the
    // listeners ask for.
    void liftAppLimits() { appLimits_ = false; }
    // The most calls of `method` Slack received in any 60 seconds, and when each came.
    int busiestMinute(const QString& method) const;
    QList<qint64> received(const QString& method) const { return received_.value(method); }
    // The user sets their own status by hand (an empty text clears it).
    void setByHand(int user, const QString& text, qint64 at);
    // The status showing to `user` at `at`: none once it expired.
    Status showing(int user, qint64 at) const;

    // Told of every status the program set (not a clear), as Slack applied it.
    std::function<void(int user, const Status& status, qint64 at)> programSet;

    qint64 calls() const { return calls_; }
    qint64 refused() const { return refused_; }
    // Calls received, and those refused, by method.
    const QMap<QString, qint64>& byMethod() const { return byMethod_; }
    const QMap<QString, qint64>& refusedByMethod() const { return refusedByMethod_; }
    // The program set or cleared a status over the user's own, which it had read before
    // (`overwritten`) or which the user set between the program's read and its change, a race
    // Slack's API leaves open (`raced`).
    int overwritten() const { return overwritten_; }
    int raced() const { return raced_; }

  private:
    std::optional<qint64> retryAfter(int user, const QString& method, qint64 at);
    void apply(int user, const Status& status, qint64 at);

    QHash<QString, std::deque<qint64>> ofApp_;  // calls not refused, by method
    QHash<QString, QList<qint64>> received_;    // every call, by method
    bool appLimits_ = true;
    QHash<int, std::deque<qint64>> setsOf_;  // status changes not refused, by user
    QHash<int, Status> statuses_;
    QHash<int, qint64> lastRead_;  // when each user's status was last read
    QMap<QString, qint64> byMethod_;
    QMap<QString, qint64> refusedByMethod_;
    qint64 calls_ = 0;
    qint64 refused_ = 0;
    int overwritten_ = 0;
    int raced_ = 0;
};
