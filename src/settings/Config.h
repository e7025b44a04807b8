#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QMutex>
#include <QObject>
#include <QString>
#include <optional>

#include "settings/MenuMark.h"

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

// Reads a stored time of day such as "09:00" as minutes after midnight. The text is split at
// every colon (empty pieces dropped) and each piece read as a signed decimal integer (one
// leading "+" or "-" allowed; any other character makes it no number, and it is dropped).
// Exactly two numbers give hours × 60 + minutes, without range checks; anything else, or an
// hours × 60 or a sum that does not fit in 64 bits (even where the sum alone would), gives
// `fallback`.
qint64 storedMinutes(const std::optional<QString>& stored, qint64 fallback);

// The settings store: one JSON object in a private file, loaded once and rewritten whole on
// every save. Each setting has one typed getter and setter here, with its default; keys it does
// not know are kept and written back unchanged. Every getter treats a value of the wrong JSON
// type like a missing key.
//
// Safe to use from several threads: the dictionary is guarded, and every accessor reads a
// consistent snapshot. Saves are made on the main thread. Every setter announces what changed
// with `changed`, on the thread that made the change.
class Config : public QObject {
    Q_OBJECT

  public:
    // What a change touched.
    enum class Setting {
        Account,
        Paused,
        Emoji,
        EmojiFound,
        MenuMark,
        WorkHours,
        LastSetText,
        Everything
    };
    Q_ENUM(Setting)

    // Loads the file at `path`, after removing what interrupted saves left beside it.
    explicit Config(QString path, QObject* parent = nullptr);

    const QString& path() const { return path_; }

    // The whole dictionary (a copy) and its replacement.
    QJsonObject raw() const;
    void setRaw(QJsonObject raw);

    // The Slack sign-in: the user token (none: signed out), the account's name ("you" when
    // none is stored) and the workspace's address.
    std::optional<QString> slackToken() const;
    QString slackName() const;
    std::optional<QString> teamUrl() const;
    void setAccount(const QString& token, const QString& name, const QString& teamUrl);
    // A token that expires: what renews it, and when it expires (Unix seconds). None for a token
    // that does not expire.
    std::optional<QString> refreshToken() const;
    std::optional<qint64> tokenExpiresAt() const;
    void setTokenRenewal(const QString& refreshToken, qint64 expiresAt);
    // A renewed token, with what renews it next.
    void setRenewedToken(const QString& token, const QString& refreshToken, qint64 expiresAt);
    // Forgets the token and what renews it, keeping everything else: Slack signed the user out.
    void forgetToken();

    // Whether the workspace had :spotify: when last asked; none when it was never asked since
    // the sign-in.
    std::optional<bool> spotifyEmojiFound() const;
    void setSpotifyEmojiFound(bool found);

    bool paused() const;
    void setPaused(bool paused);

    // The status emoji the user picked, if any.
    std::optional<QString> chosenEmoji() const;
    void setChosenEmoji(const QString& code);

    // The stored mark: the wordmark when none or no text is stored; none when the stored text
    // names no mark.
    std::optional<MenuMark> menuMark() const;
    void setMenuMark(MenuMark mark);

    // The work-hours window: off, 09:00 to 17:00 unless stored otherwise.
    bool workHoursEnabled() const;
    MinuteRange workHoursRange() const;
    // Turns the window on or off, keeping its stored times as they are (09:00 to 17:00 when
    // there are none).
    void setWorkHoursEnabled(bool enabled);
    // Stores the whole window, each time as two-digit hours and minutes.
    void setWorkHours(bool enabled, MinuteRange range);

    // The text of the last status the program set itself, empty when none.
    QString lastSetText() const;
    void setLastSetText(const QString& text);

    // Writes the dictionary to the file, pretty-printed with sorted keys, with mode 0600.
    // Returns the reason when it could not; the in-memory settings stay in force either way.
    [[nodiscard]] std::optional<QString> save() const;

  signals:
    void changed(Config::Setting setting);

  private:
    QJsonValue value(const QString& key) const;
    std::optional<QString> string(const QString& key) const;
    void setValue(const QString& key, const QJsonValue& value, Setting setting);

    const QString path_;
    mutable QMutex mutex_;
    QJsonObject raw_;
};
