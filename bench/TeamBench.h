#pragma once

#include <QList>
#include <QString>
#include <chrono>
#include <memory>
#include <vector>

#include "FakeSlack.h"
#include "Figures.h"
#include "SlackRecord.h"
#include "UserCopy.h"

// A team in one workspace (or two): `users` copies of the agent, each its own user with its own
// token, home, session bus and player, all against one stand-in Slack that keeps Slack's limits.
// They start `startGap` apart, as a team logging in at nine does; each user's track changes once a
// minute from a minute after its start, each at its own point of the agent's 15-second timer
// step. Measured over `minutes` from a minute after the last start, so every user changes
// track `minutes` times in the measured stretch.
struct TeamPlan {
    int users = 30;
    std::chrono::milliseconds startGap{2000};
    int minutes = 4;
    // Whether every copy starts for the first time; otherwise each ran the day before and
    // remembers what it learnt of the workspace then.
    bool firstDay = false;
    // How many workspaces every user is signed in to (1 or 2), each with Slack's limits of its
    // own; the figures are given for each.
    int workspaces = 1;
};

class TeamBench {
  public:
    explicit TeamBench(const TeamPlan& plan);
    ~TeamBench();

    // Runs the team to the end of the measured stretch; false when a copy could not be made.
    bool run();
    // Prints the figures; returns whether all of them meet their targets.
    bool printFigures() const;

  private:
    // Something the bench does to one user's copy at a time from the first start: starting
    // it (change 0) or changing its track.
    struct Event {
        SteadyClock::duration at;
        int user = 0;
        int change = 0;
    };
    // A track change the bench made, and when.
    struct Change {
        int user = 0;
        QString text;
        SteadyClock::time_point made;
    };

    SteadyClock::duration firstChange(int user) const;
    QList<Event> schedule() const;
    void perform(const Event& event);
    void waitForLastChanges() const;
    void stopCopies();
    SlackRequests requestsIn(int workspace) const;
    QList<double> changeLatencies(int workspace, int& arrived) const;
    SlackRequests startUpRequests(int workspace) const;
    void printWorkspace(FigureLines& lines, int workspace) const;
    void printLatency(FigureLines& lines, int workspace, const QString& where) const;
    void printFirstSets(FigureLines& lines, int workspace, const QString& where) const;
    void printBusiestMinute(FigureLines& lines, int workspace, const QString& where) const;
    void printSimulated(FigureLines& lines) const;
    double callsPerListenerMinute(int workspace) const;

    TeamPlan plan_;
    SteadyClock::duration windowStart_;  // from the first start
    SteadyClock::duration windowEnd_;
    FakeSlack slack_;
    FakeSlack vendor_;
    std::vector<std::unique_ptr<UserCopy>> copies_;
    SteadyClock::time_point begun_;
    QList<Change> changes_;
    SlackRequests requests_;  // what Slack had received when the copies were stopped
};
