#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

// What a workspace knows of the program's status on its Slack, kept from step to step.
struct SlackView {
    QString token;
    QString emoji;          // sent with the program's status
    QDateTime expires;      // when the program's status expires; invalid: not known
    QDateTime lastRead;     // when the status was last read
    bool usersOwn = false;  // the last read showed a status of the user's own
    QString usersStatus;    // which
    QString tried;          // the text of the last attempt to set the status
    QString refused;        // a text Slack refused even shortened,
    QString refusedWhy;     // and why
};

// Whether a workspace is to be asked again for :spotify:, and whether that may wait for a step
// that would otherwise only read the status.
enum class EmojiLook { NotDue, WhenQuiet, Now };

// Everything a step's decision in one workspace reads: the player's reading as the status to
// share, the program's own text there, Slack's budget, and the status read in this step.
struct StepFacts {
    bool playing = false;  // a music track plays; anything else is nothing to share
    QString text;          // the status text for the track, at most Slack's length
    QString emoji;         // the emoji to send with it
    QString ownText;       // the program's own status text there, empty when none shows
    std::optional<QDateTime> writeSlot;  // when a status change next fits; none: now
    EmojiLook emojiLook = EmojiLook::NotDue;
    std::optional<QString> current;  // the status read in this step; none: not read yet
    QDateTime now;
    std::optional<QDateTime> readSlot;  // when a status read next fits; none: now
    // When the track ends at normal speed, when the player tells; none: not known.
    std::optional<QDateTime> trackEnds;
    // How long after the time Slack's budget names a wait ends: each copy draws its own, below
    // WAIT_SPREAD_MS, so that copies held back together do not all come back together.
    qint64 waitSpreadMs = 0;
};

inline constexpr qint64 WAIT_SPREAD_MS = 20'000;

// What to do next in the workspace.
enum class Act {
    Done,      // nothing (more) to do
    Read,      // read the status showing
    AskEmoji,  // ask for :spotify: in place of this minute's read
    Wait,      // a status change (or the read before it) does not fit before `until`
    Write,     // set the track as the status, to expire at `until`
    Clear,     // take the program's status down
    Forget,    // none of the program's status shows: forget it
    UsersOwn,  // the user's own status shows (`status`): leave it
    Refused,   // Slack refused this very text before
};
struct Decision {
    Act act = Act::Done;
    QDateTime until;  // Wait: when; Write: when the status expires
    QString status;   // UsersOwn: the user's status
    bool operator==(const Decision&) const = default;
};

// The next thing to do in one workspace, from what is known of it; no I/O and no clock of its
// own. A step asks again after each read, with `facts.current` set, until it is told Done, or
// something that ends the step there.
//
// The rules: the user's own status always wins; the program's status expires when the track
// ends, five minutes after the write at the latest, and is renewed once it has two minutes left
// only while the track plays on past it; Slack is read before it is written, and otherwise only
// while the user's own status shows, every 90 seconds, to bring the music back when it
// goes; a read Slack asked to wait for is not sent before then and a spread drawn for the copy,
// a change waiting for it meanwhile; a status that expires within seconds anyway is not taken
// down; a look for :spotify: is made at a quiet moment.
Decision decideStep(const SlackView& view, const StepFacts& facts);
