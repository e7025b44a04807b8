#include "Panel.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusObjectPath>

namespace {

// Reads a dbusmenu layout node, (ia{sv}av), into a flat list of its children that show.
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
        if (!props.value("visible", true).toBool()) continue;
        entries += {childId, shownLabel(props.value("label").toString()),
                    props.value("type").toString(), props.value("enabled", true).toBool()};
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

QString shownLabel(const QString& label) {
    QString shown;
    for (qsizetype i = 0; i < label.size(); ++i) {
        if (label[i] == u'_' && ++i == label.size()) break;
        shown += label[i];
    }
    return shown;
}

TrayMenu::TrayMenu(const QString& service) : service_(service), path_(menuPath(service)) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString menu = QStringLiteral("com.canonical.dbusmenu");
    bus.connect(service_, path_, menu, "LayoutUpdated", this, SLOT(layoutUpdated()));
    bus.connect(service_, path_, menu, "ItemsPropertiesUpdated", this, SLOT(propertiesUpdated()));
}

QList<MenuEntry> TrayMenu::open() {
    QDBusInterface menu(service_, path_, "com.canonical.dbusmenu");
    if (menu.call("AboutToShow", 0).type() != QDBusMessage::ReplyMessage) return {};
    const QDBusMessage layout = menu.call("GetLayout", 0, -1, QStringList());
    if (layout.type() != QDBusMessage::ReplyMessage) return {};
    revision = layout.arguments().value(0).toUInt();
    return menuEntries(layout.arguments().value(1).value<QDBusArgument>());
}

void TrayMenu::click(int id) {
    QDBusInterface menu(service_, path_, "com.canonical.dbusmenu");
    menu.call("Event", id, QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(0)), 0u);
}

void TrayMenu::activate(int x, int y) {
    QDBusInterface(service_, "/StatusNotifierItem", "org.kde.StatusNotifierItem")
        .call("Activate", x, y);
}

QList<MenuEntry> openTrayMenu(const QString& service) {
    return TrayMenu(service).open();
}

void clickTrayMenu(const QString& service, int id) {
    TrayMenu(service).click(id);
}

std::pair<QString, QString> trayToolTip(const QString& service) {
    QDBusMessage get = QDBusMessage::createMethodCall(service, "/StatusNotifierItem",
                                                      "org.freedesktop.DBus.Properties", "Get");
    get << QStringLiteral("org.kde.StatusNotifierItem") << QStringLiteral("ToolTip");
    const QDBusMessage answer = QDBusConnection::sessionBus().call(get);
    const QDBusArgument tip =
        answer.arguments().value(0).value<QDBusVariant>().variant().value<QDBusArgument>();
    QString iconName, title, text;
    tip.beginStructure();
    tip >> iconName;
    tip.beginArray();
    while (!tip.atEnd()) {
        int width = 0, height = 0;
        QByteArray pixels;
        tip.beginStructure();
        tip >> width >> height >> pixels;
        tip.endStructure();
    }
    tip.endArray();
    tip >> title >> text;
    tip.endStructure();
    return {title, text};
}
