#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

// Writes `bytes` to the file at `path`, making its folders; `executable`: runnable by its owner.
inline bool writeFile(const QString& path, const QByteArray& bytes, bool executable = false) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) >= 0 &&
           (!executable || file.setPermissions(file.permissions() | QFile::ExeOwner));
}

inline QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Writes `settings` as the settings file at `path`, replacing what was there.
inline bool writeSettings(const QString& path, const QJsonObject& settings) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    return file.write(QJsonDocument(settings).toJson()) > 0;
}

// Installs the bundle that holds `program` as a user's installed copy, in
// `home`/Applications, so it runs without offering to move itself there. Returns the installed
// copy's executable, or an empty text on failure.
inline QString installProgram(const QString& program, const QString& home) {
    const QString bundle = program.section(QStringLiteral("/Contents/"), 0, 0);
    const QString target = home + QStringLiteral("/Applications/Trackglint.app");
    if (!QFileInfo::exists(target) &&
        (!QDir().mkpath(home + QStringLiteral("/Applications")) ||
         QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-a"), bundle, target}) != 0))
        return {};
    return target + QStringLiteral("/Contents/") + program.section(QStringLiteral("/Contents/"), 1);
}
