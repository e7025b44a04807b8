#include <QTest>
#include <functional>

#include "sync/StepDecision.h"

namespace {

const QDateTime NOW = QDateTime::fromSecsSinceEpoch(1'700'000'000);

// A workspace sharing "A" with the note emoji: read 30 s ago, the status good for 200 s more.
struct Situation {
    SlackView view{{}, ":notes:", NOW.addSecs(200), NOW.addSecs(-30), false, {}, {}, {}, {}};
    StepFacts facts{true,         "A", ":notes:",    "A",         std::nullopt, EmojiLook::NotDue,
                    std::nullopt, NOW, std::nullopt, std::nullopt};
};
using Change = std::function<void(Situation&)>;

}  // namespace

Q_DECLARE_METATYPE(Change)
Q_DECLARE_METATYPE(Decision)

// The rules of a step in one workspace, as the decision applies them.
class StepDecisionTest : public QObject {
    Q_OBJECT

  private slots:
    void theRulesOfAStep_data() {
        QTest::addColumn<Change>("change");
        QTest::addColumn<Decision>("expected");
        const Decision done{}, read{Act::Read, {}, {}}, write{Act::Write, NOW.addSecs(300), {}};
        const auto row = [](const char* name, Change change, Decision expected) {
            QTest::newRow(name) << change << expected;
        };
        row(
            "steady: nothing", [](Situation&) {}, done);
        row(
            "steady, a minute since the read: nothing, as nothing is to be written",
            [](Situation& s) { s.view.lastRead = NOW.addSecs(-60); }, done);
        row("the user's own, Slack asked to wait with reads: leave it unasked",
            [](Situation& s) {
                s.view.usersOwn = true, s.view.usersStatus = "Lunch",
                s.view.lastRead = NOW.addSecs(-90), s.facts.readSlot = NOW.addSecs(20);
            },
            {Act::UsersOwn, {}, "Lunch"});
        row("the user's own, read 75 s ago: leave it unasked",
            [](Situation& s) {
                s.view.usersOwn = true, s.view.usersStatus = "Lunch",
                s.view.lastRead = NOW.addSecs(-75);
            },
            {Act::UsersOwn, {}, "Lunch"});
        row("a new track, Slack asked to wait with reads: wait for the read, not longer",
            [](Situation& s) { s.facts.text = "B", s.facts.readSlot = NOW.addSecs(20); },
            {Act::Wait, NOW.addSecs(20), {}});
        row("a new track, Slack asked to wait, 7 s of spread drawn: wait 7 s past it",
            [](Situation& s) {
                s.facts.text = "B", s.facts.writeSlot = NOW.addSecs(20),
                s.facts.waitSpreadMs = 7000;
            },
            {Act::Wait, NOW.addSecs(27), {}});
        row("nothing plays, ours expires in 5 s: forget it, unread",
            [](Situation& s) { s.facts.playing = false, s.view.expires = NOW.addSecs(5); },
            {Act::Forget, {}, {}});
        row("a new track, both budgets spent: wait for the later",
            [](Situation& s) {
                s.facts.text = "B", s.facts.readSlot = NOW.addSecs(20),
                s.facts.writeSlot = NOW.addSecs(9);
            },
            {Act::Wait, NOW.addSecs(20), {}});
        row("a new track ending in 200 s, read: write, to expire with it",
            [](Situation& s) {
                s.facts.text = "B", s.facts.current = "A", s.facts.trackEnds = NOW.addSecs(200);
            },
            {Act::Write, NOW.addSecs(200), {}});
        row(
            "a new track ending in 7 min, read: write, to expire in five",
            [](Situation& s) {
                s.facts.text = "B", s.facts.current = "A", s.facts.trackEnds = NOW.addSecs(420);
            },
            write);
        row(
            "a new track whose end has passed, read: write, to expire in five",
            [](Situation& s) {
                s.facts.text = "B", s.facts.current = "A", s.facts.trackEnds = NOW.addSecs(-30);
            },
            write);
        row(
            "a minute left, the track plays on past its end, read: renew",
            [](Situation& s) {
                s.view.expires = NOW.addSecs(60), s.facts.trackEnds = NOW.addSecs(-10),
                s.facts.current = "A";
            },
            write);
        row(
            "3 s left, expiring with the track: nothing",
            [](Situation& s) {
                s.view.expires = NOW.addSecs(3), s.facts.trackEnds = NOW.addSecs(3);
            },
            done);
        row(
            "a minute left, expiring with the track: nothing",
            [](Situation& s) {
                s.view.expires = NOW.addSecs(60), s.facts.trackEnds = NOW.addSecs(60);
            },
            done);
        row("a minute left, the track plays on past it, read: renew to its end",
            [](Situation& s) {
                s.view.expires = NOW.addSecs(60), s.facts.trackEnds = NOW.addSecs(90),
                s.facts.current = "A";
            },
            {Act::Write, NOW.addSecs(90), {}});
        row(
            "steady, read, still shows: nothing", [](Situation& s) { s.facts.current = "A"; },
            done);
        row(
            "steady, read, gone: write", [](Situation& s) { s.facts.current = ""; }, write);
        row(
            "two minutes left: read first", [](Situation& s) { s.view.expires = NOW.addSecs(120); },
            read);
        row(
            "two minutes left, read: renew",
            [](Situation& s) { s.view.expires = NOW.addSecs(120), s.facts.current = "A"; }, write);
        row(
            "a new track: read first", [](Situation& s) { s.facts.text = "B"; }, read);
        row(
            "a new emoji: read first", [](Situation& s) { s.facts.emoji = ":cd:"; }, read);
        row(
            "a new track, read: write",
            [](Situation& s) { s.facts.text = "B", s.facts.current = "A"; }, write);
        row(
            "a new track, the text last tried shows: write",
            [](Situation& s) { s.facts.text = "C", s.view.tried = "B", s.facts.current = "B"; },
            write);
        row("a new track, the user's own shows: leave it",
            [](Situation& s) { s.facts.text = "B", s.facts.current = "Lunch"; },
            {Act::UsersOwn, {}, "Lunch"});
        row("the user's own, read a moment ago: leave it unasked",
            [](Situation& s) { s.view.usersOwn = true, s.view.usersStatus = "Lunch"; },
            {Act::UsersOwn, {}, "Lunch"});
        row("a new track, no room in Slack's budget: wait",
            [](Situation& s) { s.facts.text = "B", s.facts.writeSlot = NOW.addSecs(9); },
            {Act::Wait, NOW.addSecs(9), {}});
        row(
            "steady, no room in the budget: nothing",
            [](Situation& s) { s.facts.writeSlot = NOW.addSecs(9); }, done);
        row("a read due at a quiet moment: the emoji look instead",
            [](Situation& s) {
                s.view.lastRead = NOW.addSecs(-60), s.facts.emojiLook = EmojiLook::WhenQuiet;
            },
            {Act::AskEmoji, {}, {}});
        row("a text Slack refused", [](Situation& s) { s.facts.text = s.view.refused = "B"; },
            {Act::Refused, {}, {}});
        row(
            "nothing plays, none of ours shows: nothing",
            [](Situation& s) { s.facts.playing = false, s.facts.ownText = ""; }, done);
        row(
            "nothing plays, ours may show: read", [](Situation& s) { s.facts.playing = false; },
            read);
        row("nothing plays, ours shows: clear",
            [](Situation& s) { s.facts.playing = false, s.facts.current = "A"; },
            {Act::Clear, {}, {}});
        row("nothing plays, the user's own replaced ours: forget ours",
            [](Situation& s) { s.facts.playing = false, s.facts.current = "Lunch"; },
            {Act::Forget, {}, {}});
        row("nothing plays, Slack asked to wait with reads: wait",
            [](Situation& s) { s.facts.playing = false, s.facts.readSlot = NOW.addSecs(20); },
            {Act::Wait, NOW.addSecs(20), {}});
        row("nothing plays, no room in the budget: wait",
            [](Situation& s) { s.facts.playing = false, s.facts.writeSlot = NOW.addSecs(9); },
            {Act::Wait, NOW.addSecs(9), {}});
    }
    void theRulesOfAStep() {
        QFETCH(Change, change);
        QFETCH(Decision, expected);
        Situation situation;
        change(situation);
        const Decision decision = decideStep(situation.view, situation.facts);
        QCOMPARE(int(decision.act), int(expected.act));
        QCOMPARE(decision, expected);
    }
};

QTEST_APPLESS_MAIN(StepDecisionTest)
#include "tst_stepdecision.moc"
