#include "settings/WorkspaceBounds.h"

#include <QHash>
#include <algorithm>

namespace {

// The first `count` characters of `text`, a surrogate pair counting as one.
QString firstCharacters(const QString& text, qsizetype count) {
    if (text.size() <= count) return text;
    qsizetype end = 0;
    for (qsizetype taken = 0; taken < count && end < text.size(); ++taken)
        end += text[end].isHighSurrogate() && end + 1 < text.size() ? 2 : 1;
    return text.left(end);
}

QString unlessLonger(const QString& text, qsizetype length) {
    return text.size() > length ? QString() : text;
}

Workspace bounded(Workspace workspace) {
    workspace.name = firstCharacters(workspace.name, MAX_NAME_CHARACTERS);
    workspace.teamName = firstCharacters(workspace.teamName, MAX_NAME_CHARACTERS);
    workspace.teamId = unlessLonger(workspace.teamId, MAX_ID_LENGTH);
    workspace.teamUrl = unlessLonger(workspace.teamUrl, MAX_ADDRESS_LENGTH);
    workspace.lastSetText = unlessLonger(workspace.lastSetText, MAX_STATUS_TEXT_LENGTH);
    return workspace;
}

// Whether `candidate` is a better entry for its workspace than `kept`: signed in where `kept`
// is not, or renewed later.
bool better(const Workspace& candidate, const Workspace& kept) {
    if (candidate.token.isEmpty() != kept.token.isEmpty()) return kept.token.isEmpty();
    return candidate.expiresAt && kept.expiresAt && *candidate.expiresAt > *kept.expiresAt;
}

// One entry per workspace, where its first entry was.
QList<KeptWorkspace> merged(const QList<Workspace>& stored) {
    QList<KeptWorkspace> kept;
    QHash<QString, qsizetype> placeOf;  // by key
    for (qsizetype i = 0; i < stored.size(); ++i) {
        const Workspace workspace = bounded(stored[i]);
        // A signed-out entry whose address was dropped is no workspace any more.
        if (workspace.token.isEmpty() && workspace.teamUrl.isEmpty()) continue;
        const auto place = placeOf.constFind(workspace.key());
        if (place == placeOf.cend()) {
            placeOf.insert(workspace.key(), kept.size());
            kept += KeptWorkspace{i, workspace};
            continue;
        }
        KeptWorkspace& same = kept[*place];
        const QString setText = same.workspace.lastSetText.isEmpty() ? workspace.lastSetText
                                                                     : same.workspace.lastSetText;
        if (better(workspace, same.workspace)) same = KeptWorkspace{i, workspace};
        if (same.workspace.lastSetText.isEmpty()) same.workspace.lastSetText = setText;
    }
    return kept;
}

}  // namespace

QList<KeptWorkspace> keptWorkspaces(const QList<Workspace>& stored) {
    const QList<KeptWorkspace> all = merged(stored);
    if (all.size() <= MAX_WORKSPACES) return all;
    const auto signedIn = std::count_if(all.cbegin(), all.cend(), [](const KeptWorkspace& kept) {
        return !kept.workspace.token.isEmpty();
    });
    qsizetype signedInRoom = MAX_WORKSPACES;
    qsizetype signedOutRoom = std::max<qsizetype>(0, MAX_WORKSPACES - signedIn);
    QList<KeptWorkspace> within;
    for (const KeptWorkspace& kept : all) {
        qsizetype& room = kept.workspace.token.isEmpty() ? signedOutRoom : signedInRoom;
        if (room > 0) {
            within += kept;
            --room;
        }
    }
    return within;
}

bool keepsAll(const QList<KeptWorkspace>& kept, const QList<Workspace>& stored) {
    if (kept.size() != stored.size()) return false;
    for (qsizetype i = 0; i < kept.size(); ++i) {
        if (kept[i].from != i || kept[i].workspace != stored[i]) return false;
    }
    return true;
}
