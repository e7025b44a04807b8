#include "WorkdayListener.h"

#include <QtMath>
#include <algorithm>
#include <cmath>

#include "state/Constants.h"

namespace {

constexpr qint64 MINUTE_MS = 60'000;
constexpr qint64 HOUR_MS = 60 * MINUTE_MS;
constexpr int MEETINGS = 3;
constexpr int TRIES = 50;
// A status's life past a stop, and a moment more, after which none of the program's may show.
constexpr qint64 LEFT_SHOWING_AFTER_MS = STATUS_TTL_SECONDS * 1000 + 1000;
const QString MEETING = QStringLiteral("In a meeting");

qint64 between(QRandomGenerator& random, qint64 from, qint64 to) {
    return from + qint64(random.generateDouble() * double(to - from));
}

bool overlaps(const QList<DayPlan::Stretch>& stretches, const DayPlan::Stretch& stretch) {
    constexpr qint64 GAP = 5 * MINUTE_MS;
    return std::any_of(stretches.cbegin(), stretches.cend(), [&](const DayPlan::Stretch& s) {
        return stretch.from < s.to + GAP && s.from < stretch.to + GAP;
    });
}

}  // namespace

DayPlan planDay(QRandomGenerator& random, int hours) {
    DayPlan plan;
    plan.arrive = between(random, 8 * HOUR_MS + 30 * MINUTE_MS, 9 * HOUR_MS + 30 * MINUTE_MS);
    plan.leave = between(random, (9 + hours) * HOUR_MS, (10 + hours) * HOUR_MS + 30 * MINUTE_MS);
    const qint64 lunch = between(random, 12 * HOUR_MS, 13 * HOUR_MS);
    const DayPlan::Stretch lunchBreak{lunch, lunch + between(random, 30, 60) * MINUTE_MS, false};
    if (lunchBreak.from > plan.arrive && lunchBreak.to < plan.leave) plan.stretches += lunchBreak;
    for (int meeting = 0; meeting < MEETINGS; ++meeting) {
        for (int attempt = 0; attempt < TRIES; ++attempt) {
            const qint64 length = between(random, 30, 90) * MINUTE_MS;
            if (plan.leave - length <= plan.arrive) break;
            const qint64 from = between(random, plan.arrive, plan.leave - length);
            const DayPlan::Stretch stretch{from, from + length, random.bounded(2) == 0};
            if (overlaps(plan.stretches, stretch)) continue;
            plan.stretches += stretch;
            break;
        }
    }
    std::sort(plan.stretches.begin(), plan.stretches.end(),
              [](const DayPlan::Stretch& a, const DayPlan::Stretch& b) { return a.from < b.from; });
    return plan;
}

Track drawTrack(QRandomGenerator& random) {
    // Log-normal about 3.5 minutes, within 2 and 7.
    const double u = std::max(random.generateDouble(), 1e-12), v = random.generateDouble();
    const double normal = std::sqrt(-2 * std::log(u)) * std::cos(2 * M_PI * v);
    const double minutes = std::clamp(3.5 * std::exp(0.3 * normal), 2.0, 7.0);
    const qint64 length = qint64(minutes * double(MINUTE_MS));
    const bool skipped = random.bounded(6) == 0;
    return {length, skipped ? between(random, 10'000, 60'000) : length};
}

void WorkdayRecord::shown(int user, const QString& text, qint64 at) {
    const auto take = [&](QHash<int, Awaited>& awaited, QList<double>& into) {
        const auto found = awaited.find(user);
        if (found == awaited.end() || found->text != text) return;
        into += double(at - found->since);
        awaited.erase(found);
    };
    take(change_, changeMs);
    take(back_, musicBackMs);
}

void WorkdayRecord::changed(int user, const QString& text, qint64 at, bool measured) {
    if (const auto earlier = change_.find(user); earlier != change_.end()) {
        changeMs += qInf();  // the music changed again before Slack showed it
        change_.erase(earlier);
    }
    if (measured) change_[user] = {text, at};
    if (const auto back = back_.find(user); back != back_.end()) back->text = text;
}

void WorkdayRecord::ownStatusCleared(int user, const QString& text, qint64 at) {
    back_[user] = {text, at};
}

void WorkdayRecord::awaitNothing(int user) {
    change_.remove(user);
    back_.remove(user);
}

WorkdayListener::WorkdayListener(int user, const DayPlan& plan, const AgentWorld& world,
                                 WorkdayRecord& record, std::function<Track()> tracks,
                                 bool playerTellsEnd)
    : user_(user),
      plan_(plan),
      world_(world),
      record_(record),
      tracks_(std::move(tracks)),
      playerTellsEnd_(playerTellsEnd),
      agent_(std::make_unique<WorkdayAgent>(user, world, [this] { return reading(); })) {}

void WorkdayListener::schedule() {
    EventQueue& events = world_.events;
    events.at(plan_.arrive, [this] { arrive(); });
    for (const DayPlan::Stretch& stretch : plan_.stretches) {
        events.at(stretch.from,
                  [this, stretch] { stretch.ownStatus ? setOwnStatus(true) : pause(); });
        events.at(stretch.to,
                  [this, stretch] { stretch.ownStatus ? setOwnStatus(false) : playOn(); });
    }
    events.at(plan_.leave, [this] { leave(); });
}

PlayerReading WorkdayListener::reading() const {
    if (!playing_) return {};
    PlayerReading reading{true, QStringLiteral("Track u%1-%2").arg(user_).arg(track_), {}};
    if (playerTellsEnd_) reading.endsAt = endsAt_;
    return reading;
}

void WorkdayListener::arrive() {
    atWork_ = true;
    agent_->launch();
    nextTrack();
}

// The next track starts; the one after it comes when this one ends or is skipped.
void WorkdayListener::nextTrack() {
    const qint64 now = world_.events.now();
    if (playing_) record_.listeningMs += now - playingSince_;
    const Track track = tracks_();
    ++track_;
    play(track.lengthMs, track.playsMs);
}

void WorkdayListener::pause() {
    if (!playing_) return;
    const qint64 now = world_.events.now();
    endsIn_ = endsAt_ - now;
    nextIn_ = nextAt_ - now;
    ++version_;
    stopped();
}

void WorkdayListener::playOn() {
    if (atWork_ && !playing_) play(endsIn_, nextIn_);
}

// The track plays, ending in `endsIn` and giving way to the next in `nextIn`.
void WorkdayListener::play(qint64 endsIn, qint64 nextIn) {
    const qint64 now = world_.events.now();
    playing_ = true;
    playingSince_ = now;
    endsAt_ = now + endsIn;
    nextAt_ = now + nextIn;
    const quint64 version = ++version_;
    world_.events.at(nextAt_, [this, version] {
        if (version == version_) nextTrack();
    });
    record_.changed(user_, reading().text, now, !ownStatus_);
    agent_->playerChanged();
}

// The music stopped: the program's status must be gone within a status's life.
void WorkdayListener::stopped() {
    const qint64 now = world_.events.now();
    record_.listeningMs += now - playingSince_;
    playing_ = false;
    record_.awaitNothing(user_);
    ++record_.stops;
    const quint64 version = version_;
    world_.events.after(LEFT_SHOWING_AFTER_MS, [this, version] {
        if (version != version_) return;  // the music came back meanwhile
        const WorkdaySlack::Status status = world_.slack.showing(user_, world_.events.now());
        if (!status.text.isEmpty() && !status.byHand) ++record_.leftShowing;
    });
    agent_->playerChanged();
}

void WorkdayListener::setOwnStatus(bool set) {
    if (!atWork_) return;
    const qint64 now = world_.events.now();
    ownStatus_ = set;
    world_.slack.setByHand(user_, set ? MEETING : QString(), now);
    if (set) {
        record_.awaitNothing(user_);
    } else if (playing_) {
        record_.ownStatusCleared(user_, reading().text, now);
    }
}

void WorkdayListener::leave() {
    if (playing_) {
        ++version_;
        stopped();
    }
    atWork_ = false;
    agent_->quit();
}

void WorkdayListener::endOfRun() {
    if (playing_) record_.listeningMs += world_.events.now() - playingSince_;
    playing_ = false;
}
