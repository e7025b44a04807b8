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

QPixmap drawMark(MenuMark mark, const MarkColours& colours, int side) {
    const MarkRuns runs = squareRuns(mark);
    const QString text = runs.first + runs.second;
    // Fit the text to the slot's width and height.
    QFont font = markFont(12.5);
    font.setPixelSize(100);
    const QFontMetricsF probe(font);
    const qreal fit =
        std::min(side * 0.94 / probe.horizontalAdvance(text), side * 0.98 / probe.height());
    font.setPixelSize(std::max(6, int(100 * fit)));
    const QFontMetricsF metrics(font);

    QPainterPath first, second;
    const QPointF origin((side - metrics.horizontalAdvance(text)) / 2,
                         (side - metrics.height()) / 2 + metrics.ascent());
    first.addText(origin, font, runs.first);
    second.addText(origin + QPointF(metrics.horizontalAdvance(runs.first), 0), font, runs.second);

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
