#include "settings/SettingKeys.h"

#include <array>
#include <cmath>

namespace {

void readInto(const QJsonValue& stored, QString& field) {
    field = stored.isString() ? stored.toString() : QString();
}

void readInto(const QJsonValue& stored, std::optional<QString>& field) {
    field.reset();
    if (stored.isString()) field = stored.toString();
}

void readInto(const QJsonValue& stored, std::optional<qint64>& field) {
    field.reset();
    // Whole seconds that fit; anything else is no time at all.
    if (stored.isDouble() && std::abs(stored.toDouble()) < 9e18) field = qint64(stored.toDouble());
}

void readInto(const QJsonValue& stored, std::optional<bool>& field) {
    field.reset();
    if (stored.isBool()) field = stored.toBool();
}

QJsonValue storedAs(const QString& field) {
    return field.isEmpty() ? QJsonValue(QJsonValue::Undefined) : QJsonValue(field);
}

QJsonValue storedAs(const std::optional<QString>& field) {
    return storedAs(field.value_or(QString()));
}

QJsonValue storedAs(const std::optional<qint64>& field) {
    return field ? QJsonValue(*field) : QJsonValue(QJsonValue::Undefined);
}

QJsonValue storedAs(const std::optional<bool>& field) {
    return field ? QJsonValue(*field) : QJsonValue(QJsonValue::Undefined);
}

// A member of Workspace and the key it is stored under.
struct WorkspaceField {
    QLatin1String key;
    void (*read)(const QJsonValue& stored, Workspace& workspace);
    QJsonValue (*write)(const Workspace& workspace);  // undefined: nothing to store
};

template <auto member>
constexpr WorkspaceField field(const char* key) {
    return {
        QLatin1String(key),
        [](const QJsonValue& stored, Workspace& workspace) { readInto(stored, workspace.*member); },
        [](const Workspace& workspace) { return storedAs(workspace.*member); }};
}

// The keys a single sign-in has always used, which every workspace's object uses too.
constexpr std::array WORKSPACE_FIELDS = {
    field<&Workspace::token>("slackToken"),
    field<&Workspace::name>("slackName"),
    field<&Workspace::teamUrl>("teamUrl"),
    field<&Workspace::teamId>("slackTeamId"),
    field<&Workspace::teamName>("slackTeamName"),
    field<&Workspace::lastSetText>("lastSetText"),
    field<&Workspace::refreshToken>("slackRefreshToken"),
    field<&Workspace::expiresAt>("slackTokenExpiresAt"),
    field<&Workspace::spotifyEmojiFound>("spotifyEmojiFound"),
};

}  // namespace

QString storedTime(qint64 minutes) {
    return QString::asprintf("%02d:%02d", int(minutes / 60), int(minutes % 60));
}

Workspace workspaceIn(const QJsonObject& object) {
    Workspace workspace;
    for (const WorkspaceField& each : WORKSPACE_FIELDS)
        each.read(object.value(each.key), workspace);
    return workspace;
}

QJsonObject withWorkspace(QJsonObject object, const Workspace& workspace) {
    for (const WorkspaceField& each : WORKSPACE_FIELDS) {
        const QJsonValue value = each.write(workspace);
        if (value.isUndefined()) {
            object.remove(each.key);
        } else {
            object.insert(each.key, value);
        }
    }
    return object;
}

QJsonObject workspaceKeysIn(const QJsonObject& raw) {
    QJsonObject found;
    for (const WorkspaceField& each : WORKSPACE_FIELDS) {
        if (raw.contains(each.key)) found.insert(each.key, raw.value(each.key));
    }
    return found;
}

void removeWorkspaceKeys(QJsonObject& raw) {
    for (const WorkspaceField& each : WORKSPACE_FIELDS) raw.remove(each.key);
}
