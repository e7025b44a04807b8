#include "menubar/TrayIcon.h"

#include <QCursor>
#include <QMenu>
#include <QSystemTrayIcon>

struct TrayIcon::Item {
    QSystemTrayIcon icon;
};

TrayIcon::TrayIcon(QMenu& menu, std::function<void()> openWindow, QObject* parent)
    : QObject(parent), menu_(menu), openWindow_(std::move(openWindow)) {}

TrayIcon::~TrayIcon() = default;

void TrayIcon::show() {
    if (item_) return;
    item_ = std::make_unique<Item>();
    QSystemTrayIcon& icon = item_->icon;
    icon.setIcon(icon_);
    icon.setToolTip(toolTip_);
    icon.setContextMenu(&menu_);
    connect(&icon, &QSystemTrayIcon::activated, this, [this](auto reason) {
        if (reason == QSystemTrayIcon::Trigger) menu_.popup(QCursor::pos());
    });
    icon.show();
}

void TrayIcon::setIcon(const QIcon& icon) {
    icon_ = icon;
    if (item_) item_->icon.setIcon(icon);
}

void TrayIcon::setToolTip(const QString& toolTip) {
    toolTip_ = toolTip;
    if (item_) item_->icon.setToolTip(toolTip);
}
