// The sign-in values: the state that carries the port and the nonce through Slack and the
// callback page, read back as the page reads it and as the listener receives it; and
// the verifier, challenge and nonce made from random bytes.

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QUrl>

#include "Fuzz.h"
#include "signin/CallbackRequest.h"
#include "signin/Pkce.h"

namespace {

bool isBase64Url(const QString& text) {
    static const QRegularExpression alphabet(QRegularExpression::anchoredPattern("[A-Za-z0-9_-]*"));
    return alphabet.match(text).hasMatch();
}

// The state as the callback page decodes it.
void checkState(quint16 port, const QString& nonce) {
    const QString state = signInState(port, nonce);
    REQUIRE(!state.isEmpty() && isBase64Url(state));
    const auto json = QByteArray::fromBase64Encoding(
        state.toLatin1(), QByteArray::Base64UrlEncoding | QByteArray::AbortOnBase64DecodingErrors);
    REQUIRE(json.decodingStatus == QByteArray::Base64DecodingStatus::Ok);
    REQUIRE(json.decoded.startsWith("{\"port\":" + QByteArray::number(port) + ",\"nonce\":"));
    QJsonParseError error{};
    const QJsonObject object = QJsonDocument::fromJson(json.decoded, &error).object();
    REQUIRE(error.error == QJsonParseError::NoError && object.size() == 2);
    REQUIRE(object.value("port").toInteger(-1) == port);
    REQUIRE(object.value("nonce").toString() == nonce);
}

// The nonce as the page forwards it (encodeURIComponent), and the state as Slack sends it back,
// read by the listener as they were sent.
void checkValuesReturn(quint16 port, const QString& nonce) {
    const QByteArray forwarded = QUrl::toPercentEncoding(nonce, "!*'()");
    const QByteArray state = QUrl::toPercentEncoding(signInState(port, nonce));
    const std::optional<CallbackQuery> query =
        callbackQuery("GET /slack/callback?code=c&nonce=" + forwarded + "&state=" + state +
                      " HTTP/1.1\r\nHost: localhost\r\n\r\n");
    REQUIRE(query && query->nonce == nonce && query->state == signInState(port, nonce));
}

void checkRandomValues(const QByteArray& bytes) {
    const QString verifier = verifierFromBytes(bytes);
    REQUIRE(isBase64Url(verifier) && verifier.size() == (bytes.size() * 4 + 2) / 3);
    const QString challenge = codeChallenge(verifier);
    REQUIRE(isBase64Url(challenge) && challenge.size() == 43);
    const QString nonce = nonceFromBytes(bytes);
    static const QRegularExpression hex(QRegularExpression::anchoredPattern("[0-9a-f]*"));
    REQUIRE(nonce.size() == bytes.size() * 2 && hex.match(nonce).hasMatch());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes = fuzzBytes(data, size);
    const quint16 port = size >= 2 ? quint16(data[0] << 8 | data[1]) : 8899;
    const QString nonce = QString::fromUtf8(bytes.mid(2));
    checkState(port, nonce);
    checkValuesReturn(port, nonce);
    checkRandomValues(bytes);
    return 0;
}
