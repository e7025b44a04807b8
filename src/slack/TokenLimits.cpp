#include "slack/TokenLimits.h"

#include <algorithm>

namespace {

// How long to wait after a refusal for rate that names no time.
constexpr qint64 DEFAULT_RETRY_SECONDS = 60;
const QString RATE_LIMITED = QStringLiteral("ratelimited");

bool withinMinute(const QDateTime& sent, const QDateTime& now) {
    return sent.secsTo(now) < 60;
}

}  // namespace

const QString TokenLimits::WRITE_METHOD = QStringLiteral("users.profile.set");
const QString TokenLimits::READ_METHOD = QStringLiteral("users.profile.get");

std::optional<QString> TokenLimits::heldBack(const QString& token, const QString& method,
                                             const QDateTime& now) {
    TokenState& state = tokens_[token];
    if (!state.rejected.isEmpty()) return state.rejected;
    if (waitFor(token, method, now)) return RATE_LIMITED;
    if (method != WRITE_METHOD) return std::nullopt;
    state.writes.removeIf([&](const QDateTime& sent) { return !withinMinute(sent, now); });
    if (state.writes.size() >= PROFILE_WRITES_PER_MINUTE) return RATE_LIMITED;
    state.writes.append(now);
    return std::nullopt;
}

bool TokenLimits::learn(const QString& token, const QString& method, bool rateLimited,
                        std::optional<qint64> retryAfter, const QString& rejection,
                        const QDateTime& now) {
    TokenState& state = tokens_[token];
    if (rateLimited) {
        state.waitUntil[method] = now.addSecs(retryAfter.value_or(DEFAULT_RETRY_SECONDS));
        return false;
    }
    if (rejection.isEmpty() || !state.rejected.isEmpty()) return false;
    state.rejected = rejection;
    return true;
}

std::optional<QDateTime> TokenLimits::waitFor(const QString& token, const QString& method,
                                              const QDateTime& now) const {
    const auto found = tokens_.constFind(token);
    if (found == tokens_.cend()) return std::nullopt;
    const QDateTime until = found->waitUntil.value(method);
    if (!until.isValid() || until <= now) return std::nullopt;
    return until;
}

std::optional<QDateTime> TokenLimits::nextWriteSlot(const QString& token,
                                                    const QDateTime& now) const {
    std::optional<QDateTime> slot = waitFor(token, WRITE_METHOD, now);
    const auto found = tokens_.constFind(token);
    if (found == tokens_.cend()) return slot;
    QList<QDateTime> recent = found->writes;
    recent.removeIf([&](const QDateTime& sent) { return !withinMinute(sent, now); });
    if (recent.size() < PROFILE_WRITES_PER_MINUTE) return slot;
    const QDateTime budget = recent.first().addSecs(60);
    return slot ? std::max(*slot, budget) : budget;
}

std::optional<QDateTime> TokenLimits::nextReadSlot(const QString& token,
                                                   const QDateTime& now) const {
    return waitFor(token, READ_METHOD, now);
}

std::optional<QDateTime> TokenLimits::waitingUntil(const QString& token,
                                                   const QDateTime& now) const {
    const auto found = tokens_.constFind(token);
    if (found == tokens_.cend()) return std::nullopt;
    std::optional<QDateTime> latest;
    for (const QDateTime& until : found->waitUntil) {
        if (until > now && (!latest || until > *latest)) latest = until;
    }
    return latest;
}
