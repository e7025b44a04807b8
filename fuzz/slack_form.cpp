// Text on its way to Slack: any UTF-8 text must come out of the form body exactly as it went
// in, as a server decodes application/x-www-form-urlencoded; and a status text is cut to
// whole user-perceived characters.

#include <QString>
#include <memory>

#include <unicode/ubrk.h>

#include "Fuzz.h"
#include "slack/SlackApi.h"

namespace {

int hexDigit(const QByteArray& text, qsizetype at) {
    const char c = at < text.size() ? text[at] : '\0';
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// One name or value of a form body: "+" is a space, "%XX" a byte, anything else itself.
// None when an escape is malformed.
std::optional<QByteArray> formDecoded(const QByteArray& text) {
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            out += ' ';
        } else if (text[i] != '%') {
            out += text[i];
        } else {
            const int high = hexDigit(text, i + 1), low = hexDigit(text, i + 2);
            if (high < 0 || low < 0) return std::nullopt;
            out += char(high * 16 + low);
            i += 2;
        }
    }
    return out;
}

// User-perceived characters as ICU counts them.
int graphemes(const QString& text) {
    UErrorCode status = U_ZERO_ERROR;
    const std::unique_ptr<UBreakIterator, decltype(&ubrk_close)> breaks(
        ubrk_open(UBRK_CHARACTER, "", reinterpret_cast<const UChar*>(text.utf16()),
                  int32_t(text.size()), &status),
        &ubrk_close);
    REQUIRE(U_SUCCESS(status));
    int count = 0;
    while (ubrk_next(breaks.get()) != UBRK_DONE) ++count;
    return count;
}

// A cut that no segmentation allows: inside a surrogate pair, or between a letter or digit
// and the combining mark on it.
bool splitsCharacter(const QString& text, qsizetype cut) {
    if (cut <= 0 || cut >= text.size()) return false;
    const QChar before = text[cut - 1], after = text[cut];
    if (before.isHighSurrogate() && after.isLowSurrogate()) return true;
    const bool mark =
        after.category() == QChar::Mark_NonSpacing || after.category() == QChar::Mark_Enclosing;
    return mark && before.isLetterOrNumber();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(fuzzBytes(data, size));

    // ASCII other than letters and digits is always escaped; the body has one pair.
    const QByteArray encoded = formEncode(text);
    for (const char byte : encoded) {
        REQUIRE(byte < 0 || byte == '%' || QChar::isLetterOrNumber(char32_t(byte)));
    }
    const QList<QByteArray> pairs = formBody({{QStringLiteral("profile"), text}}).split('&');
    REQUIRE(pairs.size() == 1);
    const qsizetype equals = pairs[0].indexOf('=');
    REQUIRE(equals >= 0);
    REQUIRE(formDecoded(pairs[0].left(equals)) == QByteArray("profile"));
    REQUIRE(formDecoded(pairs[0].mid(equals + 1)) == text.toUtf8());

    const QString status = firstGraphemes(text, STATUS_TEXT_LIMIT);
    REQUIRE(text.startsWith(status) && !splitsCharacter(text, status.size()));
    REQUIRE(graphemes(status) == std::min(graphemes(text), STATUS_TEXT_LIMIT));
    return 0;
}
