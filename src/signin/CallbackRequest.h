#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// The values a request to the callback route carried; each is absent when not sent.
struct CallbackQuery {
    std::optional<QString> code;
    std::optional<QString> nonce;
    std::optional<QString> error;
    bool operator==(const CallbackQuery&) const = default;
};

// What the loopback listener does with the bytes of one request: the bytes to send back, and
// whether to report the query (a code or an error was sent).
struct CallbackAnswer {
    QByteArray response;
    CallbackQuery query;
    bool report = false;
};

// Answers one request: "GET /slack/callback?..." gets a page telling the user whether
// sign-in worked (a code was sent), anything else a bare 404. Only the request line, up to
// the first CR LF, is looked at; bytes that are not valid UTF-8 count as an empty request.
CallbackAnswer answerCallbackRequest(const QByteArray& request);
