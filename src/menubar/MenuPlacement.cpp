#include "menubar/MenuPlacement.h"

#include <algorithm>

namespace {

// `start` moved as little as it takes for `length` to fit in [`low`, `high`].
int within(int start, int length, int low, int high) {
    return std::max(low, std::min(start, high - length + 1));
}

}  // namespace

QPoint menuPosition(const QRect& anchor, const QSize& size, const QRect& available) {
    const QPoint centre = anchor.center();
    QPoint at(anchor.left(), anchor.bottom() + 1);  // below the item
    if (centre.y() < available.top()) {             // a panel along the top
        at.setY(available.top());
    } else if (centre.y() > available.bottom()) {  // along the bottom
        at.setY(available.bottom() + 1 - size.height());
    } else if (centre.x() < available.left()) {  // down the left side
        at = QPoint(available.left(), anchor.top());
    } else if (centre.x() > available.right()) {  // down the right side
        at = QPoint(available.right() + 1 - size.width(), anchor.top());
    } else if (centre.y() > available.center().y()) {  // no panel known: from the anchor
        at.setY(anchor.top() - size.height());
    }
    return {within(at.x(), size.width(), available.left(), available.right()),
            within(at.y(), size.height(), available.top(), available.bottom())};
}
