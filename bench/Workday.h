#pragma once

#include <QMap>
#include <QStringList>
#include <chrono>

#include "WorkdayListener.h"

// The workday bench (scripts/bench --workday N): N listeners in one Slack workspace through a
// simulated day, each user's copy of the program making the real step decisions under the real
// limit rules, against a model of Slack's limits, on a virtual clock: an 8-hour day takes
// seconds. Prints the day's figures, each with its target.

// What one simulated day came to.
struct WorkdayOutcome {
    WorkdayRecord record;
    qint64 calls = 0;
    qint64 refused = 0;
    QMap<QString, qint64> byMethod;
    QMap<QString, qint64> refusedByMethod;
    int overwritten = 0;
    int raced = 0;
    QMap<QString, int> busiestMinute;  // the most calls in any 60 seconds, by method
    double dayMinutes = 0;             // from the first call to the last
};

// N listeners through a day of `hours` working hours, drawn from `seed`; without `appLimits`,
// Slack keeps only the per-token limits, so the day shows what the listeners ask for.
WorkdayOutcome simulateWorkday(int listeners, int hours, quint32 seed, bool appLimits = true);

// The team bench's pattern (bench/TeamBench.h) simulated: `users` copies starting `startGap`
// apart, each changing track a minute after its start and every minute after, at its own
// point of the 15-second step, from a player that does not tell a track's length; Slack calls
// per listener-minute over `minutes` from a minute after the last start.
double simulateTeam(int users, std::chrono::milliseconds startGap, int minutes, quint32 seed);

// The bench's mode: `--workday N [--hours H] [--seed S] [--demand]`. Returns the exit status.
int workdayBench(const QStringList& arguments);
