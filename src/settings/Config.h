#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "settings/MenuMark.h"
#include "settings/WorkspaceList.h"

struct SettingKey;

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
// every save. Each setting has one typed getter and setter here, following its key, type and
// default in settings/SettingKeys.h; keys it does not know are kept and written back unchanged.
// Every getter treats a value of the wrong JSON type like a missing key. The workspaces are read
// from the object once, when it is loaded or replaced, and kept in step with it.
//
// Safe to use from several threads: the dictionary is guarded, and every accessor reads a
// consistent snapshot. Saves are made on the main thread. Every setter that changes a setting
// announces what changed with `changed`, on the thread that made the change; one that writes
// what is already stored announces nothing. A replacement of the whole dictionary by another is
// announced as `Everything`: the views read it as a call to show every setting afresh.
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
        SlackApp,
        SharedPlayers,
        StatusFormat,
        PrivateArtists,
        Everything
    };
    Q_ENUM(Setting)

    // Loads the file at `path`, after removing what interrupted saves left beside it.
    explicit Config(QString path, QObject* parent = nullptr);

    const QString& path() const { return path_; }

    // The whole dictionary (a copy) and its replacement, its workspaces brought within bounds
    // as at load.
    QJsonObject raw() const;
    void setRaw(QJsonObject raw);

    // The workspaces signed in to, in the order they were added. The first is kept under the
    // keys a single sign-in has always used, so older copies read it; the others in a list of
    // their own. Slack may have signed the user out of some (no token).
    QList<Workspace> workspaces() const;
    std::optional<Workspace> workspace(const QString& key) const;
    // Whether any workspace has a token.
    bool signedIn() const;
    // Adds a workspace signed in to, or, for one already there (the same id, or the same
    // address where the id is not known), replaces it: a new sign-in there. Its emoji are yet
    // to be asked for.
    void addWorkspace(Workspace workspace);
    void removeWorkspace(const QString& key);
    // A renewed token, with what renews it next.
    void setRenewedToken(const QString& key, const QString& token, const QString& refreshToken,
                         qint64 expiresAt);
    // Forgets the token and what renews it, keeping everything else: Slack signed the user out.
    void forgetToken(const QString& key);
    void setLastSetText(const QString& key, const QString& text);
    void setSpotifyEmojiFound(const QString& key, bool found);

    // The first workspace's sign-in: the user token (none: signed out), the account's name
    // ("you" when none is stored), the workspace's address, the text it last set, and whether
    // it had :spotify:.
    std::optional<QString> slackToken() const;
    QString slackName() const;
    std::optional<QString> teamUrl() const;
    QString lastSetText() const;
    std::optional<bool> spotifyEmojiFound() const;

    bool paused() const;
    void setPaused(bool paused);

    // The status emoji the user picked, if any.
    std::optional<QString> chosenEmoji() const;
    void setChosenEmoji(const QString& code);

    // The client ID of the user's own Slack app, for a copy built without one; not a secret.
    std::optional<QString> slackClientId() const;
    void setSlackClientId(const QString& clientId);
    // What signing out of everything keeps: the Slack app, which is the copy's rather than the
    // account's.
    QJsonObject keptAfterDisconnect() const;

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

    // The players the user shared or not against their default, by the name each is chosen by;
    // values that are not true or false are left out. Stored only when there are any.
    QHash<QString, bool> sharedPlayers() const;
    void setSharedPlayers(const QHash<QString, bool>& players);

    // The user's format for the status text (see sync/StatusFormat.h): "{title} — {artist}"
    // unless stored otherwise.
    QString statusFormat() const;
    void setStatusFormat(const QString& format);

    // The artists whose tracks are never shared, as stored (texts only).
    QStringList privateArtists() const;
    void setPrivateArtists(const QStringList& artists);

    // Writes the dictionary to the file, pretty-printed with sorted keys, with mode 0600.
    // Returns the reason when it could not; the in-memory settings stay in force either way.
    [[nodiscard]] std::optional<QString> save() const;

  signals:
    void changed(Config::Setting setting);

  private:
    QJsonValue value(const SettingKey& setting) const;
    std::optional<QString> string(const SettingKey& setting) const;
    void setValue(const SettingKey& setting, const QJsonValue& value);
    std::optional<Workspace> first() const;
    // Changes the list of workspaces and, when that changed it, announces `setting`.
    void changeWorkspaces(Setting setting, const std::function<void(QList<Workspace>&)>& change);
    // Changes the workspace `key` names, if it is still there.
    void changeWorkspace(const QString& key, Setting setting,
                         const std::function<void(Workspace&)>& change);

    const QString path_;
    mutable QMutex mutex_;
    QJsonObject raw_;
    WorkspaceList workspaces_;  // as raw_ stores them
};
