#include "WorkdaySlack.h"

#include <algorithm>

namespace {

constexpr qint64 MINUTE_MS = 60'000;
constexpr int SETS_PER_TOKEN = 10;
const QHash<QString, int> PER_APP = {{QStringLiteral("users.profile.set"), 50},
                                     {QStringLiteral("users.profile.get"), 100},
                                     {QStringLiteral("emoji.list"), 20}};

// Forgets the calls out of the minute before `at`; the time the oldest left leaves it, when
// `limit` calls are in it.
std::optional<qint64> fullUntil(std::deque<qint64>& window, int limit, qint64 at) {
    while (!window.empty() && window.front() <= at - MINUTE_MS) window.pop_front();
    if (int(window.size()) < limit) return std::nullopt;
    return window.front() + MINUTE_MS;
}

}  // namespace

const QString WorkdaySlack::SET = QStringLiteral("users.profile.set");
const QString WorkdaySlack::GET = QStringLiteral("users.profile.get");
const QString WorkdaySlack::EMOJI = QStringLiteral("emoji.list");

int WorkdaySlack::appLimit(const QString& method) {
    return PER_APP.value(method);
}

// The seconds until the call fits every window it counts in; none when it fits now.
std::optional<qint64> WorkdaySlack::retryAfter(int user, const QString& method, qint64 at) {
    std::optional<qint64> fits;
    if (appLimits_) fits = fullUntil(ofApp_[method], appLimit(method), at);
    if (method == SET) {
        if (const auto own = fullUntil(setsOf_[user], SETS_PER_TOKEN, at))
            fits = std::max(fits.value_or(0), *own);
    }
    if (!fits) return std::nullopt;
    return (*fits - at + 999) / 1000;
}

WorkdaySlack::Reply WorkdaySlack::call(int user, const QString& method, qint64 at,
                                       const Status& status) {
    ++calls_;
    ++byMethod_[method];
    received_[method].append(at);
    if (const auto wait = retryAfter(user, method, at)) {
        ++refused_;
        ++refusedByMethod_[method];
        return {false, true, *wait, {}};
    }
    ofApp_[method].push_back(at);
    if (method == GET) {
        lastRead_[user] = at;
        return {true, false, std::nullopt, showing(user, at).text};
    }
    if (method == SET) {
        setsOf_[user].push_back(at);
        apply(user, status, at);
    }
    return {};
}

void WorkdaySlack::apply(int user, const Status& status, qint64 at) {
    const Status before = showing(user, at);
    if (before.byHand && !before.text.isEmpty()) {
        if (before.setAt > lastRead_.value(user, -1)) {
            ++raced_;
        } else {
            ++overwritten_;
        }
    }
    statuses_[user] = Status{status.text, status.text.isEmpty() ? 0 : status.expires, false, at};
    if (!status.text.isEmpty() && programSet) programSet(user, statuses_[user], at);
}

void WorkdaySlack::setByHand(int user, const QString& text, qint64 at) {
    statuses_[user] = Status{text, 0, !text.isEmpty(), at};
}

WorkdaySlack::Status WorkdaySlack::showing(int user, qint64 at) const {
    const Status status = statuses_.value(user);
    if (status.expires != 0 && status.expires <= at) return {};
    return status;
}

int WorkdaySlack::busiestMinute(const QString& method) const {
    const QList<qint64> times = received_.value(method);
    int most = 0;
    qsizetype first = 0;
    for (qsizetype last = 0; last < times.size(); ++last) {
        while (times[first] <= times[last] - MINUTE_MS) ++first;
        most = std::max(most, int(last - first + 1));
    }
    return most;
}
