#pragma once

#include <QString>

// Whether `candidate` is a strictly newer version than `reference`. Versions are dot-separated
// whole numbers (signed 64-bit); empty pieces and pieces that are not such a number are left
// out, and a missing position counts as 0, so "1.2" and "1.2.0" are equal.
bool isNewer(const QString& candidate, const QString& reference);
