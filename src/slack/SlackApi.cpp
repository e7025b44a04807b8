#include "slack/SlackApi.h"

#include <QJsonDocument>
#include <QUrl>
#include <memory>

#include <unicode/ubrk.h>

namespace {

bool keptAsIs(char32_t codePoint) {
    switch (QChar::category(codePoint)) {
        case QChar::Letter_Uppercase:
        case QChar::Letter_Lowercase:
        case QChar::Letter_Titlecase:
        case QChar::Letter_Modifier:
        case QChar::Letter_Other:
        case QChar::Mark_NonSpacing:
        case QChar::Mark_SpacingCombining:
        case QChar::Mark_Enclosing:
        case QChar::Number_DecimalDigit:
        case QChar::Number_Letter:
        case QChar::Number_Other:
            return true;
        default:
            return false;
    }
}

// The length of the UTF-8 sequence that starts with `lead`.
int sequenceLength(quint8 lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xF0) return 4;
    if (lead >= 0xE0) return 3;
    return 2;
}

// The code point of one UTF-8 sequence.
char32_t decode(const char* bytes, int length) {
    static constexpr quint8 LEAD_BITS[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    char32_t codePoint = quint8(bytes[0]) & LEAD_BITS[length];
    for (int i = 1; i < length; ++i) codePoint = (codePoint << 6) | (quint8(bytes[i]) & 0x3F);
    return codePoint;
}

// The first `count` UTF-16 units of `text`, never half a surrogate pair: at most `count`
// user-perceived characters.
QString firstCodeUnits(const QString& text, int count) {
    QString start = text.left(count);
    if (!start.isEmpty() && start.back().isHighSurrogate()) start.chop(1);
    return start;
}

}  // namespace

SlackReply networkFailure() {
    return {{QStringLiteral("ok"), false}, {QStringLiteral("error"), QStringLiteral("network")}};
}

bool replySucceeded(const SlackReply& reply) {
    const QJsonValue ok = reply.value(QStringLiteral("ok"));
    return ok.isBool() && ok.toBool();
}

SlackReply parseSlackReply(const QByteArray& body) {
    const QJsonDocument document = QJsonDocument::fromJson(body);
    return document.isObject() ? document.object() : networkFailure();
}

QByteArray formEncode(const QString& value) {
    // Encoded from the UTF-8 of the whole text, so every code point (U+FEFF and
    // noncharacters included) reaches Slack unchanged. An unpaired surrogate becomes U+FFFD.
    static constexpr char HEX_DIGITS[] = "0123456789ABCDEF";
    const QByteArray utf8 = value.toUtf8();
    QByteArray out;
    out.reserve(3 * utf8.size());
    for (qsizetype at = 0; at < utf8.size();) {
        const int length = std::min<int>(sequenceLength(quint8(utf8[at])), utf8.size() - at);
        const QByteArrayView bytes(utf8.constData() + at, length);
        if (keptAsIs(decode(bytes.data(), length))) {
            out += bytes;
        } else {
            for (const char byte : bytes) {
                out += '%';
                out += HEX_DIGITS[quint8(byte) >> 4];
                out += HEX_DIGITS[quint8(byte) & 0xF];
            }
        }
        at += length;
    }
    return out;
}

QByteArray formBody(const FormParams& params) {
    QByteArrayList pieces;
    for (auto it = params.cbegin(); it != params.cend(); ++it) {
        pieces += it.key().toUtf8() + '=' + formEncode(it.value());
    }
    return pieces.join('&');
}

QString firstGraphemes(const QString& text, int count) {
    // Every user-perceived character takes at least one UTF-16 unit: a text no longer than
    // `count` units is whole, and the segmentation below need not run (nor load its data).
    if (text.size() <= count) return text;
    // ICU's segmentation, not QTextBoundaryFinder's: next to Indic or Thai letters Qt applies
    // those scripts' own rules to the whole run of text, which there splits emoji sequences,
    // combining marks and even surrogate pairs, so a cut could leave half a character.
    UErrorCode status = U_ZERO_ERROR;
    const std::unique_ptr<UBreakIterator, decltype(&ubrk_close)> breaks(
        ubrk_open(UBRK_CHARACTER, "", reinterpret_cast<const UChar*>(text.utf16()),
                  int32_t(text.size()), &status),
        &ubrk_close);
    if (U_FAILURE(status)) return firstCodeUnits(text, count);
    int32_t end = 0;
    for (int taken = 0; taken < count; ++taken) {
        end = ubrk_next(breaks.get());
        if (end == UBRK_DONE) return text;
    }
    return text.left(end);
}

QString unescapedText(QString text) {
    // "&amp;" last, so "&amp;lt;" becomes "&lt;" as the user wrote it.
    text.replace(QLatin1String("&lt;"), QLatin1String("<"));
    text.replace(QLatin1String("&gt;"), QLatin1String(">"));
    return text.replace(QLatin1String("&amp;"), QLatin1String("&"));
}

QString fitEscaped(const QString& text, int count) {
    const auto fits = [&](int taken) {
        QString escaped = firstGraphemes(text, taken).toHtmlEscaped();
        escaped.replace(QLatin1String("&quot;"), QLatin1String("\""));
        return firstGraphemes(escaped, count) == escaped;
    };
    // The most characters that fit, by halving: fewer characters never escape to more.
    int low = 0, high = count;
    while (low < high) {
        const int middle = (low + high + 1) / 2;
        if (fits(middle)) {
            low = middle;
        } else {
            high = middle - 1;
        }
    }
    return firstGraphemes(text, low);
}

std::optional<QString> statusTextIn(const SlackReply& reply) {
    if (!replySucceeded(reply)) return std::nullopt;
    const QJsonValue text =
        reply.value(QStringLiteral("profile")).toObject().value(QStringLiteral("status_text"));
    return text.isString() ? unescapedText(text.toString()) : QString();
}

std::optional<bool> spotifyEmojiIn(const SlackReply& reply) {
    if (!replySucceeded(reply)) return std::nullopt;
    const QJsonValue emoji = reply.value(QStringLiteral("emoji"));
    if (!emoji.isObject()) return std::nullopt;
    return emoji.toObject().contains(QStringLiteral("spotify"));
}
