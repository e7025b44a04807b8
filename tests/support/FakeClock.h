#pragma once

#include <QMutex>

#include "platform/Clock.h"

// A clock that shows whatever time the test sets.
class FakeClock final : public platform::Clock {
  public:
    explicit FakeClock(QDateTime now) : now_(std::move(now)) {}

    QDateTime now() const override {
        QMutexLocker lock(&mutex_);
        return now_;
    }
    void set(QDateTime now) {
        QMutexLocker lock(&mutex_);
        now_ = std::move(now);
    }

  private:
    mutable QMutex mutex_;
    QDateTime now_;
};
