#pragma once

#include <QString>
#include <QTime>

// The time of day as the user's locale writes it in short, without seconds, which some locales'
// short format (the C locale's among them) would show.
QString shortTimeText(const QTime& time);
// The user's locale's short time format without its seconds.
QString shortTimeFormat();
