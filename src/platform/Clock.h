#pragma once

#include <QDateTime>

namespace platform {

// The current time, behind an interface so tests can set it.
class Clock {
  public:
    virtual ~Clock() = default;
    // The current local date and time.
    virtual QDateTime now() const = 0;
};

class SystemClock final : public Clock {
  public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

// Seconds since the system started, time asleep included (CLOCK_BOOTTIME where there is one).
double systemUptime();

}  // namespace platform
