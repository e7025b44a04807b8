#include "settings/Config.h"

#include <QFile>
#include <QJsonDocument>

#include "platform/Files.h"

namespace {

QJsonObject load(const QString& path) {
    platform::keepPrivate(path);  // it holds the token
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return settingsFromBytes(file.readAll());
}

}  // namespace

QJsonObject settingsFromBytes(const QByteArray& bytes) {
    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    return document.isObject() ? document.object() : QJsonObject();
}

QByteArray settingsBytes(const QJsonObject& settings) {
    return QJsonDocument(settings).toJson(QJsonDocument::Indented);
}

Config::Config(QString path) : path_(std::move(path)), raw_(load(path_)) {}

QJsonObject Config::raw() const {
    QMutexLocker lock(&mutex_);
    return raw_;
}

void Config::setRaw(QJsonObject raw) {
    QMutexLocker lock(&mutex_);
    raw_ = std::move(raw);
}

void Config::setValue(const QString& key, const QJsonValue& value) {
    QMutexLocker lock(&mutex_);
    if (value.isUndefined()) {
        raw_.remove(key);
    } else {
        raw_.insert(key, value);
    }
}

QJsonValue Config::value(const QString& key) const {
    QMutexLocker lock(&mutex_);
    return raw_.value(key);
}

std::optional<QString> Config::string(const QString& key) const {
    const QJsonValue found = value(key);
    if (!found.isString()) return std::nullopt;
    return found.toString();
}

std::optional<QString> Config::slackToken() const {
    return string(QStringLiteral("slackToken"));
}

void Config::setSlackToken(const std::optional<QString>& token) {
    setValue(QStringLiteral("slackToken"), token ? QJsonValue(*token) : QJsonValue::Undefined);
}

QString Config::slackName() const {
    return string(QStringLiteral("slackName")).value_or(QStringLiteral("you"));
}

std::optional<QString> Config::chosenEmoji() const {
    return string(QStringLiteral("emoji"));
}

bool Config::paused() const {
    return value(QStringLiteral("paused")).toBool(false);
}

QString Config::lastSetText() const {
    return string(QStringLiteral("lastSetText")).value_or(QString());
}

bool Config::workHoursEnabled() const {
    return value(QStringLiteral("workHours"))
        .toObject()
        .value(QStringLiteral("enabled"))
        .toBool(false);
}

void Config::save() const {
    platform::writeFilePrivately(path_, settingsBytes(raw()));
}
