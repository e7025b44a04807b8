#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QTimer>

#include "menubar/linux/TrayTypes.h"

class QAction;
class QMenu;

// Shows a QMenu to a panel over com.canonical.dbusmenu: each entry keeps the id it was given
// for as long as it exists, so a menu whose entries are updated in place keeps its layout and
// its revision, and the panel learns only of the properties that changed.
//
// Labels read as the entry's text, exactly: the text is kept in Qt's form ("&&" for "&"), which
// is undone, and every "_" is doubled, since a panel takes "_x" for a mnemonic marker and "__"
// for one underscore. A click runs the entry's action from the event loop, so that an alert it
// opens does not hold the panel's call.
//
// Register it on the bus with QDBusConnection::ExportAllContents, after registerTrayTypes().
class DBusMenuExporter : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.canonical.dbusmenu")
    Q_PROPERTY(uint Version READ version)
    Q_PROPERTY(QString TextDirection READ textDirection)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(QStringList IconThemePath READ iconThemePath)

  public:
    explicit DBusMenuExporter(QMenu& menu, QObject* parent = nullptr);

    uint version() const { return 3; }
    QString textDirection() const;
    QString status() const { return QStringLiteral("normal"); }
    QStringList iconThemePath() const { return {}; }

    // The label a panel shows as `text`, an entry's text in Qt's form.
    static QString labelFor(const QString& text);

  public slots:
    uint GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                   MenuLayout& layout);
    MenuItems GetGroupProperties(const QList<int>& ids, const QStringList& propertyNames);
    QDBusVariant GetProperty(int id, const QString& name);
    void Event(int id, const QString& eventId, const QDBusVariant& data, uint timestamp);
    QList<int> EventGroup(const MenuEvents& events);
    bool AboutToShow(int id);
    QList<int> AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors);

  signals:
    void ItemsPropertiesUpdated(const MenuItems& updatedProps,
                                const MenuItemKeysList& removedProps);
    void LayoutUpdated(uint revision, int parent);
    void ItemActivationRequested(int id, uint timestamp);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void follow(QMenu* menu);
    int idOf(QAction* action);
    QMenu* menuOf(int id) const;
    QVariantMap propertiesOf(int id) const;
    MenuLayout layoutOf(int id, int depth, const QStringList& names) const;
    void sendChanges();

    QMenu& menu_;
    QHash<QAction*, int> ids_;
    QHash<int, QPointer<QAction>> actions_;
    int nextId_ = 1;
    uint revision_ = 1;
    QSet<int> changed_;  // entries whose properties changed since the panel was last told
    QTimer sendChanges_;
};
