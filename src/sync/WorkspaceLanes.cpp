// Each workspace's own line of steps. A step of the engine reads the player once and hands the
// reading to every workspace; each steps on a thread of the engine's pool, one step at a time,
// so that a workspace whose Slack is slow or asks to wait holds no other back. A step asked for
// while the last one still runs waits for it, the newest reading replacing any other waiting.

#include "sync/SyncEngine.h"

const std::shared_ptr<SyncEngine::Lane>& SyncEngine::laneOf(const QString& key) {
    std::shared_ptr<Lane>& lane = lanes_[key];
    if (!lane) lane = std::make_shared<Lane>();
    return lane;
}

void SyncEngine::stepInLane(const QString& key, const std::optional<SpotifyState>& reading) {
    QMutexLocker lock(&lanesMutex_);
    if (syncStopped_) return;
    const std::shared_ptr<Lane> lane = laneOf(key);
    if (lane->running) {
        lane->next = reading;
        return;
    }
    lane->running = true;
    lanePool_.start([this, key, lane, reading] { runLane(key, lane, reading); });
}

// On the pool: the lane's steps, until none is waiting.
void SyncEngine::runLane(const QString& key, const std::shared_ptr<Lane>& lane,
                         std::optional<SpotifyState> reading) {
    for (;;) {
        const WorkspaceState found = stepLane(key, *lane, reading);
        {
            QMutexLocker lock(&lanesMutex_);
            lane->found = found;
        }
        laneFinished(reading.has_value());
        QMutexLocker lock(&lanesMutex_);
        if (!lane->next || syncStopped_) {
            lane->next.reset();
            lane->running = false;
            lanesIdle_.wakeAll();
            return;
        }
        reading = *lane->next;
        lane->next.reset();
    }
}

// One step in the workspace as the settings hold it now, which an earlier step may have changed.
WorkspaceState SyncEngine::stepLane(const QString& key, Lane& lane,
                                    const std::optional<SpotifyState>& reading) {
    const std::optional<Workspace> workspace = config_.workspace(key);
    if (!workspace || workspace->token.isEmpty()) return {};
    if (lane.view.token != workspace->token) {  // a new sign-in starts afresh
        lane.view = SlackView{};
        lane.view.token = workspace->token;
    }
    return reading ? stepIn(*workspace, *reading, lane.view) : hideIn(*workspace, lane.view);
}

// Paused or outside work hours: takes down the program's own status if it shows, and forgets
// it either way.
WorkspaceState SyncEngine::hideIn(const Workspace& workspace, SlackView& view) {
    if (!workspace.lastSetText.isEmpty()) {
        slackClient_.clearOwnStatus(workspace.token, workspace.lastSetText);
        forgetOwnStatus(workspace, view);
    }
    return {WorkspaceState::Kind::NotSharing, {}};
}

// Shows what every workspace's last step found; `asked`: this one asked Slack.
void SyncEngine::laneFinished(bool asked) {
    QMutexLocker lock(&showing_);
    QHash<QString, WorkspaceState> found;
    {
        QMutexLocker lanes(&lanesMutex_);
        for (auto it = lanes_.cbegin(); it != lanes_.cend(); ++it)
            found.insert(it.key(), it.value()->found);
    }
    show(config_.workspaces(), found, asked);
}

void SyncEngine::finishSteps() {
    QMutexLocker lock(&lanesMutex_);
    const auto running = [this] {
        return std::any_of(lanes_.cbegin(), lanes_.cend(),
                           [](const std::shared_ptr<Lane>& lane) { return lane->running; });
    };
    while (running()) lanesIdle_.wait(&lanesMutex_);
}

// What the engine knows of a workspace goes with it, once its lane is idle.
void SyncEngine::forgetRemoved(const QList<Workspace>& all) {
    QMutexLocker lock(&lanesMutex_);
    for (auto it = lanes_.begin(); it != lanes_.end();) {
        const bool there = std::any_of(all.cbegin(), all.cend(), [&](const Workspace& workspace) {
            return workspace.key() == it.key();
        });
        it = there || it.value()->running ? std::next(it) : lanes_.erase(it);
    }
}
