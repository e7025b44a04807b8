#include "Workday.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <cstdio>
#include <limits>
#include <memory>
#include <vector>

#include "Figures.h"

namespace {

constexpr qint64 MINUTE_MS = 60'000;
// The run goes on past the last leaving, so what the program left on Slack expires.
constexpr qint64 AFTER_LEAVING_MS = 10 * MINUTE_MS;
constexpr double CHANGE_P95_TARGET_S = 5;
constexpr double CALLS_PER_LISTENING_MINUTE_TARGET = 0.8;
constexpr double MUSIC_BACK_P95_TARGET_S = 120;
constexpr int HOLDS_TARGET = 200;
const int SIZES[] = {100, 200, 400, 800};

// Slack, the limits, and the random sources of one simulated run.
struct Run {
    explicit Run(quint32 seed) : random(seed) {}
    QRandomGenerator random;
    EventQueue events;
    WorkdaySlack slack;
    TokenLimits limits;
    WorkdayRecord record;
    std::vector<std::unique_ptr<WorkdayListener>> listeners;

    AgentWorld world() {
        return {events,
                slack,
                limits,
                [this] { return qint64(100 + random.bounded(701)); },
                [this] { return qint64(random.bounded(10 * 60'000)); },
                [this] { return qint64(random.bounded(WAIT_SPREAD_MS)); }};
    }
    void watchSlack() {
        slack.programSet = [this](int user, const WorkdaySlack::Status& status, qint64 at) {
            record.shown(user, status.text, at);
        };
    }
    WorkdayOutcome outcome() {
        for (const auto& listener : listeners) listener->endOfRun();
        WorkdayOutcome day{record,
                           slack.calls(),
                           slack.refused(),
                           slack.byMethod(),
                           slack.refusedByMethod(),
                           slack.overwritten(),
                           slack.raced(),
                           {},
                           0};
        qint64 first = std::numeric_limits<qint64>::max(), last = 0;
        for (const QString& method : slack.byMethod().keys()) {
            day.busiestMinute[method] = slack.busiestMinute(method);
            first = std::min(first, slack.received(method).constFirst());
            last = std::max(last, slack.received(method).constLast());
        }
        day.dayMinutes = double(std::max<qint64>(last - first, MINUTE_MS)) / MINUTE_MS;
        return day;
    }
};

QString seconds(double ms) {
    return qIsInf(ms) ? QStringLiteral("never") : QString::number(ms / 1000, 'f', 1) + " s";
}

QString methods(const QMap<QString, qint64>& byMethod) {
    QStringList parts;
    for (auto it = byMethod.cbegin(); it != byMethod.cend(); ++it)
        parts += QStringLiteral("%1 %2").arg(it.key()).arg(it.value());
    return parts.join(QStringLiteral(", "));
}

struct Options {
    int listeners = 0;
    int hours = 8;
    quint32 seed = 0;
};

// Times in ms: their median and 95th percentile, which is to be at most `targetSeconds`.
void printTimes(FigureLines& lines, const QString& figure, const QList<double>& times,
                const QString& what, double targetSeconds) {
    const double p95 = percentile(times, 0.95);
    lines.line(figure,
               QStringLiteral("median %1, p95 %2 (%3 %4)")
                   .arg(seconds(percentile(times, 0.5)), seconds(p95))
                   .arg(times.size())
                   .arg(what),
               QStringLiteral("p95 ≤ %1 s").arg(targetSeconds),
               !times.isEmpty() && p95 <= targetSeconds * 1000);
}

void printDay(FigureLines& lines, const Options& options, const WorkdayOutcome& day) {
    const WorkdayRecord& record = day.record;
    lines.line(QStringLiteral("calls refused"),
               QStringLiteral("%1%2 of %3 (%4)")
                   .arg(day.refused)
                   .arg(day.refused == 0 ? QString() : " (" + methods(day.refusedByMethod) + ")",
                        QString::number(day.calls), methods(day.byMethod)),
               QStringLiteral("0"), day.refused == 0);
    printTimes(lines, QStringLiteral("change → Slack (simulated time)"), record.changeMs,
               QStringLiteral("changes"), CHANGE_P95_TARGET_S);
    const double listeningMinutes = double(record.listeningMs) / MINUTE_MS;
    const double perMinute = double(day.calls) / std::max(listeningMinutes, 1.0);
    lines.line(QStringLiteral("Slack calls per listening minute"),
               QStringLiteral("%1 (%2 listening minutes, %3 a listener)")
                   .arg(perMinute, 0, 'f', 2)
                   .arg(listeningMinutes, 0, 'f', 0)
                   .arg(listeningMinutes / options.listeners, 0, 'f', 0),
               QStringLiteral("≤ %1").arg(CALLS_PER_LISTENING_MINUTE_TARGET),
               perMinute <= CALLS_PER_LISTENING_MINUTE_TARGET);
    lines.line(QStringLiteral("the user's own status overwritten"),
               QStringLiteral("%1 (and %2 set between a read and the change it preceded)")
                   .arg(day.overwritten)
                   .arg(day.raced),
               QStringLiteral("0"), day.overwritten == 0);
    printTimes(lines, QStringLiteral("music back after the user's own"), record.musicBackMs,
               QStringLiteral("times"), MUSIC_BACK_P95_TARGET_S);
    lines.line(
        QStringLiteral("status left past its expiry"),
        QStringLiteral("%1 of %2 stops of the music").arg(record.leftShowing).arg(record.stops),
        QStringLiteral("0"), record.leftShowing == 0);
}

// The largest of SIZES whose day refused nothing, with each size's refusals.
void printLargest(FigureLines& lines, const Options& options, const WorkdayOutcome& day) {
    int largest = 0;
    QStringList refusals;
    for (const int size : SIZES) {
        const qint64 refused = size == options.listeners
                                   ? day.refused
                                   : simulateWorkday(size, options.hours, options.seed).refused;
        refusals += QStringLiteral("%1: %2").arg(size).arg(refused);
        if (refused == 0) largest = size;
    }
    lines.line(QStringLiteral("largest N with nothing refused"),
               QStringLiteral("%1 (refused at %2)").arg(largest).arg(refusals.join(", ")),
               QStringLiteral("≥ %1").arg(HOLDS_TARGET), largest >= HOLDS_TARGET);
}

// What the listeners ask of Slack with the app's limits lifted: each method's busiest minute
// beside the app's limit, and the day's average a minute.
void printDemand(FigureLines& lines, const WorkdayOutcome& day) {
    for (auto it = day.byMethod.cbegin(); it != day.byMethod.cend(); ++it) {
        lines.note(it.key(), QStringLiteral("busiest minute %1 (the app's limit %2), the day's "
                                            "average %3 a minute over %4 minutes")
                                 .arg(day.busiestMinute.value(it.key()))
                                 .arg(WorkdaySlack::appLimit(it.key()))
                                 .arg(double(it.value()) / day.dayMinutes, 0, 'f', 1)
                                 .arg(day.dayMinutes, 0, 'f', 0));
    }
}

}  // namespace

WorkdayOutcome simulateWorkday(int listeners, int hours, quint32 seed, bool appLimits) {
    Run run(seed);
    run.watchSlack();
    if (!appLimits) run.slack.liftAppLimits();
    qint64 end = 0;
    for (int user = 0; user < listeners; ++user) {
        const DayPlan plan = planDay(run.random, hours);
        end = std::max(end, plan.leave + AFTER_LEAVING_MS);
        auto tracks = std::make_shared<QRandomGenerator>(run.random.generate());
        run.listeners.push_back(std::make_unique<WorkdayListener>(
            user, plan, run.world(), run.record, [tracks] { return drawTrack(*tracks); }, true));
        run.listeners.back()->schedule();
    }
    run.events.runUntil(end);
    return run.outcome();
}

double simulateTeam(int users, std::chrono::milliseconds startGap, int minutes, quint32 seed) {
    Run run(seed);
    const qint64 gap = startGap.count(), step = 15'000;
    const qint64 windowStart = gap * (users - 1) + MINUTE_MS - 1000;
    const qint64 windowEnd = windowStart + minutes * MINUTE_MS;
    qint64 measured = 0;
    run.slack.programSet = [](int, const WorkdaySlack::Status&, qint64) {};
    for (int user = 0; user < users; ++user) {
        DayPlan plan{gap * user, windowEnd + MINUTE_MS, {}};
        // The first track plays until the first change, a minute after the start at the user's
        // own point of the step; every later one a minute.
        auto first = std::make_shared<qint64>(MINUTE_MS + step * user / users);
        auto tracks = [first] {
            const qint64 plays = std::exchange(*first, MINUTE_MS);
            return Track{plays, plays};
        };
        run.listeners.push_back(
            std::make_unique<WorkdayListener>(user, plan, run.world(), run.record, tracks, false));
        run.listeners.back()->schedule();
    }
    run.events.runUntil(windowStart);
    measured -= run.slack.calls();
    run.events.runUntil(windowEnd);
    measured += run.slack.calls();
    return double(measured) / (users * minutes);
}

int workdayBench(const QStringList& arguments) {
    const auto value = [&](const char* name, qint64 fallback) {
        const qsizetype at = arguments.indexOf(name);
        return at > 0 ? arguments.value(at + 1).toLongLong() : fallback;
    };
    Options options;
    options.listeners = int(value("--workday", 0));
    options.hours = int(value("--hours", 8));
    options.seed = quint32(value("--seed", QRandomGenerator::global()->bounded(1'000'000)));
    if (options.listeners < 1 || options.hours < 1 || options.hours > 12) {
        std::fprintf(stderr, "bench: --workday needs a number of listeners, --hours 1 to 12\n");
        return 2;
    }
    std::printf(
        "workday: %d listeners in one workspace, a day of %d working hours, seed %u "
        "(--seed %u repeats it)\n",
        options.listeners, options.hours, options.seed, options.seed);
    QElapsedTimer took;
    took.start();
    const bool demand = arguments.contains("--demand");
    const WorkdayOutcome day =
        simulateWorkday(options.listeners, options.hours, options.seed, !demand);
    FigureLines lines;
    lines.note(QStringLiteral("simulated in"),
               QStringLiteral("%1 s of real time").arg(double(took.elapsed()) / 1000, 0, 'f', 1));
    if (demand) {
        printDemand(lines, day);
        return 0;
    }
    printDay(lines, options, day);
    printLargest(lines, options, day);
    return lines.allPass() ? 0 : 1;
}
