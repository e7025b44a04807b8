#pragma once

#include <QDateTime>
#include <QString>

#include "settings/Config.h"

// Whether `now` lies in the work-hours window `range` (start inclusive, end exclusive, the same
// every day, never across midnight; a window whose start is not before its end never opens);
// always true while the window is off.
bool inWorkHours(bool enabled, MinuteRange range, const QDateTime& now);

// A stored time in minutes after midnight as a time of day today (hour = minutes ÷ 60, minute
// = minutes mod 60); the current time when that is no valid time of day.
QTime timeOfDay(qint64 minutes, const QDateTime& now);
// The window as the user's short times, never with seconds, joined by an en dash, e.g.
// "9:00 AM–5:00 PM".
QString workHoursLabel(MinuteRange range, const QDateTime& now);
