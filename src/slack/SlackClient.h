#pragma once

#include <QDateTime>
#include <QMutex>
#include <QObject>
#include <QString>
#include <optional>

#include "platform/Clock.h"
#include "slack/SlackApi.h"
#include "slack/TokenLimits.h"

// Every call to Slack's Web API goes through here, and here Slack's limits are kept, by the
// rules of TokenLimits; `tokenRejected` says once that Slack refused a token for good.
// Calls that are held back are not sent at all; their reply says why, as Slack would.
//
// Any thread may call; each call waits for Slack on the calling thread.
class SlackClient : public QObject {
    Q_OBJECT

  public:
    static constexpr int PROFILE_WRITES_PER_MINUTE = TokenLimits::PROFILE_WRITES_PER_MINUTE;

    explicit SlackClient(const platform::Clock& clock, QObject* parent = nullptr);

    // Calls a Web API method with the user's token: a form-encoded POST, waiting at most ten
    // seconds and reading at most a few MiB of the reply. Never fails: see SlackReply.
    SlackReply call(const QString& method, const QString& token, const FormParams& params = {});

    // Sets the user's status (text cut to STATUS_TEXT_LIMIT), expiring at `expires` (invalid:
    // STATUS_TTL_SECONDS from now), or clears it when `text` is empty. Counts against the
    // token's profile budget.
    SlackReply setStatus(const QString& token, const QString& text, const QString& emoji,
                         const QDateTime& expires = {});
    SlackReply clearStatus(const QString& token);
    // The user's profile, with the status text that shows now (see statusTextIn).
    SlackReply readStatus(const QString& token);
    // Whether the workspace has a custom emoji named "spotify"; none when Slack gave no answer.
    std::optional<bool> spotifyEmojiExists(const QString& token);
    // Takes the program's own status down: clears the status only while Slack still shows
    // `ownText`, the text the program last set, so a status the user set since is never
    // touched. Nothing is asked when `ownText` is empty. True when the status was cleared.
    bool clearOwnStatus(const QString& token, const QString& ownText);

    // When the token's next status change fits its budget and Slack's last word; none when one
    // may be sent now.
    std::optional<QDateTime> nextWriteSlot(const QString& token) const;
    // When the token's next status read may be sent; none when one may be sent now.
    std::optional<QDateTime> nextReadSlot(const QString& token) const;
    // The latest time Slack asked to wait until before hearing from the token again; none when
    // it did not, or that time has passed.
    std::optional<QDateTime> waitingUntil(const QString& token) const;
    // What went wrong, in one sentence for the user, for a failed reply given with `token`.
    QString explain(const SlackReply& reply, const QString& token) const;
    // That Slack asked `token` to wait, or its budget of status changes is spent, and until
    // when.
    QString waitExplanation(const QString& token) const;

  signals:
    // Slack refused `token` for good; `error` is Slack's word for why.
    void tokenRejected(const QString& token, const QString& error);

  private:
    void learn(const QString& token, const QString& method, int status,
               std::optional<qint64> retryAfter, const SlackReply& reply);

    const platform::Clock& clock_;
    mutable QMutex mutex_;
    TokenLimits limits_;
};

// Whether Slack's `error` means the token is no good any more and will not be again.
bool rejectsToken(const QString& error);
