#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QMutex>
#include <QString>
#include <optional>

// A time window of the day, in minutes after midnight: start inclusive, end exclusive.
struct MinuteRange {
    qint64 start;
    qint64 end;
    bool operator==(const MinuteRange&) const = default;
};

// The settings as read from a file's bytes: the top-level JSON object, or no settings at all
// when the bytes are not JSON or hold another kind of value.
QJsonObject settingsFromBytes(const QByteArray& bytes);
// The settings as written to the file: pretty-printed JSON.
QByteArray settingsBytes(const QJsonObject& settings);

// The settings store: one JSON object in a private file, loaded once and rewritten whole on
// every save. Keys it does not know are kept and written back unchanged. Every read accessor
// treats a value of the wrong JSON type like a missing key.
//
// Safe to use from several threads: the dictionary is guarded, and every accessor reads a
// consistent snapshot. Changes and saves are made on the main thread.
class Config {
  public:
    explicit Config(QString path);

    const QString& path() const { return path_; }

    // The whole dictionary (a copy) and its replacement.
    QJsonObject raw() const;
    void setRaw(QJsonObject raw);
    // Sets one key; an undefined value removes it.
    void setValue(const QString& key, const QJsonValue& value);

    std::optional<QString> slackToken() const;
    void setSlackToken(const std::optional<QString>& token);
    QString slackName() const;
    std::optional<QString> chosenEmoji() const;
    bool paused() const;
    QString lastSetText() const;
    bool workHoursEnabled() const;
    MinuteRange workHoursRange() const;

    // Writes the dictionary to the file, pretty-printed with sorted keys, with mode 0600.
    // Failures are silent: the in-memory settings stay in force.
    void save() const;

  private:
    QJsonValue value(const QString& key) const;
    std::optional<QString> string(const QString& key) const;

    const QString path_;
    mutable QMutex mutex_;
    QJsonObject raw_;
};
