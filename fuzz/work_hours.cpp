// A stored work-hours time ("09:00") read as minutes after midnight, checked against a
// second, independent reading, and saved and read again.

#include <QDateTime>
#include <QRegularExpression>
#include <QStringList>

#include "Fuzz.h"
#include "settings/Config.h"
#include "sync/WorkHours.h"

namespace {

// The defaults of the window, 09:00 to 17:00.
constexpr qint64 DEFAULT_START = 9 * 60;
constexpr qint64 DEFAULT_END = 17 * 60;

bool fits(__int128 value) {
    return value >= std::numeric_limits<qint64>::min() &&
           value <= std::numeric_limits<qint64>::max();
}

// Pieces between colons that are whole signed decimal numbers fitting 64 bits; exactly two
// give hours × 60 + minutes when that product and that sum fit too.
std::optional<qint64> expectedMinutes(const QString& text) {
    static const QRegularExpression number(QRegularExpression::anchoredPattern("[+-]?[0-9]+"));
    QList<qint64> numbers;
    for (const QString& piece : text.split(u':', Qt::SkipEmptyParts)) {
        bool valid = false;
        const qint64 value = piece.toLongLong(&valid);
        if (number.match(piece).hasMatch() && valid) numbers.append(value);
    }
    if (numbers.size() != 2) return std::nullopt;
    const __int128 hours = __int128(numbers[0]) * 60;
    const __int128 minutes = hours + numbers[1];
    if (!fits(hours) || !fits(minutes)) return std::nullopt;
    return qint64(minutes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(fuzzBytes(data, size));
    const std::optional<qint64> expected = expectedMinutes(text);
    const qint64 minutes = storedMinutes(text, DEFAULT_START);
    REQUIRE(minutes == expected.value_or(DEFAULT_START));
    REQUIRE(storedMinutes(text, DEFAULT_END) == expected.value_or(DEFAULT_END));

    // As both ends of the window: when readable, a window that never opens.
    const MinuteRange range{minutes, expected.value_or(DEFAULT_END)};
    const QDateTime now(QDate(2026, 1, 5), QTime(12, 0));
    REQUIRE(inWorkHours(true, range, now) == !expected.has_value());
    (void)workHoursLabel(range, now);

    // A time of day, saved as the dashboard saves it, reads back the same.
    if (minutes >= 0 && minutes < 24 * 60) {
        const QString saved = QString::asprintf("%02d:%02d", int(minutes / 60), int(minutes % 60));
        REQUIRE(storedMinutes(saved, DEFAULT_START) == minutes);
        REQUIRE(timeOfDay(minutes, now) == QTime(int(minutes / 60), int(minutes % 60)));
    }
    return 0;
}
