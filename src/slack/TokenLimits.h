#pragma once

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <optional>

// What the program keeps of Slack's limits for each token, without I/O: the time is always
// given. Rules:
// - after a refusal for rate (HTTP 429), that method is not called with that token until the
//   time its Retry-After named (60 seconds when it names none); a refused read
//   holds back no status change, and a refused change no read;
// - at most PROFILE_WRITES_PER_MINUTE status changes per token in any 60 seconds;
// - a token Slack refused for good (revoked, expired, its account gone) is never sent again.
//
// Not thread-safe: SlackClient guards it.
class TokenLimits {
  public:
    static constexpr int PROFILE_WRITES_PER_MINUTE = 10;
    static const QString WRITE_METHOD;  // "users.profile.set"
    static const QString READ_METHOD;   // "users.profile.get"

    // Why a call of `method` must not be sent at `now` (Slack's word: "ratelimited", or the
    // token's refusal); none when it may be sent, and then a status change counts against the
    // budget at once.
    std::optional<QString> heldBack(const QString& token, const QString& method,
                                    const QDateTime& now);
    // Remembers what a reply says about the token: a time to wait before calling `method`
    // again, when `rateLimited`, or a refusal for good (`rejection`, Slack's error). True when
    // the token is refused for the first time.
    bool learn(const QString& token, const QString& method, bool rateLimited,
               std::optional<qint64> retryAfter, const QString& rejection, const QDateTime& now);

    // When the token's next status change may be sent; none when one may be sent at `now`.
    std::optional<QDateTime> nextWriteSlot(const QString& token, const QDateTime& now) const;
    // When the token's next status read may be sent; none when one may be sent at `now`.
    std::optional<QDateTime> nextReadSlot(const QString& token, const QDateTime& now) const;
    // The latest time Slack asked the token to wait until, for any method; none when it did
    // not, or that time has passed.
    std::optional<QDateTime> waitingUntil(const QString& token, const QDateTime& now) const;

  private:
    struct TokenState {
        QHash<QString, QDateTime> waitUntil;  // by method
        QList<QDateTime> writes;              // the status changes sent in the last minute
        QString rejected;                     // Slack's error, once it refused the token for good
    };
    std::optional<QDateTime> waitFor(const QString& token, const QString& method,
                                     const QDateTime& now) const;

    QHash<QString, TokenState> tokens_;
};
