#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <optional>

#include "settings/Config.h"
#include "state/AppState.h"

// How the state shows in the menu, the tooltip and the window.

// How one workspace shows.
struct WorkspaceLine {
    QString key;     // the workspace's key, for acting on it
    QString text;    // "Ada · acme.slack.com — sharing"
    bool signedOut;  // Slack signed the user out of it: signing in again mends it
};

// A workspace's state in a few words: "sharing", "your own status", "signed out"…
QString stateWords(WorkspaceState::Kind kind);

// One line per workspace, in order, each with the state the last step found there (`states`,
// by key); "…" for one not stepped yet.
QList<WorkspaceLine> workspaceLines(const QList<Workspace>& workspaces,
                                    const QHash<QString, WorkspaceState>& states);

// The first line: "⏸ paused" while paused; else the player's line, unless there is one
// workspace and what it found keeps the track from showing there: the user's own status,
// waiting for Slack, or trouble with it.
QString firstLine(const AppState& state, bool paused);
// The error to show: signed in, none when the first line says it already.
std::optional<QString> errorBeside(const AppState& state, bool paused, bool signedIn);
