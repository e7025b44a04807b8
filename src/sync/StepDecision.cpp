#include "sync/StepDecision.h"

#include <algorithm>

#include "state/Constants.h"

namespace {

// The program's status is renewed once it has no more than this left before it expires.
constexpr qint64 RENEW_WITHIN_SECONDS = 120;
// While the user's own status shows, it is read this often: the music comes back at most this
// long (and a step) after the user clears it.
constexpr qint64 READ_EVERY_SECONDS = 90;
// A status expiring this close to the track's end goes with the track.
constexpr qint64 TRACK_END_MARGIN_SECONDS = 5;

// Whether the status showing is the program's: none, its last text, or the text it last tried
// to set, which Slack may have applied after the program stopped waiting for the answer.
bool isOwn(const QString& current, const QString& ownText, const QString& tried) {
    return current.isEmpty() || current == ownText || (!tried.isEmpty() && current == tried);
}

// The later of two times Slack's budget asks to wait for; none when neither does.
std::optional<QDateTime> later(const std::optional<QDateTime>& a,
                               const std::optional<QDateTime>& b) {
    if (!a || !b) return a ? a : b;
    return std::max(*a, *b);
}

// Waits for Slack's budget until `slot`, and the copy's spread past it.
Decision waitUntil(const QDateTime& slot, const StepFacts& facts) {
    return {Act::Wait, slot.addMSecs(facts.waitSpreadMs), {}};
}

// When the track ends, as far as that is any guide: an end passed well before while the track
// plays on (a player whose position runs past its length, say) is none.
std::optional<QDateTime> trackEnd(const StepFacts& facts) {
    if (!facts.trackEnds || facts.trackEnds->secsTo(facts.now) > TRACK_END_MARGIN_SECONDS)
        return std::nullopt;
    return facts.trackEnds;
}

// When a status written now expires: when the track ends, within STATUS_TTL_SECONDS. An end
// only seconds away gives no expiry: such a status would be gone before anyone saw it.
QDateTime expiryFor(const StepFacts& facts) {
    const QDateTime latest = facts.now.addSecs(STATUS_TTL_SECONDS);
    const std::optional<QDateTime> end = trackEnd(facts);
    if (!end || *end > latest || facts.now.secsTo(*end) <= TRACK_END_MARGIN_SECONDS) return latest;
    return *end;
}

// Whether the program's status needs renewing: it expires within two minutes while the track
// plays on past it.
bool renewDue(const SlackView& view, const StepFacts& facts) {
    if (!view.expires.isValid()) return true;
    if (facts.now.secsTo(view.expires) > RENEW_WITHIN_SECONDS) return false;
    const std::optional<QDateTime> end = trackEnd(facts);
    return !end || view.expires.secsTo(*end) > TRACK_END_MARGIN_SECONDS;
}

// Nothing to share: the program's own status comes down if it still shows.
Decision takeDown(const SlackView& view, const StepFacts& facts) {
    if (facts.ownText.isEmpty()) return {};
    // Expiring within seconds anyway: it goes by itself as soon as a clear would take it down.
    if (view.expires.isValid() && facts.now.secsTo(view.expires) <= TRACK_END_MARGIN_SECONDS)
        return {Act::Forget, {}, {}};
    if (const auto slot = later(facts.writeSlot, facts.current ? std::nullopt : facts.readSlot))
        return waitUntil(*slot, facts);
    if (!facts.current) return {Act::Read, {}, {}};
    if (!facts.current->isEmpty() && isOwn(*facts.current, facts.ownText, view.tried)) {
        return {Act::Clear, {}, {}};
    }
    // Cleared already, or replaced by the user's own: none of the program's shows.
    return {Act::Forget, {}, {}};
}

Decision share(const SlackView& view, const StepFacts& facts) {
    if (facts.text == view.refused) return {Act::Refused, {}, {}};  // the next track may do
    const bool change = facts.text != facts.ownText || facts.emoji != view.emoji;
    const bool renew = renewDue(view, facts);
    if (facts.current) {
        if (!isOwn(*facts.current, facts.ownText, view.tried)) {
            return {Act::UsersOwn, {}, *facts.current};
        }
        // Read only: the program's status still shows and needs nothing.
        if (!change && !renew && !facts.current->isEmpty()) return {};
        return {Act::Write, expiryFor(facts), {}};
    }
    if (view.usersOwn) {  // read now and then, when Slack allows, to see whether it went
        const bool readDue =
            !view.lastRead.isValid() || view.lastRead.secsTo(facts.now) >= READ_EVERY_SECONDS;
        if (!readDue || facts.readSlot) return {Act::UsersOwn, {}, view.usersStatus};
        return {Act::Read, {}, {}};
    }
    if (!change && !renew) {
        return facts.emojiLook == EmojiLook::NotDue ? Decision{} : Decision{Act::AskEmoji, {}, {}};
    }
    if (const auto slot = later(facts.writeSlot, facts.readSlot)) return waitUntil(*slot, facts);
    return {Act::Read, {}, {}};
}

}  // namespace

Decision decideStep(const SlackView& view, const StepFacts& facts) {
    return facts.playing ? share(view, facts) : takeDown(view, facts);
}
