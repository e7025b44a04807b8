// The work-hours window: a daily interval, start inclusive and end exclusive, the same on
// every day, never across midnight. A window whose start is not before its end never opens.

#include "sync/WorkHours.h"

#include <QLocale>
#include <QStringList>
#include <charconv>
#include <vector>

#include "settings/Config.h"

namespace {

constexpr qint64 DEFAULT_START = 9 * 60;
constexpr qint64 DEFAULT_END = 17 * 60;

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

MinuteRange Config::workHoursRange() const {
    const QJsonObject hours = value(QStringLiteral("workHours")).toObject();
    const auto member = [&](const QString& name) -> std::optional<QString> {
        const QJsonValue found = hours.value(name);
        if (!found.isString()) return std::nullopt;
        return found.toString();
    };
    return {storedMinutes(member(QStringLiteral("start")), DEFAULT_START),
            storedMinutes(member(QStringLiteral("end")), DEFAULT_END)};
}

bool inWorkHours(const Config& config, const QDateTime& now) {
    if (!config.workHoursEnabled()) return true;
    const qint64 minutes = now.time().hour() * 60 + now.time().minute();
    const MinuteRange range = config.workHoursRange();
    return range.start <= minutes && minutes < range.end;
}

QTime timeOfDay(qint64 minutes, const QDateTime& now) {
    const QTime time(int(minutes / 60), int(minutes % 60));
    const bool fits = minutes >= 0 && minutes < 24 * 60 && time.isValid();
    return fits ? time : now.time();
}

QString workHoursLabel(const Config& config, const QDateTime& now) {
    const MinuteRange range = config.workHoursRange();
    const QLocale locale;
    return locale.toString(timeOfDay(range.start, now), QLocale::ShortFormat) + u'–' +
           locale.toString(timeOfDay(range.end, now), QLocale::ShortFormat);
}
