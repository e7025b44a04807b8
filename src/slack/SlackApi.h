#pragma once

#include <QJsonObject>
#include <QMap>
#include <QString>
#include <optional>

namespace platform {
class Clock;
}

// A reply of the Slack Web API as Slack sent it, or {"ok": false, "error": "network"} when no
// usable reply arrived.
using SlackReply = QJsonObject;
using FormParams = QMap<QString, QString>;

// Longest status text Slack keeps, in user-perceived characters.
inline constexpr int STATUS_TEXT_LIMIT = 100;

// The reply every transport or parse failure becomes.
SlackReply networkFailure();
// Whether a reply reports success ("ok" is the boolean true).
bool replySucceeded(const SlackReply& reply);
// Decodes a reply body: a JSON object, or the network failure for anything else.
SlackReply parseSlackReply(const QByteArray& body);

// The status text a "users.profile.get" reply shows: empty when the user has none; none when
// the reply is a failure.
std::optional<QString> statusTextIn(const SlackReply& reply);
// Whether an "emoji.list" reply has an entry named "spotify"; none when the reply is a failure
// or lists no emoji.
std::optional<bool> spotifyEmojiIn(const SlackReply& reply);

// Percent-encodes a form value: letters, marks and numbers of any script stay as they are;
// every other character is written as its UTF-8 bytes, each "%XX" in upper case.
QByteArray formEncode(const QString& value);
// "key=value" pairs, values encoded, joined with "&".
QByteArray formBody(const FormParams& params);

// The first `count` user-perceived characters (grapheme clusters) of `text`.
QString firstGraphemes(const QString& text, int count);

// Calls a Slack Web API method with the user's token: a form-encoded POST, waiting at most
// ten seconds on the calling thread. Never fails: see SlackReply.
SlackReply slackCall(const QString& method, const QString& token, const FormParams& params = {});

// Sets the user's status (text cut to STATUS_TEXT_LIMIT, expiring STATUS_TTL_SECONDS from
// now), or clears it when `text` is empty.
SlackReply setStatus(const QString& token, const QString& text, const QString& emoji,
                     const platform::Clock& clock);
// Clears the user's status: empty text, empty emoji, no expiry.
SlackReply clearStatus(const QString& token);
// Takes the program's own status down: clears the status only while Slack still shows
// `ownText`, the text the program last set, so a status the user set since is never touched.
// Nothing is asked when `ownText` is empty. True when a clear was sent.
bool clearOwnStatus(const QString& token, const QString& ownText);
// The status text shown now; empty when the user has none; none when Slack gave no answer.
std::optional<QString> currentStatusText(const QString& token);
// Whether the workspace has a custom emoji named "spotify"; none when Slack gave no answer.
std::optional<bool> spotifyEmojiExists(const QString& token);
