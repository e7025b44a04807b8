#include "sync/StatusFormat.h"

#include <QList>
#include <QRegularExpression>

#include "player/SpotifyState.h"
#include "slack/SlackApi.h"
#include "state/Constants.h"

namespace {

const QRegularExpression FIELD(QStringLiteral("\\{(title|artist|album)\\}"));

// Each opening bracket, and at the same place in the other, the one that closes it.
const QString OPENING = QStringLiteral("([“‘«\"");
const QString CLOSING = QStringLiteral(")]”’»\"");

// A field of a format, and the text that comes before it.
struct Piece {
    QString before;
    QString value;
};

QString valueOf(QStringView field, const SpotifyState& state) {
    if (field == u"title") return state.track;
    if (field == u"artist") return state.artist;
    return state.album;
}

// Drops the brackets right around each empty field.
void dropEmptyBrackets(QList<Piece>& pieces, QString& tail) {
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        QString& before = pieces[i].before;
        QString& after = i + 1 < pieces.size() ? pieces[i + 1].before : tail;
        if (!pieces[i].value.isEmpty() || before.isEmpty() || after.isEmpty()) continue;
        const qsizetype bracket = OPENING.indexOf(before.back());
        if (bracket >= 0 && after.front() == CLOSING[bracket]) {
            before.chop(1);
            after.remove(0, 1);
        }
    }
}

// `format` filled in with `state`; none when it shows no field.
std::optional<QString> filledIn(const QString& format, const SpotifyState& state) {
    QList<Piece> pieces;
    qsizetype at = 0;
    for (const QRegularExpressionMatch& field : FIELD.globalMatch(format)) {
        pieces +=
            {format.mid(at, field.capturedStart() - at), valueOf(field.capturedView(1), state)};
        at = field.capturedEnd();
    }
    QString tail = format.mid(at);
    dropEmptyBrackets(pieces, tail);
    QString text = pieces.isEmpty() ? QString() : pieces.first().before;
    bool shown = false;
    for (const Piece& piece : pieces) {
        if (piece.value.isEmpty()) continue;
        // The first piece's text leads the format and is already there.
        if (shown) text += piece.before;
        text += piece.value;
        shown = true;
    }
    if (!shown) return std::nullopt;
    return text + tail;
}

}  // namespace

QString formatStatus(const QString& format, const SpotifyState& state) {
    if (std::optional<QString> text = filledIn(format, state)) return *text;
    return filledIn(DEFAULT_STATUS_FORMAT, state).value_or(QString());
}

QString statusText(const QString& format, const SpotifyState& state) {
    return firstGraphemes(formatStatus(format, state), STATUS_TEXT_LIMIT);
}

std::optional<QString> formatProblem(const QString& format) {
    if (FIELD.match(format).hasMatch()) return std::nullopt;
    return QStringLiteral("Add {title}, {artist} or {album}: without a field, no track shows.");
}
