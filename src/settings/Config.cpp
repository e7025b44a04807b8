#include "settings/Config.h"

#include <QFile>
#include <QJsonDocument>
#include <charconv>
#include <vector>

#include "platform/Files.h"

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
    : QObject(parent), path_(std::move(path)), raw_(load(path_)) {}

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

std::optional<QString> Config::slackToken() const {
    return string(TOKEN);
}

QString Config::slackName() const {
    return string(NAME).value_or(QStringLiteral("you"));
}

std::optional<QString> Config::teamUrl() const {
    return string(TEAM_URL);
}

void Config::setAccount(const QString& token, const QString& name, const QString& teamUrl) {
    {
        QMutexLocker lock(&mutex_);
        raw_.insert(TOKEN, token);
        raw_.insert(NAME, name);
        raw_.insert(TEAM_URL, teamUrl);
        // A new sign-in's token does not expire unless its renewal is stored next, and its
        // workspace's emoji are yet to be asked for.
        for (const QString& key : {REFRESH_TOKEN, TOKEN_EXPIRES_AT, EMOJI_FOUND}) raw_.remove(key);
    }
    emit changed(Setting::Account);
}

std::optional<QString> Config::refreshToken() const {
    return string(REFRESH_TOKEN);
}

std::optional<qint64> Config::tokenExpiresAt() const {
    const QJsonValue found = value(TOKEN_EXPIRES_AT);
    if (!found.isDouble()) return std::nullopt;
    return qint64(found.toDouble());
}

void Config::setTokenRenewal(const QString& refreshToken, qint64 expiresAt) {
    {
        QMutexLocker lock(&mutex_);
        raw_.insert(REFRESH_TOKEN, refreshToken);
        raw_.insert(TOKEN_EXPIRES_AT, expiresAt);
    }
    emit changed(Setting::Account);
}

void Config::setRenewedToken(const QString& token, const QString& refreshToken, qint64 expiresAt) {
    {
        QMutexLocker lock(&mutex_);
        raw_.insert(TOKEN, token);
    }
    setTokenRenewal(refreshToken, expiresAt);
}

void Config::forgetToken() {
    {
        QMutexLocker lock(&mutex_);
        for (const QString& key : {TOKEN, REFRESH_TOKEN, TOKEN_EXPIRES_AT}) raw_.remove(key);
    }
    emit changed(Setting::Account);
}

std::optional<bool> Config::spotifyEmojiFound() const {
    const QJsonValue found = value(EMOJI_FOUND);
    if (!found.isBool()) return std::nullopt;
    return found.toBool();
}

void Config::setSpotifyEmojiFound(bool found) {
    setValue(EMOJI_FOUND, found, Setting::EmojiFound);
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

QString Config::lastSetText() const {
    return string(LAST_SET_TEXT).value_or(QString());
}

void Config::setLastSetText(const QString& text) {
    setValue(LAST_SET_TEXT, text, Setting::LastSetText);
}

std::optional<QString> Config::save() const {
    return platform::writeFilePrivately(path_, settingsBytes(raw()));
}
