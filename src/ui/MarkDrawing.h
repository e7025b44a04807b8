#pragma once

#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QString>

#include "settings/MenuMark.h"

// The green of the mark's second run: (47, 208, 113).
inline const QColor MARK_GREEN = QColor(47, 208, 113);

// A mark's text in two runs: the first in the panel's text colour, the second in green.
struct MarkRuns {
    QString first;
    QString second;
};

// The runs of the mark as the dashboard shows it: "▶ Track" + "glint_", "▶" + "_", ">" + "_".
MarkRuns markRuns(MenuMark mark);
// The whole text: "▶ Trackglint_", "▶_", ">_".
QString label(MenuMark mark);

// "IBM Plex Mono SemiBold" at `points` when installed, else the system's monospaced font in
// semibold.
QFont markFont(qreal points);

// The mark drawn into a square icon of `side` pixels, with `textColour` as the first run's
// colour and a faint halo of the opposite lightness around every glyph, so it reads on light
// and dark panels alike. A square tray slot has no room for the whole wordmark, so it is drawn
// as its monogram "T" + "g_"; the other two marks are drawn whole.
QPixmap drawMark(MenuMark mark, const QColor& textColour, int side);
