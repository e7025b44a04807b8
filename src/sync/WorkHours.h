#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

class Config;

// Reads a stored time of day such as "09:00" as minutes after midnight. The text is split at
// every colon (empty pieces dropped) and each piece read as a signed decimal integer (one
// leading "+" or "-" allowed; any other character makes it no number, and it is dropped).
// Exactly two numbers give hours × 60 + minutes, without range checks; anything else, or an
// hours × 60 or a sum that does not fit in 64 bits (even where the sum alone would), gives
// `fallback`.
qint64 storedMinutes(const std::optional<QString>& stored, qint64 fallback);

// Whether `now` lies in the stored work-hours window; always true while the window is off.
bool inWorkHours(const Config& config, const QDateTime& now);

// A stored time in minutes after midnight as a time of day today (hour = minutes ÷ 60, minute
// = minutes mod 60); the current time when that is no valid time of day.
QTime timeOfDay(qint64 minutes, const QDateTime& now);
// The stored window as the user's short times joined by an en dash, e.g. "9:00 AM–5:00 PM".
QString workHoursLabel(const Config& config, const QDateTime& now);
