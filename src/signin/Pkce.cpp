#include "signin/Pkce.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QUrlQuery>

#include "state/Constants.h"

QString base64UrlNoPadding(const QByteArray& bytes) {
    return QString::fromLatin1(
        bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

QString nonceFromBytes(const QByteArray& randomBytes) {
    return QString::fromLatin1(randomBytes.toHex());
}

QString verifierFromBytes(const QByteArray& randomBytes) {
    return base64UrlNoPadding(randomBytes);
}

QString codeChallenge(const QString& verifier) {
    return base64UrlNoPadding(
        QCryptographicHash::hash(verifier.toLatin1(), QCryptographicHash::Sha256));
}

QString signInState(quint16 port, const QString& nonce) {
    // The members in this order, so the text is the same as the callback page has always
    // received; the nonce goes through the JSON writer so any text stays valid JSON.
    const QByteArray quoted = QJsonDocument(QJsonArray{nonce}).toJson(QJsonDocument::Compact);
    const QByteArray json = "{\"port\":" + QByteArray::number(port) +
                            ",\"nonce\":" + quoted.mid(1, quoted.size() - 2) + '}';
    return base64UrlNoPadding(json);
}

QUrl authorizationUrl(const QString& clientId, const QString& state, const QString& challenge) {
    QUrlQuery query;
    query.setQueryItems({
        {QStringLiteral("client_id"), clientId},
        {QStringLiteral("user_scope"), SLACK_SCOPES},
        {QStringLiteral("redirect_uri"), SLACK_REDIRECT},
        {QStringLiteral("state"), state},
        {QStringLiteral("code_challenge"), challenge},
        {QStringLiteral("code_challenge_method"), QStringLiteral("S256")},
    });
    QUrl address(slackAuthorizeUrl());
    address.setQuery(query);
    return address;
}
