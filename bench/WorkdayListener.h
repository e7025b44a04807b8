#pragma once

#include <QHash>
#include <QList>
#include <QRandomGenerator>
#include <QString>
#include <functional>
#include <memory>

#include "WorkdayAgent.h"

// One user's day: when they come and go, and the stretches in it when the music pauses (lunch,
// a meeting) or their own status, set by hand, shows while the music plays on.
struct DayPlan {
    qint64 arrive = 0;  // ms into the day
    qint64 leave = 0;
    struct Stretch {
        qint64 from = 0;
        qint64 to = 0;
        bool ownStatus = false;  // else the music pauses
    };
    QList<Stretch> stretches;  // in order, apart
};

// A day drawn from `random`: arriving between 8:30 and 9:30, leaving between 9:00 and 10:30
// plus `hours`, lunch at noon or later for 30 to 60 minutes, three meetings of 30 to 90
// minutes, each paused or under the user's own status.
DayPlan planDay(QRandomGenerator& random, int hours);

// A track: how long the player says it is, and how long it plays before the next comes.
struct Track {
    qint64 lengthMs = 0;
    qint64 playsMs = 0;
};
// A song of 2 to 7 minutes (median 3.5), skipped after 10 to 60 s one time in six.
Track drawTrack(QRandomGenerator& random);

// What the day's figures are made of, as the listeners and Slack report it.
struct WorkdayRecord {
    QList<double> changeMs;     // from a change of music to Slack's showing it
    QList<double> musicBackMs;  // from the user's clearing their status to the music's return
    qint64 listeningMs = 0;
    int stops = 0;
    int leftShowing = 0;  // the program's status still showing a status's life after a stop

    // Slack showed the program's `text` for `user` at `at`.
    void shown(int user, const QString& text, qint64 at);
    // The music showing for `user` became `text` at `at`; `measured`: the change counts.
    void changed(int user, const QString& text, qint64 at, bool measured);
    void ownStatusCleared(int user, const QString& text, qint64 at);
    // The music stopped, or the user's own status came: nothing of `user` is awaited.
    void awaitNothing(int user);

  private:
    struct Awaited {
        QString text;
        qint64 since = 0;
    };
    QHash<int, Awaited> change_;
    QHash<int, Awaited> back_;
};

// A simulated user: the player as the day plan and the tracks drive it, their own status set
// and cleared by hand, and their copy of the program, launched on arrival and quit on leaving.
class WorkdayListener {
  public:
    WorkdayListener(int user, const DayPlan& plan, const AgentWorld& world, WorkdayRecord& record,
                    std::function<Track()> tracks, bool playerTellsEnd);

    // Puts the day's arrival, stretches and leaving in the queue.
    void schedule();
    // Adds the music playing now to the listening time.
    void endOfRun();

  private:
    PlayerReading reading() const;
    void arrive();
    void leave();
    void nextTrack();
    void playOn();
    void play(qint64 endsIn, qint64 nextIn);
    void pause();
    void setOwnStatus(bool set);
    void stopped();

    int user_;
    DayPlan plan_;
    AgentWorld world_;
    WorkdayRecord& record_;
    std::function<Track()> tracks_;
    bool playerTellsEnd_;
    std::unique_ptr<WorkdayAgent> agent_;
    int track_ = 0;
    bool atWork_ = false;
    bool playing_ = false;
    bool ownStatus_ = false;
    qint64 endsIn_ = 0;  // while paused: what the track has left, and before the next
    qint64 nextIn_ = 0;
    qint64 endsAt_ = 0;  // while playing: when the track ends, and when the next comes
    qint64 nextAt_ = 0;
    qint64 playingSince_ = 0;
    quint64 version_ = 0;  // of the player's schedule: a change makes the older one void
};
