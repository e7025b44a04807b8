#include "ui/MarkDrawing.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

MarkRuns markRuns(MenuMark mark) {
    switch (mark) {
        case MenuMark::PlayCursor:
            return {QStringLiteral("▶"), QStringLiteral("_")};
        case MenuMark::Prompt:
            return {QStringLiteral(">"), QStringLiteral("_")};
        case MenuMark::Wordmark:
            break;
    }
    return {QStringLiteral("▶ Track"), QStringLiteral("glint_")};
}

QString label(MenuMark mark) {
    const MarkRuns runs = markRuns(mark);
    return runs.first + runs.second;
}

QFont markFont(qreal points) {
    const QString plex = QStringLiteral("IBM Plex Mono SemiBold");
    QFont font;
    if (QFontDatabase::families().contains(plex)) {
        font = QFont(plex);
    } else {
        font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        font.setWeight(QFont::DemiBold);
    }
    font.setPointSizeF(points);
    return font;
}

namespace {

// What fits in a square slot: the wordmark's monogram, or the whole of a short mark.
MarkRuns squareRuns(MenuMark mark) {
    if (mark == MenuMark::Wordmark) return {QStringLiteral("T"), QStringLiteral("g_")};
    return markRuns(mark);
}

}  // namespace

MarkColours markColours(bool darkPanel) {
    // Relative luminance between 0.10 and 0.30 keeps 3:1 against white and against black.
    if (darkPanel) return {QColor(145, 145, 145), QColor(34, 166, 86)};
    return {QColor(92, 92, 92), QColor(20, 120, 60)};
}

namespace {

// A mark wider than its slot is narrowed this far at most before it is made smaller instead, so
// a three-letter monogram fills more of the slot's height and still reads as itself.
constexpr qreal MOST_NARROWED = 0.7;

// `first` and `second`, the runs' outlines, scaled and centred on a square slot of `side`
// pixels: their ink as tall as the slot allows, narrowed where it would be too wide.
void fitToSlot(QPainterPath& first, QPainterPath& second, int side) {
    const QRectF ink = (first + second).boundingRect();
    if (ink.isEmpty()) return;  // no font to draw with
    const qreal room = side * 0.92;
    const qreal scale = std::min(room / ink.height(), room / (ink.width() * MOST_NARROWED));
    const qreal narrowing = std::min(1.0, room / (ink.width() * scale));
    QTransform fit;
    fit.translate(side / 2.0, side / 2.0);
    fit.scale(scale * narrowing, scale);
    fit.translate(-ink.center().x(), -ink.center().y());
    first = fit.map(first);
    second = fit.map(second);
}

}  // namespace

QPixmap drawMark(MenuMark mark, const MarkColours& colours, int side) {
    const MarkRuns runs = squareRuns(mark);
    QFont font = markFont(12.5);
    font.setPixelSize(100);
    QPainterPath first, second;
    first.addText(QPointF(0, 0), font, runs.first);
    second.addText(QPointF(QFontMetricsF(font).horizontalAdvance(runs.first), 0), font,
                   runs.second);
    fitToSlot(first, second, side);

    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor halo = colours.first.lightness() > 127 ? QColor(0, 0, 0) : QColor(255, 255, 255);
    halo.setAlphaF(0.6);
    painter.strokePath(first + second, QPen(halo, std::max(1.0, side / 16.0)));
    painter.fillPath(first, colours.first);
    painter.fillPath(second, colours.second);
    return pixmap;
}
