// The stand-in Slack's sign-in: the authorisation page and the checks of the code exchange.

#include <QCryptographicHash>
#include <QUrl>
#include <QUrlQuery>

#include "FakeSlack.h"

namespace {

FakeSlack::Reply errorPage(const QByteArray& text) {
    return {200, "<html><body><h1>Something went wrong when authorizing this app.</h1><p>" + text +
                     "</p></body></html>"};
}

QByteArray slackError(const char* error) {
    return QByteArray(R"({"ok":false,"error":")") + error + "\"}";
}

}  // namespace

void FakeSlack::registerApp(const QString& clientId, const QString& redirect) {
    QMutexLocker lock(&mutex_);
    app_ = App{clientId, redirect};
}

std::optional<FakeSlack::Reply> FakeSlack::authorize(const Request& request) {
    if (!app_ || !request.path.startsWith(QLatin1String("/oauth/v2/authorize"))) {
        return std::nullopt;
    }
    const QUrlQuery query(QUrl(QStringLiteral("http://x") + request.path));
    const auto item = [&](const char* name) {
        return query.queryItemValue(QLatin1String(name), QUrl::FullyDecoded);
    };
    if (item("client_id") != app_->clientId) return errorPage("Invalid client_id parameter");
    if (item("redirect_uri") != app_->redirect) {
        return errorPage("redirect_uri did not match any configured URIs. Passed URI: " +
                         item("redirect_uri").toUtf8());
    }
    if (item("code_challenge_method") != QLatin1String("S256") ||
        item("code_challenge").isEmpty()) {
        return errorPage("This app requires PKCE: code_challenge is missing");
    }
    const QString code = QStringLiteral("code-%1").arg(codes_.size() + requests_.size());
    codes_.insert(code, {item("code_challenge"), item("redirect_uri")});
    QUrl back(app_->redirect);
    QUrlQuery answer;
    answer.addQueryItem(QStringLiteral("code"), code);
    answer.addQueryItem(QStringLiteral("state"), item("state"));
    back.setQuery(answer);
    return Reply(302, {}, 0, {{"Location", back.toEncoded()}});
}

std::optional<FakeSlack::Reply> FakeSlack::exchangeRefused(const Request& request) {
    if (!app_ || request.path != QLatin1String("/api/oauth.v2.access")) return std::nullopt;
    if (request.formValue(QStringLiteral("client_id")) != app_->clientId) {
        return Reply(200, slackError("invalid_client_id"));
    }
    if (request.formValue(QStringLiteral("grant_type")) == QLatin1String("refresh_token")) {
        return std::nullopt;
    }
    const std::optional<Grant> grant = codes_.take(request.formValue(QStringLiteral("code")));
    if (!grant) return Reply(200, slackError("invalid_code"));
    if (request.formValue(QStringLiteral("redirect_uri")) != grant->redirect) {
        return Reply(200, slackError("bad_redirect_uri"));
    }
    const QByteArray verified = QCryptographicHash::hash(
        request.formValue(QStringLiteral("code_verifier")).toLatin1(), QCryptographicHash::Sha256);
    if (verified.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals) !=
        grant->challenge.toLatin1()) {
        return Reply(200, slackError("invalid_code_verifier"));
    }
    return std::nullopt;
}
