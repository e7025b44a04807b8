#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

// The values of one sign-in: OAuth 2.0 with PKCE (RFC 7636, method S256) and a nonce that
// travels in the "state" item and comes back through the loopback listener.

// Base64url (RFC 4648 section 5) without padding.
QString base64UrlNoPadding(const QByteArray& bytes);
// 32 lower-case hexadecimal digits from 16 random bytes.
QString nonceFromBytes(const QByteArray& randomBytes);
// The code verifier: 48 random bytes, encoded (64 characters).
QString verifierFromBytes(const QByteArray& randomBytes);
// SHA-256 of the verifier's characters, encoded (43 characters).
QString codeChallenge(const QString& verifier);
// {"port":PORT,"nonce":"NONCE"}, encoded: what comes back with Slack's answer, and what a hosted
// callback page needs to reach the listener.
QString signInState(quint16 port, const QString& nonce);
// Slack's authorisation page for the app `clientId`, asking for the user scopes.
QUrl authorizationUrl(const QString& clientId, const QString& state, const QString& challenge);
