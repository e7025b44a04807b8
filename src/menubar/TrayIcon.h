#pragma once

#include <QIcon>
#include <QObject>
#include <functional>
#include <memory>

class QMenu;

// The program's item in the panel: its icon, its tooltip and its menu. Any click opens the menu
// as the panel would open its own: against the panel's edge, beside the item. Under Wayland,
// where a program cannot place a menu, a click that asks the program instead opens its window
// (`openWindow`), and the panel's own copy of the menu holds everything.
//
// On Linux, where the desktop runs a StatusNotifierWatcher with a host (KDE, GNOME with the
// AppIndicator extension, XFCE, LXQt, …), the item is a StatusNotifierItem of the program's own
// on the session bus, its menu shown to the panel over com.canonical.dbusmenu; elsewhere it is
// Qt's QSystemTrayIcon (XEmbed), whose menu Qt draws. On macOS it is QSystemTrayIcon.
//
// Main thread only.
class TrayIcon : public QObject {
  public:
    TrayIcon(QMenu& menu, std::function<void()> openWindow, QObject* parent = nullptr);
    ~TrayIcon() override;

    // Puts the item in the panel.
    void show();
    void setIcon(const QIcon& icon);
    const QIcon& icon() const { return icon_; }
    // The first line is the tooltip's title.
    void setToolTip(const QString& toolTip);
    const QString& toolTip() const { return toolTip_; }

  private:
    // The item as the platform shows it, from the first show() on.
    struct Item;

    QMenu& menu_;
    const std::function<void()> openWindow_;
    QIcon icon_;
    QString toolTip_;
    std::unique_ptr<Item> item_;
};
