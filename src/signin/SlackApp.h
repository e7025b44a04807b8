#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <optional>

#include "settings/Config.h"

// The Slack app a sign-in goes through. A build may carry its own; one without asks the user to
// create theirs from the manifest the program ships and to give its client ID, which the
// settings keep.

// The app's manifest: the user scopes it asks for, the redirect back to this computer, token
// rotation on. JSON, as resources/slack-app-manifest.json holds it.
QByteArray slackAppManifest();
// Slack's page that creates an app with the manifest filled in.
QUrl slackAppCreationUrl();
// The page of Slack's that lists the user's apps, where PKCE is turned on.
QUrl slackAppsPage();

// Whether `text` has the form of a Slack client ID: two runs of digits joined by a dot, such as
// "1234567890123.1234567890123".
bool validClientId(const QString& text);
// The client ID as the user pasted it: without the spaces and line breaks around it.
QString pastedClientId(const QString& text);
// Why `text` is no client ID, in a sentence for the user.
QString clientIdProblem(const QString& text);

// The client ID to sign in with: the build's own, else the one the user gave; none yet when
// neither.
std::optional<QString> slackClientId(const Config& config);
// Whether the build carries a Slack app of its own, so that the user never needs one.
bool slackAppBuiltIn();
