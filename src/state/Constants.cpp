#include "state/Constants.h"

#include <QDir>

#ifndef TRACKGLINT_SLACK_HOST
#define TRACKGLINT_SLACK_HOST "https://slack.com"
#endif
#ifndef TRACKGLINT_SLACK_CLIENT_ID
#define TRACKGLINT_SLACK_CLIENT_ID ""
#endif
#ifndef TRACKGLINT_BROKER
#define TRACKGLINT_BROKER "https://trackglint.example"
#endif
#ifndef TRACKGLINT_SLACK_REDIRECT
#define TRACKGLINT_SLACK_REDIRECT "http://localhost:8899/slack/callback"
#endif

const QString SLACK_CLIENT_ID = QStringLiteral(TRACKGLINT_SLACK_CLIENT_ID);
const QString SLACK_REDIRECT = QStringLiteral(TRACKGLINT_SLACK_REDIRECT);

QString configPath() {
    return QDir::homePath() + QStringLiteral("/.trackglint-mac.json");
}

QString slackHost() {
    QString host = qEnvironmentVariable("TRACKGLINT_SLACK_URL");
    if (host.isEmpty()) host = QStringLiteral(TRACKGLINT_SLACK_HOST);
    while (host.endsWith(u'/')) host.chop(1);
    return host;
}

QString slackApiBase() {
    return slackHost() + QStringLiteral("/api/");
}

QString slackAuthorizeUrl() {
    return slackHost() + QStringLiteral("/oauth/v2/authorize");
}

QString slackWebRoot() {
    return slackHost() + u'/';
}

QString broker() {
    if (qEnvironmentVariableIsSet("TRACKGLINT_BROKER")) {
        return qEnvironmentVariable("TRACKGLINT_BROKER");
    }
    return QStringLiteral(TRACKGLINT_BROKER);
}
