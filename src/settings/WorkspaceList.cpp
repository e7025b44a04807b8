#include "settings/WorkspaceList.h"

#include <QJsonArray>
#include <QUrl>
#include <algorithm>

#include "settings/SettingKeys.h"
#include "settings/WorkspaceBounds.h"

namespace {

// A workspace is stored with its token, or, once Slack signed the user out, its address.
bool holdsWorkspace(const Workspace& workspace) {
    return !workspace.token.isEmpty() || !workspace.teamUrl.isEmpty();
}

// Every object a workspace may be stored in, in order: the first's keys gathered from the top
// level, then each entry of the list.
QList<QJsonObject> storedObjects(const QJsonObject& raw) {
    QList<QJsonObject> objects{workspaceKeysIn(raw)};
    for (const QJsonValue& other : raw.value(keys::MORE_WORKSPACES).toArray())
        objects += other.toObject();
    return objects;
}

// Stores the workspaces' `objects` in `raw`, in place of those it held.
void storeObjectsIn(QJsonObject& raw, const QList<QJsonObject>& objects) {
    removeWorkspaceKeys(raw);
    raw.remove(keys::MORE_WORKSPACES);
    if (objects.isEmpty()) return;
    for (auto it = objects.first().constBegin(); it != objects.first().constEnd(); ++it)
        raw.insert(it.key(), it.value());
    QJsonArray more;
    for (const QJsonObject& object : objects.mid(1)) more.append(object);
    if (!more.isEmpty()) raw.insert(keys::MORE_WORKSPACES, more);
}

}  // namespace

QString Workspace::host() const {
    const QString host = QUrl(teamUrl).host();
    return host.isEmpty() ? teamUrl : host;
}

QString Workspace::title() const {
    if (!teamName.isEmpty()) return teamName;
    const QString place = host();
    return place.isEmpty() ? QStringLiteral("your workspace") : place;
}

WorkspaceList WorkspaceList::readFrom(QJsonObject& raw) {
    WorkspaceList list;
    const QList<QJsonObject> objects = storedObjects(raw);
    list.readObjects(objects);
    const QList<KeptWorkspace> kept = keptWorkspaces(list.workspaces_);
    // Settings within bounds stay exactly as they were; an entry of the list that holds no
    // workspace is not within them.
    const qsizetype entries = objects.size() - (holdsWorkspace(workspaceIn(objects[0])) ? 0 : 1);
    if (list.objects_.size() == entries && keepsAll(kept, list.workspaces_)) return list;
    QList<QJsonObject> within;
    for (const KeptWorkspace& each : kept)
        within += withWorkspace(list.objects_[each.from], each.workspace);
    storeObjectsIn(raw, within);
    list.readObjects(within);
    return list;
}

void WorkspaceList::store(QJsonObject& raw, const QList<Workspace>& workspaces) {
    QList<QJsonObject> objects;
    for (const Workspace& workspace : workspaces) {
        const auto before =
            std::find_if(workspaces_.cbegin(), workspaces_.cend(),
                         [&](const Workspace& stored) { return stored.key() == workspace.key(); });
        const QJsonObject object =
            before == workspaces_.cend() ? QJsonObject() : objects_[before - workspaces_.cbegin()];
        objects += withWorkspace(object, workspace);
    }
    storeObjectsIn(raw, objects);
    readObjects(objects);
}

void WorkspaceList::readObjects(const QList<QJsonObject>& objects) {
    workspaces_.clear();
    objects_.clear();
    for (const QJsonObject& object : objects) {
        const Workspace workspace = workspaceIn(object);
        if (!holdsWorkspace(workspace)) continue;
        workspaces_ += workspace;
        objects_ += object;
    }
}
