#include "WorkdayAgent.h"

#include <algorithm>

#include "state/Constants.h"

namespace {

// As the engine: a burst of player signals settles this long, signal-driven steps come at
// least SIGNAL_GAP_MS apart, and a wake-up comes this long after the time it waits for.
constexpr qint64 SETTLE_MS = 250;
constexpr qint64 SIGNAL_GAP_MS = 2000;
constexpr qint64 WAKE_MARGIN_MS = 100;
constexpr qint64 STEP_MS = qint64(SYNC_SECONDS * 1000);
// A look for :spotify: due at a quiet moment is made anyway once this late.
constexpr qint64 EMOJI_OVERDUE_MS = 5 * 60'000;
const QString EMOJI = QStringLiteral(":musical_note:");
const QDateTime DAY(QDate(2026, 12, 7), QTime(0, 0), Qt::UTC);

}  // namespace

void EventQueue::at(qint64 when, std::function<void()> what) {
    events_.push({std::max(when, now_), order_++, std::move(what)});
}

void EventQueue::runUntil(qint64 end) {
    while (!events_.empty() && events_.top().when <= end) {
        Event event = events_.top();
        events_.pop();
        now_ = event.when;
        event.what();
    }
    now_ = std::max(now_, end);
}

QDateTime EventQueue::dateAt(qint64 ms) {
    return DAY.addMSecs(ms);
}

qint64 EventQueue::msAt(const QDateTime& date) {
    return DAY.msecsTo(date);
}

WorkdayAgent::WorkdayAgent(int user, AgentWorld world, std::function<PlayerReading()> player)
    : user_(user), world_(world), player_(std::move(player)) {
    view_.token = token();
}

void WorkdayAgent::launch() {
    stopped_ = false;
    emojiDue_ = world_.events.now() + world_.launchSpread();
    world_.events.after(STEP_MS, [this] { timerStep(); });
    askStep();
}

void WorkdayAgent::timerStep() {
    if (stopped_) return;
    askStep();
    world_.events.after(STEP_MS, [this] { timerStep(); });
}

// As SyncEngine::playerChanged: a step once the signals settle, spaced from the last such.
void WorkdayAgent::playerChanged() {
    if (settling_ || stopped_) return;
    settling_ = true;
    const qint64 wait =
        std::max(SETTLE_MS, SIGNAL_GAP_MS - (world_.events.now() - lastSignalStep_));
    world_.events.after(wait, [this] {
        settling_ = false;
        lastSignalStep_ = world_.events.now();
        askStep();
    });
}

// A step asked for while one runs comes after it, once however often it was asked.
void WorkdayAgent::askStep() {
    if (stopped_) return;
    if (running_) {
        pending_ = true;
        return;
    }
    startStep();
}

// As SyncEngine::factsFor.
void WorkdayAgent::startStep() {
    running_ = true;
    const PlayerReading reading = player_();
    const QDateTime now = EventQueue::dateAt(world_.events.now());
    facts_ = StepFacts{};
    facts_.playing = reading.playing;
    facts_.text = reading.text;
    facts_.emoji = EMOJI;
    facts_.ownText = ownText_;
    facts_.writeSlot = world_.limits.nextWriteSlot(token(), now);
    facts_.readSlot = world_.limits.nextReadSlot(token(), now);
    facts_.emojiLook = emojiLook();
    facts_.now = now;
    facts_.waitSpreadMs = world_.waitSpread();
    if (reading.playing && reading.endsAt) facts_.trackEnds = EventQueue::dateAt(*reading.endsAt);
    decide();
}

// A short mirror of SyncEngine::carryOut: each decision carried out against the simulated
// Slack, a reply at a time, until one ends the step. Kept to the calls and what the engine
// remembers of them; the engine's lines and errors for the user are left out.
void WorkdayAgent::decide() {
    const Decision decision = decideStep(view_, facts_);
    switch (decision.act) {
        case Act::Done:
            return finish(true);
        case Act::Read:
            return send(WorkdaySlack::GET, [this](const WorkdaySlack::Reply& reply) {
                if (!reply.ok) return failed();
                facts_.current = reply.text;
                view_.lastRead = EventQueue::dateAt(world_.events.now());
                if (facts_.playing) view_.usersOwn = false;
                decide();
            });
        case Act::AskEmoji:
            view_.lastRead = facts_.now;
            askForEmoji();
            return finish(true);
        case Act::Wait:
            wakeAt(decision.until);
            return finish(false);
        case Act::Write:
            return write(decision.until, false);
        case Act::Clear:
            return write({}, true);
        case Act::Forget:
            ownText_.clear();
            view_.emoji.clear();
            view_.expires = QDateTime();
            return finish(true);
        case Act::UsersOwn:
            view_.usersOwn = true;
            view_.usersStatus = decision.status;
            return finish(true);
        case Act::Refused:
            return finish(false);
    }
}

void WorkdayAgent::write(const QDateTime& expires, bool clearing) {
    const QString text = clearing ? QString() : facts_.text;
    if (!clearing) {
        view_.tried = text;
        lastSentExpiry_ = EventQueue::msAt(expires);
    }
    const WorkdaySlack::Status status{text, clearing ? 0 : EventQueue::msAt(expires), false, 0};
    send(
        WorkdaySlack::SET,
        [this, text, expires](const WorkdaySlack::Reply& reply) {
            if (!reply.ok) return failed();
            ownText_ = text;
            view_.emoji = text.isEmpty() ? QString() : facts_.emoji;
            view_.expires = expires;
            finish(true);
        },
        status);
}

// As the end of SyncEngine::stepIn: a look for :spotify: due is made when the step was quiet.
void WorkdayAgent::finish(bool done) {
    if (done) {
        const bool quiet = view_.usersOwn || (!facts_.playing && ownText_.isEmpty());
        const EmojiLook look = emojiLook();
        if (look == EmojiLook::Now || (look == EmojiLook::WhenQuiet && quiet)) askForEmoji();
    }
    running_ = false;
    if (stopped_) return clearAtQuit();
    if (pending_) {
        pending_ = false;
        startStep();
    }
}

// As SyncEngine::failed: a step comes again when Slack said it may, and the step's spread.
void WorkdayAgent::failed() {
    const auto until = world_.limits.waitingUntil(token(), EventQueue::dateAt(world_.events.now()));
    if (until) wakeAt(until->addMSecs(facts_.waitSpreadMs));
    finish(false);
}

void WorkdayAgent::wakeAt(const QDateTime& when) {
    const quint64 wake = ++wake_;
    world_.events.at(EventQueue::msAt(when) + WAKE_MARGIN_MS, [this, wake] {
        if (wake == wake_) askStep();
    });
}

// The launch's look for :spotify:, which the workspace has; none after it.
EmojiLook WorkdayAgent::emojiLook() const {
    const qint64 now = world_.events.now();
    if (emojiAsked_ || stopped_ || now < emojiDue_) return EmojiLook::NotDue;
    return now - emojiDue_ >= EMOJI_OVERDUE_MS ? EmojiLook::Now : EmojiLook::WhenQuiet;
}

void WorkdayAgent::askForEmoji() {
    emojiAsked_ = true;
    send(WorkdaySlack::EMOJI, [](const WorkdaySlack::Reply&) {});
}

// As SlackClient::call: a call the limits hold back is answered at once and not sent; a reply
// takes its time, Slack receiving the call halfway.
void WorkdayAgent::send(const QString& method, std::function<void(const WorkdaySlack::Reply&)> then,
                        const WorkdaySlack::Status& status) {
    EventQueue& events = world_.events;
    if (world_.limits.heldBack(token(), method, EventQueue::dateAt(events.now())))
        return then(WorkdaySlack::Reply{false, true, std::nullopt, {}});
    const qint64 latency = world_.latency();
    events.after(latency / 2, [this, method, then, status, latency] {
        const WorkdaySlack::Reply reply =
            world_.slack.call(user_, method, world_.events.now(), status);
        world_.events.after(latency - latency / 2, [this, method, then, reply] {
            world_.limits.learn(token(), method, reply.rateLimited, reply.retryAfter, {},
                                EventQueue::dateAt(world_.events.now()));
            then(reply);
        });
    });
}

// As SyncEngine::stopSync and clearEverywhere: no step after a quit; the program's status is
// cleared where it still shows.
void WorkdayAgent::quit() {
    stopped_ = true;
    pending_ = false;
    if (!running_) clearAtQuit();
}

void WorkdayAgent::clearAtQuit() {
    if (ownText_.isEmpty()) return;
    const QString own = ownText_;
    ownText_.clear();
    send(WorkdaySlack::GET, [this, own](const WorkdaySlack::Reply& reply) {
        if (reply.ok && reply.text == own)
            send(WorkdaySlack::SET, [](const WorkdaySlack::Reply&) {});
    });
}
