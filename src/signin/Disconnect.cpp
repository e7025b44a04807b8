// Signing out: the program's own status is cleared, and the workspace, or every setting,
// forgotten.

#include <QFile>

#include "signin/SignIn.h"
#include "sync/SyncEngine.h"

void SignIn::disconnect() {
    // Only the program's own status, and only while Slack still shows it: a status the user set
    // by hand since stays.
    for (const Workspace& workspace : config_.workspaces()) {
        if (workspace.token.isEmpty() || workspace.lastSetText.isEmpty()) continue;
        background_.start(
            [this, workspace] { slack_.clearOwnStatus(workspace.token, workspace.lastSetText); });
    }
    config_.setRaw({});
    // The file is removed next whether or not the empty settings could be written.
    (void)config_.save();
    QFile::remove(config_.path());
    state_.setNowPlayingLabel(QStringLiteral("…"));
    state_.setWorkspaceStates({});
}

std::optional<QString> SignIn::removeWorkspace(const QString& key) {
    const std::optional<Workspace> workspace = config_.workspace(key);
    if (!workspace) return std::nullopt;
    if (!workspace->token.isEmpty() && !workspace->lastSetText.isEmpty()) {
        background_.start([this, workspace = *workspace] {
            slack_.clearOwnStatus(workspace.token, workspace.lastSetText);
        });
    }
    config_.removeWorkspace(key);
    scheduleRenewal();
    sync_.tickAsync();
    return config_.save();
}
