#pragma once

#include <QJsonObject>
#include <QMap>
#include <QString>
#include <optional>

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

// Slack's text as the user wrote it: Slack sends "&", "<" and ">" as "&amp;", "&lt;", "&gt;".
QString unescapedText(QString text);
// The status text a "users.profile.get" reply shows, unescaped: empty when the user has none;
// none when the reply is a failure.
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
// The longest start of `text`, in whole user-perceived characters, that stays within `count`
// of them once Slack has escaped "&", "<" and ">" in it.
QString fitEscaped(const QString& text, int count);
