#include "menubar/linux/DBusMenuExporter.h"

#include <QActionEvent>
#include <QBuffer>
#include <QGuiApplication>
#include <QMenu>

namespace {

// The root of the menu, which the protocol numbers 0.
constexpr int ROOT = 0;

QVariantMap only(const QVariantMap& properties, const QStringList& names) {
    if (names.isEmpty()) return properties;
    QVariantMap chosen;
    for (const QString& name : names) {
        if (properties.contains(name)) chosen.insert(name, properties.value(name));
    }
    return chosen;
}

QByteArray png(const QIcon& icon) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    icon.pixmap(16).save(&buffer, "PNG");
    return buffer.data();
}

}  // namespace

DBusMenuExporter::DBusMenuExporter(QMenu& menu, QObject* parent) : QObject(parent), menu_(menu) {
    sendChanges_.setSingleShot(true);
    sendChanges_.setInterval(0);
    connect(&sendChanges_, &QTimer::timeout, this, &DBusMenuExporter::sendChanges);
    follow(&menu_);
}

QString DBusMenuExporter::textDirection() const {
    return QGuiApplication::layoutDirection() == Qt::RightToLeft ? QStringLiteral("rtl")
                                                                 : QStringLiteral("ltr");
}

QString DBusMenuExporter::labelFor(const QString& text) {
    QString label;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && ++i == text.size()) break;  // "&&" is "&"; a lone "&" marks
        label += text[i] == u'_' ? QStringLiteral("__") : QString(text[i]);
    }
    return label;
}

// Gives the menu's entries, and those of its submenus, their ids, and watches for entries
// coming and going.
void DBusMenuExporter::follow(QMenu* menu) {
    menu->installEventFilter(this);
    for (QAction* action : menu->actions()) idOf(action);
}

int DBusMenuExporter::idOf(QAction* action) {
    if (const auto known = ids_.constFind(action); known != ids_.cend()) return *known;
    const int id = nextId_++;
    ids_.insert(action, id);
    actions_.insert(id, action);
    connect(action, &QAction::changed, this, [this, id] {
        changed_.insert(id);
        sendChanges_.start();
    });
    connect(action, &QObject::destroyed, this, [this, action, id] {
        ids_.remove(action);
        actions_.remove(id);
        changed_.remove(id);
    });
    if (action->menu()) follow(action->menu());
    return id;
}

bool DBusMenuExporter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ActionAdded || event->type() == QEvent::ActionRemoved) {
        QMenu* menu = static_cast<QMenu*>(watched);
        idOf(static_cast<QActionEvent*>(event)->action());
        emit LayoutUpdated(++revision_, menu == &menu_ ? ROOT : ids_.value(menu->menuAction()));
    }
    return QObject::eventFilter(watched, event);
}

QMenu* DBusMenuExporter::menuOf(int id) const {
    if (id == ROOT) return &menu_;
    const QAction* action = actions_.value(id);
    return action ? action->menu() : nullptr;
}

QVariantMap DBusMenuExporter::propertiesOf(int id) const {
    if (id == ROOT) return {{QStringLiteral("children-display"), QStringLiteral("submenu")}};
    const QAction* action = actions_.value(id);
    if (!action) return {};
    QVariantMap properties{{QStringLiteral("visible"), action->isVisible()}};
    if (action->isSeparator()) {
        properties.insert(QStringLiteral("type"), QStringLiteral("separator"));
        return properties;
    }
    properties.insert(QStringLiteral("label"), labelFor(action->text()));
    properties.insert(QStringLiteral("enabled"), action->isEnabled());
    if (action->isCheckable()) {
        properties.insert(QStringLiteral("toggle-type"), QStringLiteral("checkmark"));
        properties.insert(QStringLiteral("toggle-state"), action->isChecked() ? 1 : 0);
    }
    if (action->menu()) {
        properties.insert(QStringLiteral("children-display"), QStringLiteral("submenu"));
    }
    if (!action->icon().isNull())
        properties.insert(QStringLiteral("icon-data"), png(action->icon()));
    return properties;
}

// The entry `id` with its properties and, `depth` levels down (all of them when negative), the
// entries under it.
MenuLayout DBusMenuExporter::layoutOf(int id, int depth, const QStringList& names) const {
    MenuLayout layout{id, only(propertiesOf(id), names), {}};
    const QMenu* menu = menuOf(id);
    if (!menu || depth == 0) return layout;
    for (QAction* action : menu->actions()) {
        layout.children += layoutOf(ids_.value(action), depth - 1, names);
    }
    return layout;
}

uint DBusMenuExporter::GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                                 MenuLayout& layout) {
    layout = layoutOf(parentId, recursionDepth, propertyNames);
    return revision_;
}

MenuItems DBusMenuExporter::GetGroupProperties(const QList<int>& ids,
                                               const QStringList& propertyNames) {
    MenuItems items;
    for (const int id : ids) {
        if (id == ROOT || actions_.value(id)) items += {id, only(propertiesOf(id), propertyNames)};
    }
    return items;
}

QDBusVariant DBusMenuExporter::GetProperty(int id, const QString& name) {
    return QDBusVariant(propertiesOf(id).value(name));
}

void DBusMenuExporter::Event(int id, const QString& eventId, const QDBusVariant&, uint) {
    QAction* action = actions_.value(id);
    if (!action || eventId != QLatin1String("clicked")) return;
    QMetaObject::invokeMethod(action, &QAction::trigger, Qt::QueuedConnection);
}

QList<int> DBusMenuExporter::EventGroup(const MenuEvents& events) {
    QList<int> idErrors;
    for (const MenuEvent& event : events) {
        if (!actions_.value(event.id)) idErrors += event.id;
        Event(event.id, event.eventId, event.data, event.timestamp);
    }
    return idErrors;
}

// Lets the menu bring its entries up to date, and tells the panel what changed before it
// answers. The answer says whether the layout changed, which asks the panel to read it again.
bool DBusMenuExporter::AboutToShow(int id) {
    QMenu* menu = menuOf(id);
    if (!menu) return false;
    const uint revision = revision_;
    emit menu->aboutToShow();
    sendChanges();
    return revision_ != revision;
}

QList<int> DBusMenuExporter::AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors) {
    QList<int> updatesNeeded;
    for (const int id : ids) {
        if (!menuOf(id)) idErrors += id;
        if (AboutToShow(id)) updatesNeeded += id;
    }
    return updatesNeeded;
}

// Sends the properties of the entries that changed, all at once.
void DBusMenuExporter::sendChanges() {
    sendChanges_.stop();
    if (changed_.isEmpty()) return;
    MenuItems updated;
    for (const int id : std::as_const(changed_)) updated += {id, propertiesOf(id)};
    changed_.clear();
    emit ItemsPropertiesUpdated(updated, {});
}
