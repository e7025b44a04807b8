#include "menubar/linux/StatusNotifierItem.h"

#include <QCoreApplication>

StatusNotifierItem::StatusNotifierItem(QString title, QDBusObjectPath menu, QObject* parent)
    : QObject(parent), title_(std::move(title)), menu_(std::move(menu)) {
    toolTip_.title = title_;
}

// The protocol asks for a name unique to the program and the same in every session.
QString StatusNotifierItem::id() const {
    return QCoreApplication::applicationName();
}

void StatusNotifierItem::setIcon(const QIcon& icon) {
    pixmaps_ = iconPixmaps(icon);
    emit NewIcon();
}

// Panels may take the text as markup: XFCE's always does (and shows nothing for markup it cannot
// read), Plasma's only when it looks like markup, showing "&amp;" otherwise. So the text goes
// escaped inside a <span>, which both read as markup; the title is plain text.
void StatusNotifierItem::setToolTip(const QString& toolTip) {
    toolTip_.title = toolTip.section(u'\n', 0, 0);
    toolTip_.text =
        QStringLiteral("<span>%1</span>").arg(toolTip.section(u'\n', 1).toHtmlEscaped());
    emit NewToolTip();
}

void StatusNotifierItem::Activate(int x, int y) {
    if (onMenuRequested) onMenuRequested(QPoint(x, y));
}

void StatusNotifierItem::ContextMenu(int x, int y) {
    if (onMenuRequested) onMenuRequested(QPoint(x, y));
}
