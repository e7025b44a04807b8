#include "menubar/TrayIcon.h"

#include <QCursor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QSystemTrayIcon>

#include "menubar/MenuPlacement.h"
#include "menubar/linux/DBusMenuExporter.h"
#include "menubar/linux/StatusNotifierItem.h"

namespace {

const QString WATCHER = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString WATCHER_PATH = QStringLiteral("/StatusNotifierWatcher");
const QString ITEM_PATH = QStringLiteral("/StatusNotifierItem");
const QString MENU_PATH = QStringLiteral("/MenuBar");

// Whether a panel shows StatusNotifierItems: a watcher runs, and a host has told it so.
bool panelHostsItems(const QDBusConnection& bus) {
    QDBusMessage ask = QDBusMessage::createMethodCall(
        WATCHER, WATCHER_PATH, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    ask << WATCHER << QStringLiteral("IsStatusNotifierHostRegistered");
    ask.setAutoStartService(false);
    const QDBusMessage answer = bus.call(ask, QDBus::Block, 2'000);
    return answer.type() == QDBusMessage::ReplyMessage &&
           answer.arguments().value(0).value<QDBusVariant>().variant().toBool();
}

// Opens `menu` for a click on the item at `anchor`, where the panel would open its own.
void popUp(QMenu& menu, const QRect& anchor) {
    const QScreen* screen = QGuiApplication::screenAt(anchor.center());
    if (!screen) screen = QGuiApplication::primaryScreen();
    menu.popup(menuPosition(anchor, menu.sizeHint(), screen->availableGeometry()));
}

}  // namespace

// On the session bus when a panel hosts items there, embedded in the panel (XEmbed) otherwise;
// a panel that starts later, or again, gets the item on the bus.
struct TrayIcon::Item {
    QDBusConnection bus = QDBusConnection::sessionBus();
    QDBusServiceWatcher watcher{WATCHER, bus, QDBusServiceWatcher::WatchForRegistration};
    std::unique_ptr<DBusMenuExporter> menu;
    std::unique_ptr<StatusNotifierItem> onBus;
    std::unique_ptr<QSystemTrayIcon> embedded;

    ~Item() {
        if (!onBus) return;
        bus.unregisterObject(ITEM_PATH);
        bus.unregisterObject(MENU_PATH);
    }

    void showOnBus(QMenu& shownMenu, const QIcon& icon, const QString& toolTip,
                   const std::function<void()>& openWindow) {
        embedded.reset();
        if (!onBus) {
            registerTrayTypes();
            menu = std::make_unique<DBusMenuExporter>(shownMenu);
            onBus = std::make_unique<StatusNotifierItem>(QStringLiteral("Trackglint"),
                                                         QDBusObjectPath(MENU_PATH));
            onBus->setIcon(icon);
            onBus->setToolTip(toolTip);
            const bool wayland =
                QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
            onBus->onMenuRequested = [&shownMenu, wayland, openWindow](const QPoint& at) {
                if (wayland) return openWindow();
                popUp(shownMenu, QRect(at, QSize(0, 0)));
            };
            bus.registerObject(MENU_PATH, menu.get(), QDBusConnection::ExportAllContents);
            bus.registerObject(ITEM_PATH, onBus.get(), QDBusConnection::ExportAllContents);
        }
        QDBusMessage registration = QDBusMessage::createMethodCall(
            WATCHER, WATCHER_PATH, WATCHER, QStringLiteral("RegisterStatusNotifierItem"));
        registration << bus.baseService();
        bus.send(registration);
    }

    void showEmbedded(QMenu& shownMenu, const QIcon& icon, const QString& toolTip) {
        embedded = std::make_unique<QSystemTrayIcon>(icon);
        embedded->setToolTip(toolTip);
        embedded->setContextMenu(&shownMenu);
        QObject::connect(
            embedded.get(), &QSystemTrayIcon::activated, &shownMenu,
            [&shownMenu, item = embedded.get()](QSystemTrayIcon::ActivationReason why) {
                if (why != QSystemTrayIcon::Trigger) return;
                const QRect place = item->geometry();
                popUp(shownMenu, place.isValid() ? place : QRect(QCursor::pos(), QSize(0, 0)));
            });
        embedded->show();
    }
};

TrayIcon::TrayIcon(QMenu& menu, std::function<void()> openWindow, QObject* parent)
    : QObject(parent), menu_(menu), openWindow_(std::move(openWindow)) {}

TrayIcon::~TrayIcon() = default;

void TrayIcon::show() {
    if (item_) return;
    item_ = std::make_unique<Item>();
    connect(&item_->watcher, &QDBusServiceWatcher::serviceRegistered, this,
            [this] { item_->showOnBus(menu_, icon_, toolTip_, openWindow_); });
    if (panelHostsItems(item_->bus)) {
        item_->showOnBus(menu_, icon_, toolTip_, openWindow_);
    } else {
        item_->showEmbedded(menu_, icon_, toolTip_);
    }
}

void TrayIcon::setIcon(const QIcon& icon) {
    icon_ = icon;
    if (item_ && item_->onBus) item_->onBus->setIcon(icon);
    if (item_ && item_->embedded) item_->embedded->setIcon(icon);
}

void TrayIcon::setToolTip(const QString& toolTip) {
    toolTip_ = toolTip;
    if (item_ && item_->onBus) item_->onBus->setToolTip(toolTip);
    if (item_ && item_->embedded) item_->embedded->setToolTip(toolTip);
}
