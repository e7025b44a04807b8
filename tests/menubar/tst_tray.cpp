#include <algorithm>

#include <QDBusInterface>
#include <QJsonArray>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include "FakeSlack.h"
#include "FakeSpotify.h"
#include "Panel.h"
#include "PrivateBus.h"
#include "TestFiles.h"

// The built program's tray item and launch, used the way a desktop uses them: over D-Bus, with
// the program drawing into a real X server.
class TrayTest : public QObject {
    Q_OBJECT

  private:
    PrivateBus bus_;
    FakeSlack slack_;
    QProcess xserver_;
    QTemporaryDir home_;
    QProcessEnvironment environment_ = QProcessEnvironment::systemEnvironment();
    PanelWatcher watcher_;
    QString installed_;

    // Starts the program; with `uptime`, in a namespace where the system has been up that long.
    std::unique_ptr<QProcess> launch(const QStringList& arguments, int uptime = -1) {
        auto program = std::make_unique<QProcess>();
        program->setProcessEnvironment(environment_);
        program->setProcessChannelMode(QProcess::ForwardedChannels);
        QStringList command{installed_};
        if (uptime >= 0) {
            QFile clock("/proc/uptime");
            const int offset = clock.open(QIODevice::ReadOnly)
                                   ? uptime - int(clock.readAll().split('.').value(0).toDouble())
                                   : 0;
            command = QStringList{"--time", "--boottime", QString::number(offset)} + command;
        }
        program->start(uptime >= 0 ? "unshare" : command.takeFirst(), command + arguments);
        return program;
    }

    // Whether `program` has ended. Waiting for that must serve this process's events, for the
    // program asks the panel, played here, whether there is a tray.
    static bool ended(const QProcess& program) { return program.state() == QProcess::NotRunning; }

    void xdotool(const QStringList& arguments) {
        QProcess command;
        command.setProcessEnvironment(environment_);
        command.start("xdotool", arguments);
        command.waitForFinished();
    }

    int visibleWindows() {
        QProcess search;
        search.setProcessEnvironment(environment_);
        search.start("xdotool", {"search", "--onlyvisible", "--name", "^Trackglint$"});
        search.waitForFinished();
        return int(search.readAllStandardOutput().count('\n'));
    }

    // Where the program's windows show on the screen, its popup menus among them.
    QList<QPoint> windowPositions() {
        QProcess search;
        search.setProcessEnvironment(environment_);
        search.start("xdotool", {"search", "--onlyvisible", "--classname", "trackglint",
                                 "getwindowgeometry", "%@"});
        search.waitForFinished();
        static const QRegularExpression position("Position: (\\d+),(\\d+)");
        QList<QPoint> positions;
        for (const auto& found : position.globalMatch(search.readAllStandardOutput()))
            positions += QPoint(found.captured(1).toInt(), found.captured(2).toInt());
        return positions;
    }

  private slots:
    void initTestCase() {
        QVERIFY(bus_.isRunning());
        QVERIFY(watcher_.registerOnSessionBus());
        xserver_.start("Xvfb",
                       {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "800x600x24"});
        QVERIFY2(xserver_.waitForReadyRead(10'000), "Xvfb did not start");
        const QByteArray display = xserver_.readLine().trimmed();
        QVERIFY(!display.isEmpty());
        installed_ = installProgram(TRACKGLINT_PROGRAM, home_.path());
        QVERIFY(!installed_.isEmpty());
        environment_.insert("HOME", home_.path());
        environment_.insert("XDG_CONFIG_HOME", home_.filePath(".config"));
        environment_.insert("DISPLAY", ":" + display);
        environment_.insert("QT_QPA_PLATFORM", "xcb");
        environment_.insert("TRACKGLINT_SLACK_URL", slack_.url());
    }
    void cleanupTestCase() {
        xserver_.terminate();
        xserver_.waitForFinished();
    }

    // Signed out, the program shows its window and a tray item whose menu a panel can use.
    void aPanelReadsTheMenuAndClicksAnEntry() {
        const std::unique_ptr<QProcess> program = launch({});
        QTRY_COMPARE_WITH_TIMEOUT(watcher_.items.size(), 1, 30'000);
        QDBusInterface item(watcher_.items[0], "/StatusNotifierItem", "org.kde.StatusNotifierItem");
        QTRY_COMPARE_WITH_TIMEOUT(item.property("Title").toString(), QStringLiteral("Trackglint"),
                                  10'000);
        QTRY_COMPARE(visibleWindows(), 1);
        const QList<MenuEntry> entries = openTrayMenu(watcher_.items[0]);
        QStringList seen;
        for (const MenuEntry& entry : entries)
            seen += entry.type == "separator" ? "-" : entry.label;
        QCOMPARE(seen,
                 QStringList({"Sign in with Slack…", "-", "Open Trackglint…", "Quit Trackglint"}));

        clickTrayMenu(watcher_.items[0], entries.last().id);
        QTRY_VERIFY_WITH_TIMEOUT(ended(*program), 30'000);
        QCOMPARE(program->exitCode(), 0);
        QCOMPARE(slack_.requests().size(), 0);
    }

    // Texts show in the panel exactly as written, whatever they hold, a line per workspace; the
    // entries keep their ids from one opening to the next, and the panel is told only of what
    // changed. A left click opens the menu where the panel asks.
    void thePanelShowsTheTextsAndKeepsTheEntries() {
        const QJsonObject second{{"slackToken", "xoxp-2"},
                                 {"slackName", "Ada"},
                                 {"teamUrl", "https://builders.slack.com/"}};
        QVERIFY(writeSettings(home_.filePath(".trackglint-mac.json"),
                              {{"slackToken", "xoxp-1"},
                               {"slackName", "R&B__fan_ &&co &"},
                               {"teamUrl", "https://acme.slack.com/"},
                               {"moreWorkspaces", QJsonArray{second}}}));
        slack_.shows(QString());  // so no error line comes or goes between openings
        slack_.script("users.profile.set", R"({"ok":true})");
        FakeSpotify spotify(bus_.address());
        QVERIFY(spotify.run());
        spotify.play("Rock & Roll_", {"Band && Co__"});
        watcher_.items.clear();
        const std::unique_ptr<QProcess> program = launch({});
        QTRY_COMPARE_WITH_TIMEOUT(watcher_.items.size(), 1, 30'000);
        TrayMenu menu(watcher_.items[0]);
        const auto labels = [](const QList<MenuEntry>& entries, qsizetype from, qsizetype count) {
            QStringList labels;
            for (const MenuEntry& entry : entries.mid(from, count)) labels += entry.label;
            return labels;
        };
        const QStringList sharing{"▶ Rock & Roll_ — Band && Co__",
                                  "Don't Share Band && Co__",
                                  "Open Trackglint…",
                                  "R&B__fan_ &&co & · acme.slack.com — sharing",
                                  "Ada · builders.slack.com — sharing",
                                  "Add Another Workspace…"};
        QList<MenuEntry> first;
        QTRY_COMPARE_WITH_TIMEOUT(labels(first = menu.open(), 0, 6), sharing, 10'000);
        // The tooltip's text is markup to XFCE's panel always, to Plasma's when it looks like it:
        // marked up and escaped, it shows as written on both, not emptied by the "&".
        const auto [tipTitle, tipText] = trayToolTip(watcher_.items[0]);
        QCOMPARE(tipTitle, "Trackglint");
        QCOMPARE(tipText, "<span>▶ Rock &amp; Roll_ — Band &amp;&amp; Co__</span>");
        const uint revision = menu.revision;
        QTest::qWait(100);  // the signals of that opening, sent before its answer, arrive
        menu.signalsSeen.clear();
        const auto ids = [](const QList<MenuEntry>& entries) {
            QList<int> ids;
            for (const MenuEntry& entry : entries) ids += entry.id;
            return ids;
        };
        QCOMPARE(ids(menu.open()), ids(first));
        spotify.pause();
        QTRY_COMPARE_WITH_TIMEOUT(labels(menu.open(), 2, 2),
                                  QStringList({"R&B__fan_ &&co & · acme.slack.com — not sharing",
                                               "Ada · builders.slack.com — not sharing"}),
                                  10'000);
        QCOMPARE(menu.open().value(0).label, "nothing playing");
        QList<int> shown = ids(first);
        shown.removeAt(1);  // "Don't Share …" is hidden while nothing plays
        QCOMPARE(ids(menu.open()), shown);
        QCOMPARE(menu.revision, revision);
        QTest::qWait(100);
        QVERIFY(menu.signalsSeen.contains("ItemsPropertiesUpdated"));  // the lines' texts
        QVERIFY(!menu.signalsSeen.contains("LayoutUpdated"));

        // A panel that honours it opens its own copy on any click; one that asks gets it there,
        // or, where the panel reserves the top 30 pixels, against its edge.
        QDBusInterface item(watcher_.items[0], "/StatusNotifierItem", "org.kde.StatusNotifierItem");
        QVERIFY(item.property("ItemIsMenu").toBool());
        menu.activate(300, 200);
        QTRY_VERIFY(windowPositions().contains(QPoint(300, 200)));
        xdotool({"key", "Escape"});
        QTRY_VERIFY(!windowPositions().contains(QPoint(300, 200)));
        QCOMPARE(QProcess::execute(
                     "xprop", {"-display", environment_.value("DISPLAY"), "-root", "-f",
                               "_NET_WORKAREA", "32c", "-set", "_NET_WORKAREA", "0, 30, 800, 570"}),
                 0);
        QTest::qWait(200);  // the program hears of the new work area
        menu.activate(790, 10);
        const auto againstThePanel = [this] {
            const QList<QPoint> positions = windowPositions();
            return std::any_of(positions.cbegin(), positions.cend(),
                               [](const QPoint& at) { return at.y() == 30 && at.x() > 400; });
        };
        QTRY_VERIFY(againstThePanel());
        program->terminate();
        QTRY_VERIFY_WITH_TIMEOUT(ended(*program), 10'000);
        QFile::remove(home_.filePath(".trackglint-mac.json"));
    }

    // Started at login, the program stays in the tray; a second start shows the running copy's
    // window and ends without a tray item or a word to Slack; a moved copy takes over.
    void oneCopyRunsAtATime() {
        if (QProcess::execute("unshare", {"--time", "--boottime", "0", "true"}) != 0)
            QSKIP("this system gives no time namespaces to start the program 'at login'");
        QFile settings(home_.filePath(".trackglint-mac.json"));
        QVERIFY(settings.open(QIODevice::WriteOnly) &&
                settings.write(R"({"slackToken":"xoxp-1"})"));
        settings.close();
        watcher_.items.clear();
        const std::unique_ptr<QProcess> first = launch({}, 60);
        QTRY_COMPARE_WITH_TIMEOUT(watcher_.items.size(), 1, 30'000);
        QTest::qWait(1000);
        QCOMPARE(visibleWindows(), 0);

        const qsizetype requests = slack_.requests().size();
        const std::unique_ptr<QProcess> second = launch({});
        QTRY_VERIFY_WITH_TIMEOUT(ended(*second), 10'000);
        QCOMPARE(second->exitCode(), 0);
        QTRY_COMPARE(visibleWindows(), 1);
        QCOMPARE(watcher_.items.size(), 1);
        QCOMPARE(slack_.requests().size(), requests);

        const std::unique_ptr<QProcess> moved = launch({"--moved"}, 60);
        QTRY_VERIFY_WITH_TIMEOUT(ended(*first), 10'000);
        QCOMPARE(first->exitCode(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(watcher_.items.size(), 2, 30'000);
        QVERIFY(moved->state() == QProcess::Running);
        moved->terminate();
        QTRY_VERIFY_WITH_TIMEOUT(ended(*moved), 10'000);
    }
};

QTEST_GUILESS_MAIN(TrayTest)
#include "tst_tray.moc"
