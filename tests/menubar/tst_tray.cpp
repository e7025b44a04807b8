#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusMetaType>
#include <QDBusReply>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "FakeSlack.h"
#include "PrivateBus.h"

// A panel's side of the tray protocol: it registers items and says a host is there.
class Watcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems MEMBER items)

  public:
    bool hostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    QStringList items;

  public slots:
    void RegisterStatusNotifierItem(const QString& service, const QDBusMessage& message) {
        items += service.startsWith(u'/') ? message.service() : service;
    }
    void RegisterStatusNotifierHost(const QString&) {}

  signals:
    void StatusNotifierItemRegistered(const QString& service);
};

namespace {

struct Entry {
    int id = 0;
    QString label;
    QString type;
    bool enabled = true;
};

// Reads a dbusmenu layout node, (ia{sv}av), into a flat list of its children.
QList<Entry> menuEntries(const QDBusArgument& node) {
    QList<Entry> entries;
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
        entries += {childId, props.value("label").toString(), props.value("type").toString(),
                    props.value("enabled", true).toBool()};
    }
    return entries;
}

}  // namespace

// The built program's tray item, used the way a desktop panel uses it: over D-Bus, with the
// program drawing into a real X server.
class TrayTest : public QObject {
    Q_OBJECT

  private:
    PrivateBus bus_;
    FakeSlack slack_;
    QProcess xserver_;
    QProcess program_;
    QTemporaryDir home_;
    Watcher watcher_;

  private slots:
    void initTestCase() {
        QVERIFY(bus_.isRunning());
        QDBusConnection bus = QDBusConnection::sessionBus();
        QVERIFY(bus.registerObject("/StatusNotifierWatcher", &watcher_,
                                   QDBusConnection::ExportAllContents));
        QVERIFY(bus.registerService("org.kde.StatusNotifierWatcher"));
        xserver_.start("Xvfb",
                       {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "800x600x24"});
        QVERIFY2(xserver_.waitForReadyRead(10'000), "Xvfb did not start");
        const QByteArray display = xserver_.readLine().trimmed();
        QVERIFY(!display.isEmpty());

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("HOME", home_.path());
        environment.insert("XDG_CONFIG_HOME", home_.filePath(".config"));
        environment.insert("DISPLAY", ":" + display);
        environment.insert("QT_QPA_PLATFORM", "xcb");
        environment.insert("TRACKGLINT_SLACK_URL", slack_.url());
        program_.setProcessEnvironment(environment);
        program_.setProcessChannelMode(QProcess::ForwardedChannels);
        program_.start(TRACKGLINT_PROGRAM, {});
        QVERIFY(program_.waitForStarted());
    }
    void cleanupTestCase() {
        program_.kill();
        program_.waitForFinished();
        xserver_.terminate();
        xserver_.waitForFinished();
    }

    void aPanelReadsTheMenuAndClicksAnEntry() {
        QTRY_COMPARE_WITH_TIMEOUT(watcher_.items.size(), 1, 30'000);
        QDBusInterface item(watcher_.items[0], "/StatusNotifierItem", "org.kde.StatusNotifierItem");
        QTRY_COMPARE_WITH_TIMEOUT(item.property("Title").toString(), QStringLiteral("Trackglint"),
                                  10'000);
        const QString menuPath = item.property("Menu").value<QDBusObjectPath>().path();
        QDBusInterface menu(watcher_.items[0], menuPath, "com.canonical.dbusmenu");
        QVERIFY(menu.isValid());

        QVERIFY(menu.call("AboutToShow", 0).type() == QDBusMessage::ReplyMessage);
        const QDBusMessage layout = menu.call("GetLayout", 0, -1, QStringList());
        QCOMPARE(layout.type(), QDBusMessage::ReplyMessage);
        const QList<Entry> entries =
            menuEntries(layout.arguments().value(1).value<QDBusArgument>());
        QStringList seen;
        for (const Entry& entry : entries) seen += entry.type == "separator" ? "-" : entry.label;
        QCOMPARE(seen,
                 QStringList({"Sign in with Slack…", "-", "Open Trackglint…", "Quit Trackglint"}));

        menu.call("Event", entries.last().id, QStringLiteral("clicked"),
                  QVariant::fromValue(QDBusVariant(0)), 0u);
        QVERIFY(program_.waitForFinished(30'000));
        QCOMPARE(program_.exitCode(), 0);
        QCOMPARE(slack_.requests().size(), 0);
    }
};

QTEST_GUILESS_MAIN(TrayTest)
#include "tst_tray.moc"
