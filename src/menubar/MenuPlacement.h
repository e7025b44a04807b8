#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

// Where a menu of `size` opens for a click on the tray item at `anchor` (the item's place, or
// the point the panel gave, in screen coordinates), as a panel opens its own: against the
// panel's edge, beside the item, and inside `available`, the screen without its panels. An
// anchor inside the available area (a panel that reserves no room) opens the menu from the
// anchor, below it in the screen's upper half and above it in the lower half.
QPoint menuPosition(const QRect& anchor, const QSize& size, const QRect& available);
