#include "settings/Config.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>
#include <charconv>
#include <vector>

#include "platform/Files.h"
#include "settings/SettingKeys.h"

namespace {

QJsonObject load(const QString& path) {
    platform::removeUnfinishedWrites(path);
    platform::keepPrivate(path);  // it holds the token
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return settingsFromBytes(file.readAll());
}

std::optional<qint64> decimal(QStringView piece) {
    const bool plus = piece.startsWith(u'+');
    const QStringView rest = plus ? piece.mid(1) : piece;
    const qsizetype firstDigit = !plus && rest.startsWith(u'-') ? 1 : 0;
    if (rest.size() == firstDigit) return std::nullopt;
    for (qsizetype i = firstDigit; i < rest.size(); ++i) {
        if (rest[i] < u'0' || rest[i] > u'9') return std::nullopt;
    }
    const QByteArray text = rest.toLatin1();
    qint64 value = 0;
    const auto [end, error] = std::from_chars(text.cbegin(), text.cend(), value);
    if (error != std::errc() || end != text.cend()) return std::nullopt;
    return value;
}

// Whether a sign-in to `workspace` is one to `stored` again: the same id, or where either id is
// not known, the same address. A stored token whose workspace is not known at all gives way to
// any sign-in.
bool sameWorkspace(const Workspace& stored, const Workspace& workspace) {
    if (stored.key().isEmpty()) return true;
    if (!stored.teamId.isEmpty() && !workspace.teamId.isEmpty())
        return stored.teamId == workspace.teamId;
    return stored.teamUrl == workspace.teamUrl;
}

}  // namespace

QJsonObject settingsFromBytes(const QByteArray& bytes) {
    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    return document.isObject() ? document.object() : QJsonObject();
}

QByteArray settingsBytes(const QJsonObject& settings) {
    return QJsonDocument(settings).toJson(QJsonDocument::Indented);
}

qint64 storedMinutes(const std::optional<QString>& stored, qint64 fallback) {
    if (!stored) return fallback;
    std::vector<qint64> numbers;
    for (const QString& piece : stored->split(u':', Qt::SkipEmptyParts)) {
        if (const std::optional<qint64> number = decimal(piece)) numbers.push_back(*number);
    }
    if (numbers.size() != 2) return fallback;
    qint64 minutes = 0;
    if (__builtin_mul_overflow(numbers[0], qint64(60), &minutes) ||
        __builtin_add_overflow(minutes, numbers[1], &minutes)) {
        return fallback;
    }
    return minutes;
}

Config::Config(QString path, QObject* parent)
    : QObject(parent),
      path_(std::move(path)),
      raw_(load(path_)),
      workspaces_(WorkspaceList::readFrom(raw_)) {}

QJsonObject Config::raw() const {
    QMutexLocker lock(&mutex_);
    return raw_;
}

void Config::setRaw(QJsonObject raw) {
    {
        WorkspaceList workspaces = WorkspaceList::readFrom(raw);
        QMutexLocker lock(&mutex_);
        if (raw == raw_) return;  // the same settings: nothing changed
        raw_ = std::move(raw);
        workspaces_ = std::move(workspaces);
    }
    emit changed(Setting::Everything);
}

QJsonValue Config::value(const SettingKey& setting) const {
    QMutexLocker lock(&mutex_);
    const QJsonValue stored = raw_.value(setting.key);
    return stored.type() == setting.type ? stored : setting.fallback;
}

std::optional<QString> Config::string(const SettingKey& setting) const {
    const QJsonValue found = value(setting);
    if (!found.isString()) return std::nullopt;
    return found.toString();
}

void Config::setValue(const SettingKey& setting, const QJsonValue& value) {
    {
        QMutexLocker lock(&mutex_);
        if (raw_.value(setting.key) == value) return;
        raw_.insert(setting.key, value);
    }
    emit changed(setting.announces);
}

QList<Workspace> Config::workspaces() const {
    QMutexLocker lock(&mutex_);
    return workspaces_.all();
}

std::optional<Workspace> Config::workspace(const QString& key) const {
    QMutexLocker lock(&mutex_);
    for (const Workspace& workspace : workspaces_.all()) {
        if (workspace.key() == key) return workspace;
    }
    return std::nullopt;
}

std::optional<Workspace> Config::first() const {
    QMutexLocker lock(&mutex_);
    if (workspaces_.all().isEmpty()) return std::nullopt;
    return workspaces_.all().first();
}

bool Config::signedIn() const {
    QMutexLocker lock(&mutex_);
    return std::any_of(workspaces_.all().cbegin(), workspaces_.all().cend(),
                       [](const Workspace& workspace) { return !workspace.token.isEmpty(); });
}

void Config::changeWorkspaces(Setting setting,
                              const std::function<void(QList<Workspace>&)>& change) {
    {
        QMutexLocker lock(&mutex_);
        QList<Workspace> all = workspaces_.all();
        change(all);
        if (all == workspaces_.all()) return;
        workspaces_.store(raw_, all);
    }
    emit changed(setting);
}

void Config::addWorkspace(Workspace workspace) {
    workspace.spotifyEmojiFound.reset();
    changeWorkspaces(Setting::Account, [&](QList<Workspace>& all) {
        const auto same = std::find_if(all.begin(), all.end(), [&](const Workspace& stored) {
            return sameWorkspace(stored, workspace);
        });
        if (same == all.end()) {
            all += workspace;
            return;
        }
        // Its status may still show the program's text, which stays the program's own.
        if (workspace.lastSetText.isEmpty()) workspace.lastSetText = same->lastSetText;
        *same = workspace;
    });
}

void Config::removeWorkspace(const QString& key) {
    changeWorkspaces(Setting::Account, [&](QList<Workspace>& all) {
        all.removeIf([&](const Workspace& workspace) { return workspace.key() == key; });
    });
}

void Config::changeWorkspace(const QString& key, Setting setting,
                             const std::function<void(Workspace&)>& change) {
    changeWorkspaces(setting, [&](QList<Workspace>& all) {
        const auto found = std::find_if(all.begin(), all.end(), [&](const Workspace& workspace) {
            return workspace.key() == key;
        });
        if (found != all.end()) change(*found);
    });
}

void Config::setRenewedToken(const QString& key, const QString& token, const QString& refreshToken,
                             qint64 expiresAt) {
    changeWorkspace(key, Setting::Account, [&](Workspace& workspace) {
        workspace.token = token;
        workspace.refreshToken = refreshToken;
        workspace.expiresAt = expiresAt;
    });
}

void Config::forgetToken(const QString& key) {
    changeWorkspace(key, Setting::Account, [](Workspace& workspace) {
        workspace.token.clear();
        workspace.refreshToken.reset();
        workspace.expiresAt.reset();
    });
}

void Config::setLastSetText(const QString& key, const QString& text) {
    changeWorkspace(key, Setting::LastSetText,
                    [&](Workspace& workspace) { workspace.lastSetText = text; });
}

void Config::setSpotifyEmojiFound(const QString& key, bool found) {
    changeWorkspace(key, Setting::EmojiFound,
                    [&](Workspace& workspace) { workspace.spotifyEmojiFound = found; });
}

std::optional<QString> Config::slackToken() const {
    const std::optional<Workspace> workspace = first();
    if (!workspace || workspace->token.isEmpty()) return std::nullopt;
    return workspace->token;
}

QString Config::slackName() const {
    const std::optional<Workspace> workspace = first();
    if (!workspace || workspace->name.isEmpty()) return QStringLiteral("you");
    return workspace->name;
}

std::optional<QString> Config::teamUrl() const {
    const std::optional<Workspace> workspace = first();
    if (!workspace || workspace->teamUrl.isEmpty()) return std::nullopt;
    return workspace->teamUrl;
}

QString Config::lastSetText() const {
    const std::optional<Workspace> workspace = first();
    return workspace ? workspace->lastSetText : QString();
}

std::optional<bool> Config::spotifyEmojiFound() const {
    const std::optional<Workspace> workspace = first();
    return workspace ? workspace->spotifyEmojiFound : std::nullopt;
}

bool Config::paused() const {
    return value(keys::PAUSED).toBool();
}

void Config::setPaused(bool paused) {
    setValue(keys::PAUSED, paused);
}

std::optional<QString> Config::chosenEmoji() const {
    return string(keys::CHOSEN_EMOJI);
}

void Config::setChosenEmoji(const QString& code) {
    setValue(keys::CHOSEN_EMOJI, code);
}

std::optional<QString> Config::slackClientId() const {
    return string(keys::SLACK_CLIENT_ID);
}

void Config::setSlackClientId(const QString& clientId) {
    setValue(keys::SLACK_CLIENT_ID, clientId);
}

QJsonObject Config::keptAfterDisconnect() const {
    QJsonObject kept;
    if (const std::optional<QString> clientId = slackClientId())
        kept.insert(keys::SLACK_CLIENT_ID.key, *clientId);
    return kept;
}

std::optional<MenuMark> Config::menuMark() const {
    return menuMarkFromRaw(value(keys::MENU_MARK).toString());
}

void Config::setMenuMark(MenuMark mark) {
    setValue(keys::MENU_MARK, rawValue(mark));
}

bool Config::workHoursEnabled() const {
    return value(keys::WORK_HOURS).toObject().value(keys::WORK_HOURS_ENABLED).toBool(false);
}

MinuteRange Config::workHoursRange() const {
    const QJsonObject hours = value(keys::WORK_HOURS).toObject();
    const auto member = [&](QLatin1String name) -> std::optional<QString> {
        const QJsonValue found = hours.value(name);
        if (!found.isString()) return std::nullopt;
        return found.toString();
    };
    return {storedMinutes(member(keys::WORK_HOURS_START), keys::DEFAULT_WORK_START),
            storedMinutes(member(keys::WORK_HOURS_END), keys::DEFAULT_WORK_END)};
}

void Config::setWorkHoursEnabled(bool enabled) {
    // The stored window, else the default one.
    QJsonObject hours = value(keys::WORK_HOURS).toObject();
    hours.insert(keys::WORK_HOURS_ENABLED, enabled);
    setValue(keys::WORK_HOURS, hours);
}

void Config::setWorkHours(bool enabled, MinuteRange range) {
    setValue(keys::WORK_HOURS, QJsonObject{{keys::WORK_HOURS_ENABLED, enabled},
                                           {keys::WORK_HOURS_START, storedTime(range.start)},
                                           {keys::WORK_HOURS_END, storedTime(range.end)}});
}

QHash<QString, bool> Config::sharedPlayers() const {
    const QJsonObject stored = value(keys::SHARED_PLAYERS).toObject();
    QHash<QString, bool> players;
    for (auto each = stored.begin(); each != stored.end(); ++each) {
        if (each->isBool()) players.insert(each.key(), each->toBool());
    }
    return players;
}

void Config::setSharedPlayers(const QHash<QString, bool>& players) {
    QJsonObject stored;
    for (auto each = players.cbegin(); each != players.cend(); ++each)
        stored.insert(each.key(), each.value());
    setValue(keys::SHARED_PLAYERS,
             stored.isEmpty() ? QJsonValue(QJsonValue::Undefined) : QJsonValue(stored));
}

QString Config::statusFormat() const {
    return value(keys::STATUS_FORMAT).toString();
}

void Config::setStatusFormat(const QString& format) {
    setValue(keys::STATUS_FORMAT, format);
}

QStringList Config::privateArtists() const {
    QStringList artists;
    for (const QJsonValue& artist : value(keys::PRIVATE_ARTISTS).toArray()) {
        if (artist.isString()) artists += artist.toString();
    }
    return artists;
}

void Config::setPrivateArtists(const QStringList& artists) {
    setValue(keys::PRIVATE_ARTISTS, QJsonArray::fromStringList(artists));
}

std::optional<QString> Config::save() const {
    return platform::writeFilePrivately(path_, settingsBytes(raw()));
}
