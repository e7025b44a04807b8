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

// One entry of a tray item's menu, as com.canonical.dbusmenu lays it out, with its label as a
// panel shows it.
struct MenuEntry {
    int id = 0;
    QString label;
    QString type;
    bool enabled = true;
};

// A tray item's menu as a panel holds it: opened as a panel opens it (AboutToShow, then
// GetLayout), with the signals the item sent while the panel watched.
class TrayMenu : public QObject {
    Q_OBJECT

  public:
    // Watches the menu of the item `service`.
    explicit TrayMenu(const QString& service);

    // Opens the menu and returns the entries that show at its top level; empty when the item
    // does not answer.
    QList<MenuEntry> open();
    // Clicks the entry `id`.
    void click(int id);
    // Asks the item for its menu at a position, as a panel does on a left click.
    void activate(int x, int y);

    // The layout's revision at the last opening.
    uint revision = 0;
    // The signals received: "LayoutUpdated", "ItemsPropertiesUpdated".
    QStringList signalsSeen;

  private slots:
    void layoutUpdated() { signalsSeen += "LayoutUpdated"; }
    void propertiesUpdated() { signalsSeen += "ItemsPropertiesUpdated"; }

  private:
    QString service_;
    QString path_;
};

// The label a panel shows for a dbusmenu "label": "_x" marks x as the mnemonic and shows x,
// "__" shows one underscore.
QString shownLabel(const QString& label);

// Opens the menu of the item `service` as a panel does and returns the entries that show.
QList<MenuEntry> openTrayMenu(const QString& service);
// Clicks the entry `id` of the item's menu.
void clickTrayMenu(const QString& service, int id);

// The tooltip of the item `service` as a panel reads it: its title and its text, which panels
// take as markup.
std::pair<QString, QString> trayToolTip(const QString& service);
