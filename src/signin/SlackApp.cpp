#include "signin/SlackApp.h"

#include <QJsonDocument>
#include <QRegularExpression>

#include "state/Constants.h"

QUrl slackAppCreationUrl() {
    const QByteArray compact =
        QJsonDocument::fromJson(slackAppManifest()).toJson(QJsonDocument::Compact);
    // Every character but the unreserved ones escaped, so that no "&", "=" or "+" of the text
    // can end or change the value.
    QUrl page = slackAppsPage();
    page.setQuery(QStringLiteral("new_app=1&manifest_json=") +
                  QString::fromLatin1(QUrl::toPercentEncoding(QString::fromUtf8(compact))));
    return page;
}

QUrl slackAppsPage() {
    return QUrl(QStringLiteral("https://api.slack.com/apps"));
}

bool validClientId(const QString& text) {
    // Slack's client IDs are a team's number and the app's, each of a dozen digits or so.
    static const QRegularExpression form(QStringLiteral("^[0-9]{4,20}\\.[0-9]{4,20}$"));
    return form.match(text).hasMatch();
}

QString pastedClientId(const QString& text) {
    return text.trimmed();
}

QString clientIdProblem(const QString& text) {
    static const QRegularExpression secret(QStringLiteral("^[0-9a-f]{32}$"));
    if (text.isEmpty()) return QStringLiteral("Paste the Client ID from your Slack app's page.");
    if (secret.match(text).hasMatch()) {
        return QStringLiteral(
            "That looks like the Client Secret or Signing Secret: Trackglint "
            "needs the Client ID, which has a dot in it.");
    }
    if (text.startsWith(QLatin1String("xox"))) {
        return QStringLiteral("That is a token: Trackglint needs the app's Client ID.");
    }
    return QStringLiteral(
        "A Client ID is two numbers joined by a dot, such as "
        "1234567890123.1234567890123.");
}

bool slackAppBuiltIn() {
    // Builds configured before the user could give their own app carry a placeholder of zeros.
    static const QRegularExpression placeholder(QStringLiteral("^[0.]*$"));
    return validClientId(SLACK_CLIENT_ID) && !placeholder.match(SLACK_CLIENT_ID).hasMatch();
}

std::optional<QString> slackClientId(const Config& config) {
    if (slackAppBuiltIn()) return SLACK_CLIENT_ID;
    const std::optional<QString> stored = config.slackClientId();
    if (stored && validClientId(*stored)) return stored;
    return std::nullopt;
}
