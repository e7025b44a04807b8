#include "platform/Random.h"

#include <QRandomGenerator>

#ifdef Q_OS_LINUX
#include <sys/random.h>

#include <cerrno>
#endif

namespace platform {

std::optional<QByteArray> SystemRandom::bytes(qsizetype count) {
    QByteArray buffer(count, '\0');
#ifdef Q_OS_LINUX
    // getrandom reports failure, where a generator object would hide it.
    qsizetype filled = 0;
    while (filled < count) {
        const ssize_t got = ::getrandom(buffer.data() + filled, size_t(count - filled), 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return std::nullopt;
        filled += got;
    }
#else
    QRandomGenerator::system()->generate(buffer.begin(), buffer.end());
#endif
    return buffer;
}

}  // namespace platform
