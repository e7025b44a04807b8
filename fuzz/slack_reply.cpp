// A Slack Web API reply body, whatever came back, and the readers of it.

#include <QJsonDocument>

#include "Fuzz.h"
#include "slack/SlackApi.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray body = fuzzBytes(data, size);
    const SlackReply reply = parseSlackReply(body);
    const bool succeeded = replySucceeded(reply);
    const std::optional<QString> text = statusTextIn(reply);
    const std::optional<bool> emoji = spotifyEmojiIn(reply);
    // A failure is never read as an answer, and a success always gives a status text.
    REQUIRE(text.has_value() == succeeded);
    if (!succeeded) REQUIRE(!emoji.has_value());
    if (!QJsonDocument::fromJson(body).isObject()) REQUIRE(reply == networkFailure());
    return 0;
}
