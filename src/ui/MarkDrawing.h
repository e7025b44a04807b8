#pragma once

#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QString>

#include "settings/MenuMark.h"
#include "ui/Contrast.h"

// The colours of a mark's two runs in the tray: its first run in a grey, its second in green.
struct MarkColours {
    QColor first;
    QColor second;
};
// The colours for a panel guessed dark (lighter ones) or light (darker ones). A program cannot
// see its panel, so both sets keep at least 3:1 against white and black panels alike and stay
// readable when the guess is wrong.
MarkColours markColours(bool darkPanel);

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

// The mark drawn into a square icon of `side` pixels in `colours`, with a faint halo of the
// opposite lightness around every glyph, so it reads on light and dark panels alike. A square tray
// slot has no room for the whole wordmark, so it is drawn as its monogram "T" + "g_"; the other two
// marks are drawn whole.
QPixmap drawMark(MenuMark mark, const MarkColours& colours, int side);
