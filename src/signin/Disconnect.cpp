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
    config_.setRaw(config_.keptAfterDisconnect());
    // Nothing of the account stays on disk: a file with nothing left in it is removed, whether
    // or not the emptied settings could be written.
    const std::optional<QString> failure = config_.save();
    if (failure || config_.raw().isEmpty()) QFile::remove(config_.path());
    state_.setNowPlayingLabel(QStringLiteral("…"));
    state_.setWorkspaceStates({});
    for (const AppState::Trouble account : {AppState::Trouble::SignIn, AppState::Trouble::Renewal,
                                            AppState::Trouble::Slack, AppState::Trouble::SignedOut})
        state_.setTrouble(account, std::nullopt);
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
    showSignedOut();
    scheduleRenewal();
    sync_.tickAsync();
    return config_.save();
}
