#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include "FakeSpotify.h"
#include "Figures.h"
#include "PrivateBus.h"

// One user's copy of the agent, as it runs on that user's own desktop: a throwaway home whose
// settings hold the user's own token, the agent installed in its ~/Applications (so it is not
// offered the move), a session bus of its own with a stand-in Spotify on it, and no display
// (the offscreen platform: no tray, so the window opens at launch).
class UserCopy {
  public:
    // `slackUrl` is the stand-in Slack every copy talks to, `vendorUrl` the stand-in vendor web
    // service the update check asks.
    UserCopy(int user, QString slackUrl, QString vendorUrl);
    ~UserCopy();

    // Makes the home, installs `program` into it and starts the player with a first track.
    // `usedBefore`: the settings also hold what a run the day before learnt of the workspace
    // (that it has :spotify:). With `workspaces` 2, the user is signed in to a second workspace
    // too. False, with a message on stderr, when any of that fails.
    bool prepare(const QString& program, bool usedBefore = false, int workspaces = 1);
    // Starts the agent.
    void start();
    // Asks the agent to quit, as logging out does; `waitForExit` then waits for it. An agent
    // that has ended before is reported on stderr with what it wrote there.
    void quit();
    void waitForExit();

    // The player plays `title` by the bench's artist, and says so on the bus.
    void play(const QString& title);
    // The status the agent sets for `title`.
    static QString statusText(const QString& title);

    const QByteArray& token() const { return token_; }
    // The user's token in the workspace of that number: the first (0) or the second (1).
    QByteArray tokenIn(int workspace) const { return workspace == 0 ? token_ : token_ + "-b"; }
    SteadyClock::time_point startedAt() const { return startedAt_; }
    qint64 pid() const { return agent_.processId(); }

  private:
    QProcessEnvironment environment() const;
    void reportEarlyEnd() const;

    QByteArray token_;
    QString slackUrl_;
    QString vendorUrl_;
    QTemporaryDir home_;
    PrivateBus bus_;
    FakeSpotify spotify_{bus_.address()};
    QString program_;
    QProcess agent_;
    SteadyClock::time_point startedAt_;
    bool quitAsked_ = false;
};
