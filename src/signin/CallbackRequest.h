#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// The values a request to the callback route carried; each is absent when not sent. Slack's own
// redirect brings `state` back as it was sent; a hosted callback page forwards its `nonce`.
struct CallbackQuery {
    std::optional<QString> code;
    std::optional<QString> state;
    std::optional<QString> nonce;
    std::optional<QString> error;
    bool operator==(const CallbackQuery&) const = default;
};

// The query of a "GET /slack/callback?..." request, all absent when the target is not a valid
// URL; none for any other request. Only the request line, up to the first CR LF, is looked at;
// bytes that are not valid UTF-8 count as an empty request.
std::optional<CallbackQuery> callbackQuery(const QByteArray& request);

// The bare 404 for a request to anything but the callback route.
extern const QByteArray NOT_FOUND_RESPONSE;
// The pages the browser is shown at the end of a sign-in, with their heads.
QByteArray signedInPage();
// Why, when it is known: a sentence such as "Sign-in failed: access_denied", escaped.
QByteArray notSignedInPage(const QString& reason = {});
// A callback that is not the one the pending sign-in waits for: an earlier attempt's, one
// already used, or one made up.
QByteArray otherSignInPage();
