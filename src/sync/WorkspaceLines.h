#pragma once

#include <QHash>
#include <QList>
#include <QString>

#include "settings/Config.h"

// How one workspace shows in the menu and the window.
struct WorkspaceLine {
    QString key;     // the workspace's key, for acting on it
    QString text;    // "Ada · acme.slack.com — sharing"
    bool signedOut;  // Slack signed the user out of it: signing in again mends it
};

// One line per workspace, in order, each with the state the last step found there (`states`,
// by key); "…" for one not stepped yet.
QList<WorkspaceLine> workspaceLines(const QList<Workspace>& workspaces,
                                    const QHash<QString, QString>& states);
