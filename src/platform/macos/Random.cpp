#include "platform/Random.h"

#include <QRandomGenerator>

namespace platform {

std::optional<QByteArray> SystemRandom::bytes(qsizetype count) {
    QByteArray buffer(count, '\0');
    QRandomGenerator::system()->generate(buffer.begin(), buffer.end());
    return buffer;
}

}  // namespace platform
