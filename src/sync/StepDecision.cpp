#include "sync/StepDecision.h"

namespace {

// The program's status is renewed once it has no more than this left before it expires.
constexpr qint64 RENEW_WITHIN_SECONDS = 120;
// While music plays, the status is read at least this often.
constexpr qint64 READ_EVERY_SECONDS = 60;

// Whether the status showing is the program's: none, its last text, or the text it last tried
// to set, which Slack may have applied after the program stopped waiting for the answer.
bool isOwn(const QString& current, const QString& ownText, const QString& tried) {
    return current.isEmpty() || current == ownText || (!tried.isEmpty() && current == tried);
}

// Nothing to share: the program's own status comes down if it still shows.
Decision takeDown(const SlackView& view, const StepFacts& facts) {
    if (facts.ownText.isEmpty()) return {};
    if (facts.writeSlot) return {Act::Wait, *facts.writeSlot, {}};
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
    const bool renew =
        !view.expires.isValid() || facts.now.secsTo(view.expires) <= RENEW_WITHIN_SECONDS;
    if (facts.current) {
        if (!isOwn(*facts.current, facts.ownText, view.tried)) {
            return {Act::UsersOwn, {}, *facts.current};
        }
        // Read only: the program's status still shows and needs nothing.
        if (!change && !renew && !facts.current->isEmpty()) return {};
        return {Act::Write, {}, {}};
    }
    const bool readDue =
        !view.lastRead.isValid() || view.lastRead.secsTo(facts.now) >= READ_EVERY_SECONDS;
    if (!readDue && view.usersOwn) return {Act::UsersOwn, {}, view.usersStatus};
    if (!readDue && !change && !renew) return {};
    if (!change && !renew && !view.usersOwn && facts.emojiLook != EmojiLook::NotDue) {
        return {Act::AskEmoji, {}, {}};  // the status is read a minute later
    }
    if ((change || renew) && facts.writeSlot) return {Act::Wait, *facts.writeSlot, {}};
    return {Act::Read, {}, {}};
}

}  // namespace

Decision decideStep(const SlackView& view, const StepFacts& facts) {
    return facts.playing ? share(view, facts) : takeDown(view, facts);
}
