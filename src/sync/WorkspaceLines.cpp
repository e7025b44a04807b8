#include "sync/WorkspaceLines.h"

QList<WorkspaceLine> workspaceLines(const QList<Workspace>& workspaces,
                                    const QHash<QString, QString>& states) {
    QList<WorkspaceLine> lines;
    for (const Workspace& workspace : workspaces) {
        const bool signedOut = workspace.token.isEmpty();
        const QString name = workspace.name.isEmpty() ? QStringLiteral("you") : workspace.name;
        const QString state = signedOut ? QStringLiteral("signed out")
                                        : states.value(workspace.key(), QStringLiteral("…"));
        // Where the workspace is, as far as it is known: its address, else its name.
        const QString place = workspace.host().isEmpty() ? workspace.teamName : workspace.host();
        const QString who = place.isEmpty() ? name : name + QStringLiteral(" · ") + place;
        lines += {workspace.key(), who + QStringLiteral(" — ") + state, signedOut};
    }
    return lines;
}
