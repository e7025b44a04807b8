#pragma once

#include <QDBusMessage>
#include <QList>
#include <QObject>
#include <QStringList>

// A panel's side of the tray protocol on the session bus: it registers items and says a host
// is there. Register it as /StatusNotifierWatcher under org.kde.StatusNotifierWatcher.
class PanelWatcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems MEMBER items)

  public:
    // Registers the watcher on the session bus; false when the bus refuses it.
    bool registerOnSessionBus();

    bool hostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    // The bus names of the registered items, in order of registration.
    QStringList items;

  public slots:
    void RegisterStatusNotifierItem(const QString& service, const QDBusMessage& message);
    void RegisterStatusNotifierHost(const QString&) {}

  signals:
    void StatusNotifierItemRegistered(const QString& service);
};

// One entry of a tray item's menu, as com.canonical.dbusmenu lays it out.
struct MenuEntry {
    int id = 0;
    QString label;
    QString type;
    bool enabled = true;
};

// Opens the menu of the item `service` as a panel does (AboutToShow, then GetLayout) and
// returns its top-level entries; empty when the item does not answer.
QList<MenuEntry> openTrayMenu(const QString& service);
// Clicks the entry `id` of the item's menu.
void clickTrayMenu(const QString& service, int id);
