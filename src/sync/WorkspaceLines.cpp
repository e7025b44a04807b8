#include "sync/WorkspaceLines.h"

namespace {

// What one workspace's state says in place of the player's line; none when the track's line
// stands.
std::optional<QString> lineFor(const WorkspaceState& state) {
    switch (state.kind) {
        case WorkspaceState::Kind::UsersOwn:
            return QStringLiteral("💬 your own status shows: “%1”").arg(state.reason);
        case WorkspaceState::Kind::Waiting:
            return QStringLiteral("⏳ ") + state.reason;
        case WorkspaceState::Kind::Trouble:
            return QStringLiteral("⚠️ ") + state.reason;
        default:
            return std::nullopt;
    }
}

}  // namespace

QString stateWords(WorkspaceState::Kind kind) {
    switch (kind) {
        case WorkspaceState::Kind::NotStepped:
            return QStringLiteral("…");
        case WorkspaceState::Kind::Sharing:
            return QStringLiteral("sharing");
        case WorkspaceState::Kind::NotSharing:
            return QStringLiteral("not sharing");
        case WorkspaceState::Kind::UsersOwn:
            return QStringLiteral("your own status");
        case WorkspaceState::Kind::SignedOut:
            return QStringLiteral("signed out");
        case WorkspaceState::Kind::Waiting:
            return QStringLiteral("Slack asked to wait");
        case WorkspaceState::Kind::Trouble:
        case WorkspaceState::Kind::Refused:
            break;
    }
    return QStringLiteral("trouble with Slack");
}

QList<WorkspaceLine> workspaceLines(const QList<Workspace>& workspaces,
                                    const QHash<QString, WorkspaceState>& states) {
    QList<WorkspaceLine> lines;
    for (const Workspace& workspace : workspaces) {
        const bool signedOut = workspace.token.isEmpty();
        const QString name = workspace.name.isEmpty() ? QStringLiteral("you") : workspace.name;
        const WorkspaceState::Kind kind =
            signedOut ? WorkspaceState::Kind::SignedOut : states.value(workspace.key()).kind;
        // Where the workspace is, as far as it is known: its address, else its name.
        const QString place = workspace.host().isEmpty() ? workspace.teamName : workspace.host();
        const QString who = place.isEmpty() ? name : name + QStringLiteral(" · ") + place;
        lines += {workspace.key(), who + QStringLiteral(" — ") + stateWords(kind), signedOut};
    }
    return lines;
}

QString firstLine(const AppState& state, bool paused) {
    if (paused) return QStringLiteral("⏸ paused");
    const QHash<QString, WorkspaceState> states = state.workspaceStates();
    if (states.size() == 1) {
        if (const std::optional<QString> line = lineFor(states.cbegin().value())) return *line;
    }
    return state.nowPlayingLabel();
}

std::optional<QString> errorBeside(const AppState& state, bool paused, bool signedIn) {
    const std::optional<QString> error = state.lastError();
    if (error && signedIn && firstLine(state, paused).endsWith(*error)) return std::nullopt;
    return error;
}
