#include "sync/WorkspaceLines.h"

QList<WorkspaceLine> workspaceLines(const QList<Workspace>& workspaces,
                                    const QHash<QString, QString>& states) {
    QList<WorkspaceLine> lines;
    for (const Workspace& workspace : workspaces) {
        const bool signedOut = workspace.token.isEmpty();
        const QString name = workspace.name.isEmpty() ? QStringLiteral("you") : workspace.name;
        const QString state = signedOut ? QStringLiteral("signed out")
                                        : states.value(workspace.key(), QStringLiteral("…"));
        lines += {workspace.key(),
                  name + QStringLiteral(" · ") + workspace.host() + QStringLiteral(" — ") + state,
                  signedOut};
    }
    return lines;
}
