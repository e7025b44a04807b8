#include "main/Constants.h"

#include <QDir>

#ifndef TRACKGLINT_SLACK_HOST
#define TRACKGLINT_SLACK_HOST "https://slack.com"
#endif

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
