#pragma once

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

// Writes `settings` as the settings file at `path`, replacing what was there.
inline bool writeSettings(const QString& path, const QJsonObject& settings) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    return file.write(QJsonDocument(settings).toJson()) > 0;
}
