#include "signin/CallbackRequest.h"

#include <QStringDecoder>
#include <QStringList>
#include <QUrl>

const QByteArray NOT_FOUND_RESPONSE = "HTTP/1.1 404 Not Found\r\nConnection: close\r\n\r\n";

namespace {

const QString CALLBACK_ROUTE = QStringLiteral("/slack/callback");

const QByteArray PAGE_START =
    "<html><body style='font-family:sans-serif;background:#0b0d0f;color:#e8eaec;display:flex;"
    "justify-content:center;padding-top:80px'><div>";
const QByteArray PAGE_END = "</div></body></html>";

// The request as text; empty when the bytes are not valid UTF-8. Stateless, so that a
// sequence cut off at the end counts as invalid; a leading byte order mark is kept as a
// character rather than skipped.
QString requestText(const QByteArray& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                     QStringDecoder::Flag::ConvertInitialBom);
    const QString text = decoder.decode(bytes);
    return decoder.hasError() ? QString() : text;
}

// The target of a GET to the callback route (query included), or none for any other request.
// Only the request line, up to the first CR LF, is looked at. Its pieces are separated by
// single spaces, so two spaces in a row leave the target empty.
std::optional<QString> callbackTarget(const QString& text) {
    const qsizetype lineEnd = text.indexOf(QStringLiteral("\r\n"));
    const QString line = lineEnd < 0 ? text : text.left(lineEnd);
    const QStringList pieces = line.split(u' ');
    const QString target = pieces.value(1);
    const qsizetype queryStart = target.indexOf(u'?');
    const QString route = queryStart < 0 ? target : target.left(queryStart);
    if (pieces.value(0) != QStringLiteral("GET") || route != CALLBACK_ROUTE) return std::nullopt;
    return target;
}

QString percentDecoded(const QString& text) {
    return QUrl::fromPercentEncoding(text.toUtf8());
}

// Reads the values of the query of `target`, in order: the last item of a name wins, and an
// item without "=" makes its name absent again. "+" is a plus sign, not a space.
//
// A target that does not make a valid URL carries nothing. Validity is QUrl's strict mode:
// control characters, space, '"', '<', '>', '\', '^', '`', '{', '|', '}' and a '%' not
// followed by two hex digits are refused; other non-ASCII characters are accepted.
CallbackQuery parseQuery(const QString& target) {
    const QUrl url(QStringLiteral("http://x") + target, QUrl::StrictMode);
    if (!url.isValid()) return {};
    CallbackQuery query;
    for (const QString& item : url.query(QUrl::FullyEncoded).split(u'&')) {
        const qsizetype equals = item.indexOf(u'=');
        const QString name = percentDecoded(equals < 0 ? item : item.left(equals));
        std::optional<QString> value;
        if (equals >= 0) value = percentDecoded(item.mid(equals + 1));
        if (name == QStringLiteral("code")) query.code = value;
        if (name == QStringLiteral("state")) query.state = value;
        if (name == QStringLiteral("nonce")) query.nonce = value;
        if (name == QStringLiteral("error")) query.error = value;
    }
    return query;
}

// A page showing `message`, with its head.
QByteArray pageResponse(const QString& message) {
    const QByteArray body = PAGE_START + message.toHtmlEscaped().toUtf8() + PAGE_END;
    QByteArray response = "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n";
    response += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    response += "Connection: close\r\n\r\n";
    return response + body;
}

}  // namespace

std::optional<CallbackQuery> callbackQuery(const QByteArray& request) {
    const std::optional<QString> target = callbackTarget(requestText(request));
    if (!target) return std::nullopt;
    return parseQuery(*target);
}

QByteArray signedInPage() {
    return pageResponse(QStringLiteral("✅ Trackglint is connected — you can close this tab."));
}

QByteArray notSignedInPage(const QString& reason) {
    const QString said = reason.isEmpty() ? QStringLiteral("Sign-in didn't complete") : reason;
    return pageResponse(QStringLiteral("❌ %1 — try again from Trackglint.").arg(said));
}

QByteArray otherSignInPage() {
    return pageResponse(
        QStringLiteral("❌ This isn't the sign-in Trackglint is waiting for — start again from "
                       "Trackglint."));
}
