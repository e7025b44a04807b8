#pragma once

#include <QDBusObjectPath>
#include <QIcon>
#include <QObject>
#include <QPoint>
#include <functional>

#include "menubar/linux/TrayTypes.h"

// The program's item in a panel that speaks the StatusNotifierItem protocol: its icon, title,
// tooltip and the path of its menu. The item is the menu: a panel that honours ItemIsMenu opens
// the menu itself on any click, where it chooses; one that asks the item instead (Activate,
// ContextMenu) is answered through `onMenuRequested`, with the position it gave.
//
// Register it on the bus as /StatusNotifierItem with QDBusConnection::ExportAllContents, after
// registerTrayTypes().
class StatusNotifierItem : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_PROPERTY(QString Category READ category)
    Q_PROPERTY(QString Id READ id)
    Q_PROPERTY(QString Title READ title)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(int WindowId READ windowId)
    Q_PROPERTY(QString IconThemePath READ noName)
    Q_PROPERTY(QDBusObjectPath Menu READ menu)
    Q_PROPERTY(bool ItemIsMenu READ itemIsMenu)
    Q_PROPERTY(QString IconName READ noName)
    Q_PROPERTY(IconPixmaps IconPixmap READ iconPixmap)
    Q_PROPERTY(QString OverlayIconName READ noName)
    Q_PROPERTY(IconPixmaps OverlayIconPixmap READ noPixmaps)
    Q_PROPERTY(QString AttentionIconName READ noName)
    Q_PROPERTY(IconPixmaps AttentionIconPixmap READ noPixmaps)
    Q_PROPERTY(QString AttentionMovieName READ noName)
    Q_PROPERTY(ToolTip ToolTip READ toolTip)

  public:
    StatusNotifierItem(QString title, QDBusObjectPath menu, QObject* parent = nullptr);

    QString category() const { return QStringLiteral("ApplicationStatus"); }
    QString id() const;
    QString title() const { return title_; }
    QString status() const { return QStringLiteral("Active"); }
    int windowId() const { return 0; }
    QDBusObjectPath menu() const { return menu_; }
    bool itemIsMenu() const { return true; }
    IconPixmaps iconPixmap() const { return pixmaps_; }
    ToolTip toolTip() const { return toolTip_; }
    QString noName() const { return {}; }
    IconPixmaps noPixmaps() const { return {}; }

    void setIcon(const QIcon& icon);
    // The tooltip's first line is its title, the rest its text.
    void setToolTip(const QString& toolTip);

  public slots:
    void Activate(int x, int y);
    void ContextMenu(int x, int y);
    void SecondaryActivate(int, int) {}
    void Scroll(int, const QString&) {}
    void ProvideXdgActivationToken(const QString&) {}

  signals:
    void NewTitle();
    void NewIcon();
    void NewAttentionIcon();
    void NewOverlayIcon();
    void NewToolTip();
    void NewStatus(const QString& status);

  public:
    // Called when the panel asks for the menu at a position, in its screen's coordinates.
    std::function<void(const QPoint& position)> onMenuRequested;

  private:
    QString title_;
    QDBusObjectPath menu_;
    IconPixmaps pixmaps_;
    ToolTip toolTip_;
};
