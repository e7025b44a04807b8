#include "TeamBench.h"

#include <QRandomGenerator>
#include <QTest>
#include <algorithm>
#include <cmath>

#include "Workday.h"
#include "state/Constants.h"

namespace {

using namespace std::chrono_literals;

constexpr auto TRACK_LENGTH = 60s;
// The agent's timer step; each user's changes fall at their own point of it, so that some
// users' changes come just before a timer step and others just after one.
constexpr std::chrono::milliseconds TIMER_STEP{qint64(SYNC_SECONDS * 1000)};
// How long after the measured stretch the last changes are given to reach Slack.
constexpr auto LAST_CHANGES_WAIT = 15s;
constexpr double LATENCY_P95_TARGET_MS = 3000;
constexpr double CALLS_PER_LISTENER_MINUTE_TARGET = 2.2;
// How far the simulated team may be from the real one, in calls per listener-minute.
constexpr double SIMULATION_AGREEMENT = 0.10;
const QString WORKSPACE_NAMES[] = {QStringLiteral("acme"), QStringLiteral("builders")};

void waitUntil(SteadyClock::time_point when) {
    while (SteadyClock::now() < when) {
        QTest::qWait(int(std::max<qint64>(1, qint64(milliseconds(when - SteadyClock::now())))));
    }
}

QString trackTitle(int user, int change) {
    return QStringLiteral("Track u%1-%2").arg(user).arg(change);
}

}  // namespace

TeamBench::TeamBench(const TeamPlan& plan)
    : plan_(plan),
      windowStart_(plan.startGap * (plan.users - 1) + TRACK_LENGTH - 1s),
      windowEnd_(windowStart_ + plan.minutes * TRACK_LENGTH) {}

TeamBench::~TeamBench() {
    stopCopies();
}

// When the user's first track change comes, from the first start: a minute after its own
// start, at its own point of the agent's timer step.
SteadyClock::duration TeamBench::firstChange(int user) const {
    return plan_.startGap * user + TRACK_LENGTH + TIMER_STEP * user / plan_.users;
}

QList<TeamBench::Event> TeamBench::schedule() const {
    QList<Event> events;
    for (int user = 0; user < plan_.users; ++user) {
        events += Event{plan_.startGap * user, user, 0};
        const SteadyClock::duration first = firstChange(user);
        for (int change = 1; first + (change - 1) * TRACK_LENGTH < windowEnd_; ++change) {
            events += Event{first + (change - 1) * TRACK_LENGTH, user, change};
        }
    }
    std::sort(events.begin(), events.end(),
              [](const Event& a, const Event& b) { return a.at < b.at; });
    return events;
}

bool TeamBench::run() {
    for (int user = 0; user < plan_.users; ++user) {
        copies_.push_back(std::make_unique<UserCopy>(user, slack_.url(), vendor_.url()));
        UserCopy& copy = *copies_.back();
        if (!copy.prepare(QStringLiteral(TRACKGLINT_PROGRAM), !plan_.firstDay, plan_.workspaces))
            return false;
        for (int workspace = 0; workspace < plan_.workspaces; ++workspace)
            slack_.assignWorkspace(copy.tokenIn(workspace), WORKSPACE_NAMES[workspace]);
    }
    // The workspace has :spotify:, so no copy checks again after its launch.
    slack_.shows(QString());
    slack_.keepStatuses();
    slack_.script("users.profile.set", R"({"ok":true})");
    slack_.script("emoji.list", R"({"ok":true,"emoji":{"spotify":"https://emoji.example/s.png"}})");
    begun_ = SteadyClock::now();
    for (const Event& event : schedule()) {
        waitUntil(begun_ + event.at);
        perform(event);
    }
    waitUntil(begun_ + windowEnd_);
    waitForLastChanges();
    requests_ = slack_.requests();
    stopCopies();
    return true;
}

void TeamBench::perform(const Event& event) {
    UserCopy& copy = *copies_[size_t(event.user)];
    if (event.change == 0) return copy.start();
    const QString title = trackTitle(event.user, event.change);
    changes_ += Change{event.user, UserCopy::statusText(title), SteadyClock::now()};
    copy.play(title);
}

void TeamBench::waitForLastChanges() const {
    const auto allArrived = [this] {
        const SlackRequests requests = slack_.requests();
        return std::all_of(changes_.cbegin(), changes_.cend(), [&](const Change& change) {
            for (int workspace = 0; workspace < plan_.workspaces; ++workspace) {
                const QByteArray token = copies_[size_t(change.user)]->tokenIn(workspace);
                if (!setArrival(requests, token, change.text, change.made)) return false;
            }
            return true;
        });
    };
    (void)QTest::qWaitFor(allArrived, int(std::chrono::milliseconds(LAST_CHANGES_WAIT).count()));
}

void TeamBench::stopCopies() {
    for (const auto& copy : copies_) copy->quit();
    for (const auto& copy : copies_) copy->waitForExit();
}

// Every request made in the workspace of that number.
SlackRequests TeamBench::requestsIn(int workspace) const {
    SlackRequests in;
    for (const auto& copy : copies_) in += withToken(requests_, copy->tokenIn(workspace));
    std::sort(in.begin(), in.end(), [](const FakeSlack::Request& a, const FakeSlack::Request& b) {
        return a.received < b.received;
    });
    return in;
}

// The time from each change in the measured stretch to the workspace's having the status; a
// change that never arrived counts as taking forever.
QList<double> TeamBench::changeLatencies(int workspace, int& arrived) const {
    QList<double> latencies;
    arrived = 0;
    for (const Change& change : changes_) {
        if (change.made < begun_ + windowStart_) continue;
        const QByteArray token = copies_[size_t(change.user)]->tokenIn(workspace);
        const auto arrival = setArrival(requests_, token, change.text, change.made);
        latencies += arrival ? milliseconds(*arrival - change.made) : qInf();
        if (arrival) ++arrived;
    }
    return latencies;
}

// Each user's calls in the workspace before its first track change: its launch.
SlackRequests TeamBench::startUpRequests(int workspace) const {
    SlackRequests startUp;
    for (int user = 0; user < plan_.users; ++user) {
        const UserCopy& copy = *copies_[size_t(user)];
        startUp += receivedBetween(withToken(requests_, copy.tokenIn(workspace)), begun_,
                                   begun_ + firstChange(user));
    }
    return startUp;
}

bool TeamBench::printFigures() const {
    FigureLines lines;
    lines.note(QStringLiteral("team"),
               QStringLiteral("%1 users started %2 s apart, in %3 workspace(s); measured %4 min "
                              "from %5 s after the first start")
                   .arg(plan_.users)
                   .arg(double(plan_.startGap.count()) / 1000)
                   .arg(plan_.workspaces)
                   .arg(plan_.minutes)
                   .arg(qRound(milliseconds(windowStart_) / 1000)));
    for (int workspace = 0; workspace < plan_.workspaces; ++workspace)
        printWorkspace(lines, workspace);
    printSimulated(lines);
    return lines.allPass();
}

// The same team simulated (bench/Workday.h) beside the real copies' first workspace.
void TeamBench::printSimulated(FigureLines& lines) const {
    const quint32 seed = QRandomGenerator::global()->bounded(1'000'000);
    const double real = callsPerListenerMinute(0);
    const double simulated = simulateTeam(plan_.users, plan_.startGap, plan_.minutes, seed);
    const double apart = std::abs(simulated - real) / real;
    lines.line(QStringLiteral("simulated: calls per listener-min"),
               QStringLiteral("%1 simulated (seed %2), %3 real: %4 % apart")
                   .arg(simulated, 0, 'f', 2)
                   .arg(seed)
                   .arg(real, 0, 'f', 2)
                   .arg(apart * 100, 0, 'f', 1),
               QStringLiteral("≤ %1 %").arg(SIMULATION_AGREEMENT * 100),
               apart <= SIMULATION_AGREEMENT);
}

double TeamBench::callsPerListenerMinute(int workspace) const {
    const SlackRequests measured =
        receivedBetween(requestsIn(workspace), begun_ + windowStart_, begun_ + windowEnd_);
    return double(measured.size()) / (plan_.users * plan_.minutes);
}

// The figures of one workspace; with several, each line names it.
void TeamBench::printWorkspace(FigureLines& lines, int workspace) const {
    const QString where =
        plan_.workspaces > 1 ? WORKSPACE_NAMES[workspace] + QStringLiteral(": ") : QString();
    const SlackRequests all = requestsIn(workspace);
    const SlackRequests measured = receivedBetween(all, begun_ + windowStart_, begun_ + windowEnd_);
    const SlackRequests startUp = startUpRequests(workspace);
    const int refused = refusedIn(all);
    lines.line(where + QStringLiteral("calls refused"),
               QStringLiteral("%1 (start-ups %2, measured stretch %3)")
                   .arg(refused)
                   .arg(refusedIn(startUp))
                   .arg(refusedIn(measured)),
               QStringLiteral("0"), refused == 0);
    printLatency(lines, workspace, where);
    const double perListenerMinute = callsPerListenerMinute(workspace);
    lines.line(
        where + QStringLiteral("Slack calls per listener-minute"),
        QStringLiteral("%1 (%2)").arg(perListenerMinute, 0, 'f', 2).arg(countsByMethod(measured)),
        QStringLiteral("≤ %1").arg(CALLS_PER_LISTENER_MINUTE_TARGET),
        perListenerMinute <= CALLS_PER_LISTENER_MINUTE_TARGET);
    lines.note(where + QStringLiteral("start-up calls per user"),
               QStringLiteral("%1 (%2; not in the figure above)")
                   .arg(double(startUp.size()) / plan_.users, 0, 'f', 2)
                   .arg(countsByMethod(startUp)));
    printFirstSets(lines, workspace, where);
    printBusiestMinute(lines, workspace, where);
}

void TeamBench::printLatency(FigureLines& lines, int workspace, const QString& where) const {
    int arrived = 0;
    const QList<double> latencies = changeLatencies(workspace, arrived);
    const double p95 = percentile(latencies, 0.95);
    lines.line(where + QStringLiteral("change → Slack"),
               QStringLiteral("median %1 ms, p95 %2 ms (%3 of %4 arrived)")
                   .arg(percentile(latencies, 0.5), 0, 'f', 0)
                   .arg(p95, 0, 'f', 0)
                   .arg(arrived)
                   .arg(latencies.size()),
               QStringLiteral("p95 ≤ %1 ms").arg(LATENCY_P95_TARGET_MS),
               !latencies.isEmpty() && p95 <= LATENCY_P95_TARGET_MS);
}

// From each user's start until the workspace accepted its first status.
void TeamBench::printFirstSets(FigureLines& lines, int workspace, const QString& where) const {
    QList<double> firstSets;
    for (const auto& copy : copies_) {
        const SlackRequests sets = ofMethod(withToken(requests_, copy->tokenIn(workspace)),
                                            QStringLiteral("users.profile.set"));
        const auto first = std::find_if(sets.cbegin(), sets.cend(),
                                        [](const FakeSlack::Request& r) { return !r.refused; });
        firstSets +=
            first == sets.cend() ? qInf() : milliseconds(first->received - copy->startedAt());
    }
    lines.note(where + QStringLiteral("exec → first status set"),
               QStringLiteral("median %1 ms, slowest %2 ms")
                   .arg(percentile(firstSets, 0.5), 0, 'f', 0)
                   .arg(percentile(firstSets, 1.0), 0, 'f', 0));
}

// The most calls of each limited method in any minute of the run, beside the workspace's limit.
void TeamBench::printBusiestMinute(FigureLines& lines, int workspace, const QString& where) const {
    QStringList busiest;
    const FakeSlack::Limits limits;
    const SlackRequests all = requestsIn(workspace);
    for (auto limit = limits.perWorkspace.cbegin(); limit != limits.perWorkspace.cend(); ++limit) {
        busiest += QStringLiteral("%1 %2 of %3")
                       .arg(limit.key())
                       .arg(busiestStretch(ofMethod(all, limit.key()), TRACK_LENGTH))
                       .arg(limit.value());
    }
    busiest.sort();
    lines.note(where + QStringLiteral("busiest minute of the workspace"),
               busiest.join(QStringLiteral(", ")));
}
