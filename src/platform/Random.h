#pragma once

#include <QByteArray>
#include <optional>

namespace platform {

// The system's cryptographic random source.
class RandomSource {
  public:
    virtual ~RandomSource() = default;
    // `count` random bytes, or none when the source cannot supply them.
    virtual std::optional<QByteArray> bytes(qsizetype count) = 0;
};

class SystemRandom final : public RandomSource {
  public:
    std::optional<QByteArray> bytes(qsizetype count) override;
};

}  // namespace platform
