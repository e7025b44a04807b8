#include "sync/WorkHours.h"

#include "state/TimeText.h"

bool inWorkHours(bool enabled, MinuteRange range, const QDateTime& now) {
    if (!enabled) return true;
    const qint64 minutes = now.time().hour() * 60 + now.time().minute();
    return range.start <= minutes && minutes < range.end;
}

QTime timeOfDay(qint64 minutes, const QDateTime& now) {
    const QTime time(int(minutes / 60), int(minutes % 60));
    const bool fits = minutes >= 0 && minutes < 24 * 60 && time.isValid();
    return fits ? time : now.time();
}

QString workHoursLabel(MinuteRange range, const QDateTime& now) {
    return shortTimeText(timeOfDay(range.start, now)) + u'–' +
           shortTimeText(timeOfDay(range.end, now));
}
