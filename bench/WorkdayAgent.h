#pragma once

#include <QDateTime>
#include <QString>
#include <functional>
#include <optional>
#include <queue>
#include <vector>

#include "WorkdaySlack.h"
#include "slack/TokenLimits.h"
#include "sync/StepDecision.h"

// Virtual time for the workday simulation: things to do at given milliseconds into the day,
// done in order; nothing sleeps.
class EventQueue {
  public:
    qint64 now() const { return now_; }
    void at(qint64 when, std::function<void()> what);
    void after(qint64 ms, std::function<void()> what) { at(now_ + ms, std::move(what)); }
    // Does everything due up to `end`, and what that asks for in turn.
    void runUntil(qint64 end);
    // The wall-clock time `ms` into the simulated day.
    static QDateTime dateAt(qint64 ms);
    static qint64 msAt(const QDateTime& date);

  private:
    struct Event {
        qint64 when;
        quint64 order;
        std::function<void()> what;
        bool operator>(const Event& other) const {
            return when != other.when ? when > other.when : order > other.order;
        }
    };
    std::priority_queue<Event, std::vector<Event>, std::greater<>> events_;
    qint64 now_ = 0;
    quint64 order_ = 0;
};

// What the player tells the agent: a music track (its status text and, when the player tells,
// its end at normal speed), or nothing playing.
struct PlayerReading {
    bool playing = false;
    QString text;
    std::optional<qint64> endsAt;  // ms into the day
};

// What every simulated agent shares: the time, Slack, and the program's limit rules.
struct AgentWorld {
    EventQueue& events;
    WorkdaySlack& slack;
    TokenLimits& limits;
    std::function<qint64()> latency;       // a reply's time, in ms
    std::function<qint64()> launchSpread;  // when, after the launch, :spotify: is looked for
    std::function<qint64()> waitSpread;    // a step's draw of StepFacts::waitSpreadMs
};

// One user's copy of the program in the simulation: the engine's steps (every SYNC_SECONDS,
// and shortly after the player changes, at least two seconds apart), each carrying out the
// real `decideStep` decisions with Slack's limits kept by the real TokenLimits, and the clear
// at quit.
class WorkdayAgent {
  public:
    WorkdayAgent(int user, AgentWorld world, std::function<PlayerReading()> player);

    void launch();
    void playerChanged();
    void quit();
    // The expiry of the last status change the agent sent, in ms (0: none yet).
    qint64 lastSentExpiry() const { return lastSentExpiry_; }

  private:
    QString token() const { return QString::number(user_); }
    void timerStep();
    void askStep();
    void startStep();
    void decide();
    void write(const QDateTime& expires, bool clearing);
    void finish(bool done);
    void failed();
    void wakeAt(const QDateTime& when);
    EmojiLook emojiLook() const;
    void askForEmoji();
    void send(const QString& method, std::function<void(const WorkdaySlack::Reply&)> then,
              const WorkdaySlack::Status& status = {});
    void clearAtQuit();

    int user_;
    AgentWorld world_;
    std::function<PlayerReading()> player_;
    SlackView view_;
    QString ownText_;  // the settings' lastSetText
    StepFacts facts_;
    bool running_ = false;
    bool pending_ = false;
    bool stopped_ = true;
    bool settling_ = false;
    qint64 lastSignalStep_ = -1'000'000;
    quint64 wake_ = 0;  // the wake-up in force
    qint64 emojiDue_ = 0;
    bool emojiAsked_ = false;
    qint64 lastSentExpiry_ = 0;
};
