#include "maintenance/Version.h"

#include <QList>
#include <QStringList>
#include <algorithm>

namespace {

// The numbers of a version text, in order: every piece that is decimal digits, with at most
// one leading sign, and fits in 64 bits. Other pieces are dropped.
QList<qint64> versionNumbers(const QString& text) {
    QList<qint64> numbers;
    for (const QString& piece : text.split(QLatin1Char('.'), Qt::SkipEmptyParts)) {
        const QStringView digits =
            (piece.startsWith(QLatin1Char('+')) || piece.startsWith(QLatin1Char('-')))
                ? QStringView(piece).mid(1)
                : QStringView(piece);
        const bool allDigits =
            !digits.isEmpty() && std::all_of(digits.begin(), digits.end(), [](QChar c) {
                return c >= QLatin1Char('0') && c <= QLatin1Char('9');
            });
        bool fits = false;
        const qint64 value = piece.toLongLong(&fits, 10);
        if (allDigits && fits) numbers.append(value);
    }
    return numbers;
}

}  // namespace

bool isNewer(const QString& candidate, const QString& reference) {
    const QList<qint64> a = versionNumbers(candidate);
    const QList<qint64> b = versionNumbers(reference);
    const qsizetype length = std::max(a.size(), b.size());
    for (qsizetype i = 0; i < length; ++i) {
        const qint64 x = i < a.size() ? a[i] : 0;
        const qint64 y = i < b.size() ? b[i] : 0;
        if (x != y) return x > y;
    }
    return false;
}
