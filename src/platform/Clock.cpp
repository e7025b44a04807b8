#include "platform/Clock.h"

#include <QElapsedTimer>
#include <ctime>

namespace platform {

double systemUptime() {
#ifdef CLOCK_BOOTTIME
    timespec now{};
    if (clock_gettime(CLOCK_BOOTTIME, &now) == 0) return double(now.tv_sec) + now.tv_nsec / 1e9;
#endif
    // Elsewhere the monotonic clock, which counts from boot on the systems Qt supports.
    QElapsedTimer sinceBoot;
    sinceBoot.start();
    return double(sinceBoot.msecsSinceReference()) / 1000.0;
}

}  // namespace platform
