#include "platform/Random.h"

#include <sys/random.h>

#include <cerrno>

namespace platform {

// getrandom reports failure, where a generator object would hide it.
std::optional<QByteArray> SystemRandom::bytes(qsizetype count) {
    QByteArray buffer(count, '\0');
    qsizetype filled = 0;
    while (filled < count) {
        const ssize_t got = ::getrandom(buffer.data() + filled, size_t(count - filled), 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return std::nullopt;
        filled += got;
    }
    return buffer;
}

}  // namespace platform
