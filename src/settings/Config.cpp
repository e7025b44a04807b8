#include "settings/Config.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QUrl>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <vector>

#include "platform/Files.h"
#include "settings/WorkspaceBounds.h"

namespace {

const QString TOKEN = QStringLiteral("slackToken");
const QString NAME = QStringLiteral("slackName");
const QString TEAM_URL = QStringLiteral("teamUrl");
const QString REFRESH_TOKEN = QStringLiteral("slackRefreshToken");
const QString TOKEN_EXPIRES_AT = QStringLiteral("slackTokenExpiresAt");
const QString PAUSED = QStringLiteral("paused");
const QString EMOJI = QStringLiteral("emoji");
const QString MENU_MARK = QStringLiteral("menuMark");
const QString WORK_HOURS = QStringLiteral("workHours");
const QString ENABLED = QStringLiteral("enabled");
const QString START = QStringLiteral("start");
const QString END = QStringLiteral("end");
const QString LAST_SET_TEXT = QStringLiteral("lastSetText");
const QString EMOJI_FOUND = QStringLiteral("spotifyEmojiFound");
const QString TEAM_ID = QStringLiteral("slackTeamId");
const QString TEAM_NAME = QStringLiteral("slackTeamName");
const QString MORE_WORKSPACES = QStringLiteral("moreWorkspaces");
const QString CLIENT_ID = QStringLiteral("slackClientId");
// What a workspace is stored under: at the top level for the first, in an object of its own in
// the list for each other.
const QStringList WORKSPACE_KEYS = {TOKEN,       NAME,          TEAM_URL,
                                    TEAM_ID,     TEAM_NAME,     LAST_SET_TEXT,
                                    EMOJI_FOUND, REFRESH_TOKEN, TOKEN_EXPIRES_AT};

constexpr qint64 DEFAULT_START = 9 * 60;
constexpr qint64 DEFAULT_END = 17 * 60;

QString storedTime(qint64 minutes) {
    return QString::asprintf("%02d:%02d", int(minutes / 60), int(minutes % 60));
}

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

QString stringIn(const QJsonObject& object, const QString& key) {
    const QJsonValue found = object.value(key);
    return found.isString() ? found.toString() : QString();
}

// A workspace is stored with its token, or, once Slack signed the user out, its address.
bool holdsWorkspace(const QJsonObject& object) {
    return !stringIn(object, TOKEN).isEmpty() || !stringIn(object, TEAM_URL).isEmpty();
}

Workspace workspaceIn(const QJsonObject& object) {
    Workspace workspace{stringIn(object, TOKEN),
                        stringIn(object, NAME),
                        stringIn(object, TEAM_URL),
                        stringIn(object, TEAM_ID),
                        stringIn(object, TEAM_NAME),
                        stringIn(object, LAST_SET_TEXT),
                        std::nullopt,
                        std::nullopt,
                        std::nullopt};
    const QJsonValue refresh = object.value(REFRESH_TOKEN);
    const QJsonValue expires = object.value(TOKEN_EXPIRES_AT);
    const QJsonValue found = object.value(EMOJI_FOUND);
    if (refresh.isString()) workspace.refreshToken = refresh.toString();
    // Whole seconds that fit; anything else is no time at all.
    if (expires.isDouble() && std::abs(expires.toDouble()) < 9e18)
        workspace.expiresAt = qint64(expires.toDouble());
    if (found.isBool()) workspace.spotifyEmojiFound = found.toBool();
    return workspace;
}

// The object each workspace is stored in, in order: the first's keys gathered from the top level.
QList<QJsonObject> workspaceObjects(const QJsonObject& raw) {
    QList<QJsonObject> objects;
    if (holdsWorkspace(raw)) {
        QJsonObject first;
        for (const QString& key : WORKSPACE_KEYS) {
            if (raw.contains(key)) first.insert(key, raw.value(key));
        }
        objects += first;
    }
    for (const QJsonValue& other : raw.value(MORE_WORKSPACES).toArray()) {
        if (holdsWorkspace(other.toObject())) objects += other.toObject();
    }
    return objects;
}

QList<Workspace> workspacesIn(const QJsonObject& raw) {
    QList<Workspace> all;
    for (const QJsonObject& object : workspaceObjects(raw)) all += workspaceIn(object);
    return all;
}

// `workspace` written over `object`, which keeps what else it holds.
QJsonObject withWorkspace(QJsonObject object, const Workspace& workspace) {
    const auto put = [&](const QString& key, const QString& value) {
        if (value.isEmpty()) {
            object.remove(key);
        } else {
            object.insert(key, value);
        }
    };
    put(NAME, workspace.name);
    put(TEAM_URL, workspace.teamUrl);
    put(TEAM_ID, workspace.teamId);
    put(TEAM_NAME, workspace.teamName);
    put(LAST_SET_TEXT, workspace.lastSetText);
    put(REFRESH_TOKEN, workspace.refreshToken.value_or(QString()));
    // A signed-out workspace keeps its address, which tells it is there.
    put(TOKEN, workspace.token);
    object.remove(TOKEN_EXPIRES_AT);
    if (workspace.expiresAt) object.insert(TOKEN_EXPIRES_AT, *workspace.expiresAt);
    object.remove(EMOJI_FOUND);
    if (workspace.spotifyEmojiFound) object.insert(EMOJI_FOUND, *workspace.spotifyEmojiFound);
    return object;
}

// Stores the workspaces' `objects` in `raw`, in place of those it held.
void storeObjectsIn(QJsonObject& raw, const QList<QJsonObject>& objects) {
    for (const QString& key : WORKSPACE_KEYS) raw.remove(key);
    raw.remove(MORE_WORKSPACES);
    if (objects.isEmpty()) return;
    for (auto it = objects.first().constBegin(); it != objects.first().constEnd(); ++it)
        raw.insert(it.key(), it.value());
    QJsonArray more;
    for (const QJsonObject& object : objects.mid(1)) more.append(object);
    if (!more.isEmpty()) raw.insert(MORE_WORKSPACES, more);
}

// Stores `workspaces` in `raw`, each over where it was stored before, which keeps anything else
// stored beside it.
void storeWorkspacesIn(QJsonObject& raw, const QList<Workspace>& workspaces) {
    const QList<QJsonObject> stored = workspaceObjects(raw);
    QList<QJsonObject> objects;
    for (const Workspace& workspace : workspaces) {
        const auto before = std::find_if(stored.cbegin(), stored.cend(), [&](const auto& object) {
            return workspaceIn(object).key() == workspace.key();
        });
        objects += withWorkspace(before == stored.cend() ? QJsonObject() : *before, workspace);
    }
    storeObjectsIn(raw, objects);
}

// The settings as loaded, their workspaces brought within bounds (settings/WorkspaceBounds.h);
// settings within them stay exactly as they were.
QJsonObject withinBounds(QJsonObject raw) {
    const QList<QJsonObject> objects = workspaceObjects(raw);
    QList<Workspace> stored;
    for (const QJsonObject& object : objects) stored += workspaceIn(object);
    const QList<KeptWorkspace> kept = keptWorkspaces(stored);
    const qsizetype entries =
        raw.value(MORE_WORKSPACES).toArray().size() + (holdsWorkspace(raw) ? 1 : 0);
    if (entries == objects.size() && keepsAll(kept, stored)) return raw;
    QList<QJsonObject> within;
    for (const KeptWorkspace& each : kept)
        within += withWorkspace(objects[each.from], each.workspace);
    storeObjectsIn(raw, within);
    return raw;
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

QString Workspace::host() const {
    const QString host = QUrl(teamUrl).host();
    return host.isEmpty() ? teamUrl : host;
}

QString Workspace::title() const {
    if (!teamName.isEmpty()) return teamName;
    const QString place = host();
    return place.isEmpty() ? QStringLiteral("your workspace") : place;
}

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
    : QObject(parent), path_(std::move(path)), raw_(withinBounds(load(path_))) {}

QJsonObject Config::raw() const {
    QMutexLocker lock(&mutex_);
    return raw_;
}

void Config::setRaw(QJsonObject raw) {
    {
        QMutexLocker lock(&mutex_);
        raw_ = std::move(raw);
    }
    emit changed(Setting::Everything);
}

void Config::setValue(const QString& key, const QJsonValue& value, Setting setting) {
    {
        QMutexLocker lock(&mutex_);
        raw_.insert(key, value);
    }
    emit changed(setting);
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

QList<Workspace> Config::workspaces() const {
    QMutexLocker lock(&mutex_);
    return workspacesIn(raw_);
}

std::optional<Workspace> Config::workspace(const QString& key) const {
    for (const Workspace& workspace : workspaces()) {
        if (workspace.key() == key) return workspace;
    }
    return std::nullopt;
}

bool Config::signedIn() const {
    const QList<Workspace> all = workspaces();
    return std::any_of(all.cbegin(), all.cend(),
                       [](const Workspace& workspace) { return !workspace.token.isEmpty(); });
}

void Config::addWorkspace(Workspace workspace) {
    {
        QMutexLocker lock(&mutex_);
        QList<Workspace> all = workspacesIn(raw_);
        workspace.spotifyEmojiFound.reset();
        const auto same = std::find_if(all.begin(), all.end(), [&](const Workspace& stored) {
            return sameWorkspace(stored, workspace);
        });
        if (same == all.end()) {
            all += workspace;
        } else {
            // Its status may still show the program's text, which stays the program's own.
            if (workspace.lastSetText.isEmpty()) workspace.lastSetText = same->lastSetText;
            *same = workspace;
        }
        storeWorkspacesIn(raw_, all);
    }
    emit changed(Setting::Account);
}

void Config::removeWorkspace(const QString& key) {
    {
        QMutexLocker lock(&mutex_);
        QList<Workspace> all = workspacesIn(raw_);
        all.removeIf([&](const Workspace& workspace) { return workspace.key() == key; });
        storeWorkspacesIn(raw_, all);
    }
    emit changed(Setting::Account);
}

void Config::changeWorkspace(const QString& key, Setting setting,
                             const std::function<void(Workspace&)>& change) {
    {
        QMutexLocker lock(&mutex_);
        QList<Workspace> all = workspacesIn(raw_);
        const auto found = std::find_if(all.begin(), all.end(), [&](const Workspace& workspace) {
            return workspace.key() == key;
        });
        if (found == all.end()) return;
        change(*found);
        storeWorkspacesIn(raw_, all);
    }
    emit changed(setting);
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
    return string(TOKEN);
}

QString Config::slackName() const {
    return string(NAME).value_or(QStringLiteral("you"));
}

std::optional<QString> Config::teamUrl() const {
    return string(TEAM_URL);
}

QString Config::lastSetText() const {
    return string(LAST_SET_TEXT).value_or(QString());
}

std::optional<bool> Config::spotifyEmojiFound() const {
    const QJsonValue found = value(EMOJI_FOUND);
    if (!found.isBool()) return std::nullopt;
    return found.toBool();
}

bool Config::paused() const {
    return value(PAUSED).toBool(false);
}

void Config::setPaused(bool paused) {
    setValue(PAUSED, paused, Setting::Paused);
}

std::optional<QString> Config::chosenEmoji() const {
    return string(EMOJI);
}

void Config::setChosenEmoji(const QString& code) {
    setValue(EMOJI, code, Setting::Emoji);
}

std::optional<QString> Config::slackClientId() const {
    return string(CLIENT_ID);
}

void Config::setSlackClientId(const QString& clientId) {
    setValue(CLIENT_ID, clientId, Setting::SlackApp);
}

QJsonObject Config::keptAfterDisconnect() const {
    QJsonObject kept;
    if (const std::optional<QString> clientId = slackClientId()) kept.insert(CLIENT_ID, *clientId);
    return kept;
}

std::optional<MenuMark> Config::menuMark() const {
    const std::optional<QString> stored = string(MENU_MARK);
    if (!stored) return MenuMark::Wordmark;
    return menuMarkFromRaw(*stored);
}

void Config::setMenuMark(MenuMark mark) {
    setValue(MENU_MARK, rawValue(mark), Setting::MenuMark);
}

bool Config::workHoursEnabled() const {
    return value(WORK_HOURS).toObject().value(ENABLED).toBool(false);
}

MinuteRange Config::workHoursRange() const {
    const QJsonObject hours = value(WORK_HOURS).toObject();
    const auto member = [&](const QString& name) -> std::optional<QString> {
        const QJsonValue found = hours.value(name);
        if (!found.isString()) return std::nullopt;
        return found.toString();
    };
    return {storedMinutes(member(START), DEFAULT_START), storedMinutes(member(END), DEFAULT_END)};
}

void Config::setWorkHoursEnabled(bool enabled) {
    const QJsonValue stored = value(WORK_HOURS);
    QJsonObject hours = stored.isObject() ? stored.toObject()
                                          : QJsonObject{{START, storedTime(DEFAULT_START)},
                                                        {END, storedTime(DEFAULT_END)}};
    hours.insert(ENABLED, enabled);
    setValue(WORK_HOURS, hours, Setting::WorkHours);
}

void Config::setWorkHours(bool enabled, MinuteRange range) {
    setValue(
        WORK_HOURS,
        QJsonObject{
            {ENABLED, enabled}, {START, storedTime(range.start)}, {END, storedTime(range.end)}},
        Setting::WorkHours);
}

std::optional<QString> Config::save() const {
    return platform::writeFilePrivately(path_, settingsBytes(raw()));
}
