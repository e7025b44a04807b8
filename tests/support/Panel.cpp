#include "Panel.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusObjectPath>

namespace {

// Reads a dbusmenu layout node, (ia{sv}av), into a flat list of its children.
QList<MenuEntry> menuEntries(const QDBusArgument& node) {
    QList<MenuEntry> entries;
    int id = 0;
    QVariantMap properties;
    node.beginStructure();
    node >> id >> properties;
    node.beginArray();
    while (!node.atEnd()) {
        QDBusVariant child;
        node >> child;
        const QDBusArgument item = child.variant().value<QDBusArgument>();
        int childId = 0;
        QVariantMap props;
        item.beginStructure();
        item >> childId >> props;
        item.endStructure();
        entries += {childId, props.value("label").toString(), props.value("type").toString(),
                    props.value("enabled", true).toBool()};
    }
    node.endArray();
    node.endStructure();
    return entries;
}

QString menuPath(const QString& service) {
    QDBusInterface item(service, "/StatusNotifierItem", "org.kde.StatusNotifierItem");
    return item.property("Menu").value<QDBusObjectPath>().path();
}

}  // namespace

bool PanelWatcher::registerOnSessionBus() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    return bus.registerObject("/StatusNotifierWatcher", this, QDBusConnection::ExportAllContents) &&
           bus.registerService("org.kde.StatusNotifierWatcher");
}

void PanelWatcher::RegisterStatusNotifierItem(const QString& service, const QDBusMessage& message) {
    items += service.startsWith(u'/') ? message.service() : service;
}

QList<MenuEntry> openTrayMenu(const QString& service) {
    QDBusInterface menu(service, menuPath(service), "com.canonical.dbusmenu");
    if (menu.call("AboutToShow", 0).type() != QDBusMessage::ReplyMessage) return {};
    const QDBusMessage layout = menu.call("GetLayout", 0, -1, QStringList());
    if (layout.type() != QDBusMessage::ReplyMessage) return {};
    return menuEntries(layout.arguments().value(1).value<QDBusArgument>());
}

void clickTrayMenu(const QString& service, int id) {
    QDBusInterface menu(service, menuPath(service), "com.canonical.dbusmenu");
    menu.call("Event", id, QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(0)), 0u);
}
