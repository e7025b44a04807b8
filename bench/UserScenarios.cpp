#include "UserScenarios.h"

#include <QTest>
#include <algorithm>
#include <cstdio>

#include "FakeSlack.h"
#include "Figures.h"
#include "SlackRecord.h"
#include "UserCopy.h"

namespace {

using namespace std::chrono_literals;

constexpr auto STEADY_RUN = 5min;
constexpr auto STEADY_STRETCH = 2min;
constexpr int STEADY_CALLS_TARGET = 4;
constexpr auto SKIP_EVERY = 2s;
constexpr int SKIPS = 30;
constexpr auto SKIP_SETTLE = 5s;
constexpr auto LAST_SKIP_TARGET = 65s;
constexpr auto LAST_SKIP_WAIT = 75s;

int msecs(std::chrono::milliseconds duration) {
    return int(duration.count());
}

// One user signed in to a workspace that has :spotify:, with no status of its own.
class SingleUser {
  public:
    SingleUser() : copy_(1, slack_.url(), vendor_.url()) {
        slack_.shows(QString());
        slack_.keepStatuses();
        slack_.script("users.profile.set", R"({"ok":true})");
        slack_.script("emoji.list",
                      R"({"ok":true,"emoji":{"spotify":"https://emoji.example/s.png"}})");
    }

    // Starts the copy and waits for its first status; false when none comes.
    bool start() {
        if (!copy_.prepare(QStringLiteral(TRACKGLINT_PROGRAM))) return false;
        copy_.start();
        if (QTest::qWaitFor([this] { return !sets().isEmpty(); }, 30'000)) return true;
        std::fprintf(stderr, "bench: the agent set no status\n");
        return false;
    }
    // Everything Slack has received from the copy, then stops it.
    SlackRequests stop() {
        const SlackRequests requests = slack_.requests();
        copy_.quit();
        copy_.waitForExit();
        return requests;
    }
    SlackRequests sets() const { return slack_.requests(QStringLiteral("users.profile.set")); }
    UserCopy& copy() { return copy_; }

  private:
    FakeSlack slack_;
    FakeSlack vendor_;
    UserCopy copy_;
};

}  // namespace

int steadyTrack() {
    SingleUser user;
    if (!user.start()) return 2;
    QTest::qWait(msecs(STEADY_RUN));
    const SlackRequests requests = user.stop();
    const int busiest = busiestStretch(requests, STEADY_STRETCH);
    FigureLines lines;
    lines.line(QStringLiteral("steady track: calls in any 2 min"),
               QStringLiteral("at most %1 (over 5 min from launch: %2; %3 refused)")
                   .arg(busiest)
                   .arg(countsByMethod(requests))
                   .arg(refusedIn(requests)),
               QStringLiteral("≤ %1").arg(STEADY_CALLS_TARGET),
               busiest <= STEADY_CALLS_TARGET && refusedIn(requests) == 0);
    QStringList times;
    for (const FakeSlack::Request& request : requests) {
        times += QString::number(milliseconds(request.received - user.copy().startedAt()) / 1000,
                                 'f', 1);
    }
    lines.note(QStringLiteral("steady track: calls at (s)"), times.join(QStringLiteral(", ")));
    return lines.allPass() ? 0 : 1;
}

int fastSkipping() {
    SingleUser user;
    if (!user.start()) return 2;
    QTest::qWait(msecs(SKIP_SETTLE));
    const SteadyClock::time_point firstSkip = SteadyClock::now();
    QString last;
    SteadyClock::time_point lastSkip;
    for (int skip = 1; skip <= SKIPS; ++skip) {
        const SteadyClock::duration wait = firstSkip + (skip - 1) * SKIP_EVERY - SteadyClock::now();
        QTest::qWait(std::max(0, int(milliseconds(wait))));
        last = QStringLiteral("Skip %1").arg(skip);
        lastSkip = SteadyClock::now();
        user.copy().play(last);
    }
    const QString lastText = UserCopy::statusText(last);
    const QByteArray token = user.copy().token();
    (void)QTest::qWaitFor(
        [&] { return setArrival(user.sets(), token, lastText, lastSkip).has_value(); },
        msecs(LAST_SKIP_WAIT));
    const SlackRequests requests = user.stop();
    const auto shown = setArrival(requests, token, lastText, lastSkip);
    const SlackRequests skipping = receivedBetween(requests, firstSkip, SteadyClock::now());

    FigureLines lines;
    lines.line(QStringLiteral("skipping: calls refused"),
               QStringLiteral("%1 (%2 skips 2 s apart: %3)")
                   .arg(refusedIn(requests))
                   .arg(SKIPS)
                   .arg(countsByMethod(skipping)),
               QStringLiteral("0"), refusedIn(requests) == 0);
    const double shownMs = shown ? milliseconds(*shown - lastSkip) : qInf();
    lines.line(QStringLiteral("skipping: last skip → on Slack"),
               QStringLiteral("%1 s").arg(shownMs / 1000, 0, 'f', 1),
               QStringLiteral("≤ %1 s").arg(LAST_SKIP_TARGET.count()),
               shownMs <= msecs(LAST_SKIP_TARGET));
    return lines.allPass() ? 0 : 1;
}
