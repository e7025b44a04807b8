#include <QDir>
#include <QJsonArray>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "FakeSlack.h"
#include "TestFiles.h"
#include "TestParts.h"
#include "menubar/MenuPlacement.h"
#include "menubar/StatusMenu.h"
#ifndef Q_OS_MACOS
#include "menubar/linux/DBusMenuExporter.h"
#endif
#include "ui/MarkDrawing.h"

namespace {

// What a user sees of an entry: "&&" shows as "&", a single "&" marks a mnemonic and is hidden.
QString shown(const QString& text) {
    QString seen;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && ++i == text.size()) break;
        seen += text[i];
    }
    return seen;
}

// One line per entry shown: "-" for a separator, "~" before a disabled one, "[x] " or "[ ] "
// before a checkable one, "> " before one that opens a submenu, and a shortcut after the title.
QStringList entries(const QMenu& menu) {
    QStringList lines;
    for (const QAction* action : menu.actions()) {
        if (!action->isVisible()) continue;
        if (action->isSeparator()) {
            lines += "-";
            continue;
        }
        QString line = action->isEnabled() ? QString() : QStringLiteral("~");
        if (action->isCheckable()) line += action->isChecked() ? "[x] " : "[ ] ";
        if (action->menu()) line += "> ";
        line += shown(action->text());
        if (!action->shortcut().isEmpty()) line += " ⌨ " + action->shortcut().toString();
        lines += line;
    }
    return lines;
}

const QStringList SIGNED_OUT{"Sign in with Slack…", "-", "Open Trackglint…", "Quit Trackglint"};

}  // namespace

class StatusMenuTest : public QObject {
    Q_OBJECT

  private:
    FakeSlack slack_;
    QTemporaryDir dir_;
    QString settingsPath_;
    std::unique_ptr<TestParts> parts_;
    std::unique_ptr<StatusMenu> menu_;
    QStringList called_;

    void start(const QJsonObject& settings, Distribution distribution = Distribution::SelfManaged) {
        QVERIFY(writeSettings(settingsPath_, settings));
        menu_.reset();
        parts_ = std::make_unique<TestParts>(settingsPath_, 0, nullptr, distribution);
        StatusMenu::ProgramActions program;
        program.openDashboard = [this] { called_ += "openDashboard"; };
        program.quit = [this] { called_ += "quit"; };
        menu_ = std::make_unique<StatusMenu>(parts_->config, parts_->state, parts_->actions,
                                             parts_->prompts, parts_->loginItem, program);
    }

    QStringList opened() {
        emit menu_->menu().aboutToShow();
        return entries(menu_->menu());
    }

    void choose(const QString& title) {
        for (QAction* action : menu_->menu().actions()) {
            if (action->isVisible() && shown(action->text()) == title) return action->trigger();
        }
        QFAIL(qPrintable("no entry " + title));
    }

  private slots:
    void initTestCase() {
        slack_.useForSlack();
        qputenv("TRACKGLINT_BROKER", slack_.url().toUtf8());
        slack_.script("users.profile.get", FakeSlack::profileShowing(""));
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        settingsPath_ = dir_.filePath(".trackglint-mac.json");
        qputenv("XDG_CONFIG_HOME", dir_.filePath("config").toUtf8());
        qputenv("XDG_DATA_HOME", dir_.filePath("data").toUtf8());
        qputenv("XDG_DATA_DIRS", dir_.filePath("data").toUtf8());
        qputenv("PATH", dir_.filePath("bin").toUtf8());
    }
    void cleanup() {
        menu_.reset();
        parts_.reset();
        called_.clear();
        QDir(dir_.filePath("config")).removeRecursively();
    }

    void theMenuFollowsTheState_data() {
        QTest::addColumn<QJsonObject>("settings");
        QTest::addColumn<QString>("state");  // the words below, in any order
        QTest::addColumn<QStringList>("expected");
        const QJsonObject signedIn{{"slackToken", "xoxp-1"},
                                   {"slackName", "Ada & Co"},
                                   {"teamUrl", "https://acme.slack.com/"}};
        QJsonObject paused = signedIn;
        paused.insert("paused", true);
        paused.insert("workHours", QJsonObject{{"enabled", true}, {"start", "08:30"}});
        // Slack signed the user out of the first workspace, not of the second, or the third,
        // whose settings hold no address.
        QJsonObject second = signedIn;
        second.remove("slackToken");
        second.insert("moreWorkspaces",
                      QJsonArray{QJsonObject{{"slackToken", "xoxp-2"},
                                             {"slackName", "Ada"},
                                             {"teamUrl", "https://builders.slack.com/"}},
                                 QJsonObject{{"slackToken", "xoxp-3"},
                                             {"slackName", "Ada"},
                                             {"slackTeamId", "T3"},
                                             {"slackTeamName", "Third"}}});
        QTest::newRow("signed out") << QJsonObject() << "" << SIGNED_OUT;
        QTest::newRow("signed out, error")
            << QJsonObject() << "error"
            << QStringList{"Sign in with Slack…", "~⚠️ Rock & Roll failed", "-",
                           "Open Trackglint…", "Quit Trackglint"};
        QTest::newRow("signed out of every workspace")
            << QJsonObject{{"slackName", "Ada"}, {"teamUrl", "https://acme.slack.com/"}} << ""
            << SIGNED_OUT;
        const QStringList installed{"~▶ Rock & Roll — Band",
                                    "Open Trackglint…",
                                    "~Ada & Co · acme.slack.com — …",
                                    "Add Another Workspace…",
                                    "-",
                                    "Pause",
                                    "[ ] Only during work hours (9:00 AM–5:00 PM)",
                                    "> Status emoji",
                                    "[ ] Start at login",
                                    "-",
                                    "Check for Updates…",
                                    "Disconnect Slack…",
                                    "Quit Trackglint"};
        QTest::newRow("signed in") << signedIn << "installed" << installed;
        // Installed by the package manager, the same menu says where updates come from instead.
        QStringList packaged = installed;
        packaged.replace(packaged.indexOf("Check for Updates…"),
                         "~Updates come from your package manager");
        QTest::newRow("signed in, installed by the package manager")
            << signedIn << "installed packaged" << packaged;
        QTest::newRow("paused, error, via spotifyd, hours on, login on, update")
            << paused << "error login update spotifyd"
            << QStringList{"~⏸ paused",
                           "~via spotifyd",
                           "Open Trackglint…",
                           "~Ada & Co · acme.slack.com — …",
                           "Add Another Workspace…",
                           "~⚠️ Rock & Roll failed",
                           "-",
                           "Resume",
                           "[x] Only during work hours (8:30 AM–5:00 PM)",
                           "> Status emoji",
                           "[x] Start at login",
                           "-",
                           "⬆ Update to 1.4.0…",
                           "Disconnect Slack…",
                           "Quit Trackglint"};
        QTest::newRow("two workspaces, one signed out")
            << second << "installed"
            << QStringList{"~▶ Rock & Roll — Band",
                           "Open Trackglint…",
                           "Ada & Co · acme.slack.com — signed out",
                           "~Ada · builders.slack.com — sharing",
                           "~Ada · Third — sharing",
                           "Add Another Workspace…",
                           "~⚠️ Slack signed you out of acme.slack.com — Sign in again",
                           "-",
                           "Pause",
                           "[ ] Only during work hours (9:00 AM–5:00 PM)",
                           "> Status emoji",
                           "[ ] Start at login",
                           "-",
                           "Check for Updates…",
                           "Disconnect Slack…",
                           "Quit Trackglint"};
    }
    void theMenuFollowsTheState() {
        QFETCH(QJsonObject, settings);
        QFETCH(QString, state);
        QFETCH(QStringList, expected);
        if (state.contains("login"))
            QVERIFY(!platform::XdgAutostart("/opt/trackglint/run").setEnabled(true));
        start(settings, state.contains("packaged") ? Distribution::PackageManager
                                                   : Distribution::SelfManaged);
        parts_->state.setNowPlayingLabel("▶ Rock & Roll — Band");
        parts_->state.setSpotifyMissing(!state.contains("installed") &&
                                        !state.contains("spotifyd"));
        if (state.contains("error"))
            parts_->state.setTrouble(AppState::Trouble::Slack, "Rock & Roll failed");
        if (state.contains("update")) parts_->state.setUpdateAvailable("1.4.0");
        if (state.contains("spotifyd")) parts_->state.setPlayerName("spotifyd");
        const WorkspaceState sharing{WorkspaceState::Kind::Sharing, {}};
        parts_->state.setWorkspaceStates(
            {{"https://builders.slack.com/", sharing}, {"T3", sharing}});
        const QList<QAction*> made = menu_->menu().actions();
        QCOMPARE(opened(), expected);
        QCOMPARE(opened(), expected);
        QCOMPARE(menu_->menu().actions(), made);  // updated in place
    }

    void theEmojiMenuChecksTheEffectiveEmoji_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<std::optional<bool>>("available");
        QTest::addColumn<QString>("checked");
        QTest::newRow("guitar") << ":guitar:" << std::optional<bool>() << "🎸 Guitar";
        QTest::newRow("spotify, lacking") << ":spotify:" << std::optional(false) << "🎵 Note";
        QTest::newRow("spotify, present") << ":spotify:" << std::optional(true) << "Spotify";
    }
    void theEmojiMenuChecksTheEffectiveEmoji() {
        QFETCH(QString, stored);
        QFETCH(std::optional<bool>, available);
        QFETCH(QString, checked);
        start({{"slackToken", "xoxp-1"}, {"emoji", stored}});
        parts_->state.setSpotifyEmojiAvailable(available);
        opened();
        const QMenu* emojis = nullptr;
        for (const QAction* action : menu_->menu().actions()) {
            if (action->menu()) emojis = action->menu();
        }
        QVERIFY(emojis);
        QStringList glyphs, ticked;
        for (const QAction* item : emojis->actions()) {
            glyphs += item->text();
            if (item->isChecked()) ticked += item->text();
        }
        QCOMPARE(glyphs, QStringList({"🎵 Note", "Spotify", "🎧 Headphones", "🎶 Notes", "🎸 Guitar",
                                      "💿 CD", "📻 Radio"}));
        QCOMPARE(ticked, QStringList{checked});
        emojis->actions().value(5)->trigger();
        QCOMPARE(Config(settingsPath_).chosenEmoji(), QStringLiteral(":cd:"));
        QTRY_VERIFY(!slack_.requests("emoji.list").isEmpty());  // as a pick in the window does
    }

    void workHoursSwitchKeepsStoredTimes() {
        start({{"slackToken", "xoxp-1"}, {"workHours", QJsonObject{{"start", "08:30"}}}});
        opened();
        choose("Only during work hours (8:30 AM–5:00 PM)");
        QCOMPARE(Config(settingsPath_).raw().value("workHours").toObject(),
                 QJsonObject({{"start", "08:30"}, {"enabled", true}}));
        start({{"slackToken", "xoxp-1"}});
        opened();
        choose("Only during work hours (9:00 AM–5:00 PM)");
        opened();
        choose("Only during work hours (9:00 AM–5:00 PM)");
        QCOMPARE(Config(settingsPath_).raw().value("workHours").toObject(),
                 QJsonObject({{"start", "09:00"}, {"end", "17:00"}, {"enabled", false}}));
    }

    // While music plays, an entry per artist keeps that artist private: stored, with a step at
    // once, and offered no more while a track of theirs plays.
    void anArtistIsKeptPrivateFromTheMenu() {
        start({{"slackToken", "xoxp-1"}});
        SpotifyState duet = SpotifyState::playing("Duet", "Band, Guest & Co");
        duet.artists = {"Band", "Guest & Co"};
        parts_->state.setPlayingTrack(duet);
        parts_->state.setNowPlayingLabel("▶ Duet — Band, Guest & Co");
        QCOMPARE(opened().mid(0, 4), QStringList({"~▶ Duet — Band, Guest & Co", "Don't Share Band",
                                                  "Don't Share Guest & Co", "Open Trackglint…"}));
        choose("Don't Share Guest & Co");
        QCOMPARE(Config(settingsPath_).privateArtists(), QStringList{"Guest & Co"});
        QCOMPARE(opened().mid(1, 1), QStringList{"Open Trackglint…"});
        QTRY_COMPARE(parts_->state.nowPlayingLabel(), "Spotify isn't running");  // the step
    }

    void entriesCallTheirActions() {
        const QJsonObject signedOut{{"slackName", "Ada"},
                                    {"teamUrl", "https://builders.slack.com/"}};
        start({{"slackToken", "xoxp-1"},
               {"slackClientId", "1111111111.2222222222"},
               {"moreWorkspaces", QJsonArray{signedOut}}});
        parts_->state.setSpotifyMissing(true);
        const QStringList titles{"Open Trackglint…",
                                 "Check for Updates…",
                                 "Quit Trackglint",
                                 "Get Spotify…",
                                 "Pause",
                                 "Start at login",
                                 "Ada · builders.slack.com — signed out",
                                 "Add Another Workspace…"};
        for (const QString& title : titles) {
            opened();
            choose(title);
        }
        QCOMPARE(called_, QStringList({"openDashboard", "quit"}));
        QTRY_VERIFY(!slack_.requests().isEmpty() &&
                    slack_.requests().last().path.startsWith("/version?v="));
        QCOMPARE(parts_->desktop.opened.value(0), QUrl("https://www.spotify.com/download"));
        QCOMPARE(parts_->desktop.opened.size(), 3);  // and Slack's sign-in page, twice
        QVERIFY(parts_->desktop.opened.last().query().contains("code_challenge="));
        QVERIFY(Config(settingsPath_).paused());
        QVERIFY(parts_->loginItem.enabled());
        for (const int answer : {1, 0}) {  // "Cancel", then "Disconnect"
            parts_->desktop.answers = {answer};
            opened();
            choose("Disconnect Slack…");
            QCOMPARE(parts_->desktop.alerts.last().message, QStringLiteral("Disconnect Slack?"));
            QCOMPARE(Config(settingsPath_).slackToken().has_value(), answer == 1);
        }
    }

    // "Share From" lists the players that run, an entry for each kept while it goes and comes
    // back; a choice stores only what differs from the player's default.
    void shareFromListsThePlayers() {
        start({{"slackToken", "xoxp-1"}});
        const SharedPlayer spotify{"org.mpris.MediaPlayer2.spotify", "Spotify", true, true};
        SharedPlayer mpv{"org.mpris.MediaPlayer2.mpv", "mpv", false, false};
        QVERIFY(!opened().contains("> Share From"));
        parts_->state.setPlayers({spotify, mpv});
        QVERIFY(opened().contains("> Share From"));
        const QList<QAction*> all = menu_->menu().actions();
        QMenu* share = (*std::find_if(all.cbegin(), all.cend(), [](QAction* action) {
                           return action->text() == "Share From";
                       }))->menu();
        QCOMPARE(entries(*share), QStringList({"[x] Spotify", "[ ] mpv"}));
        QAction* mpvEntry = share->actions().value(1);
        mpvEntry->trigger();
        QCOMPARE(Config(settingsPath_).raw().value("sharedPlayers").toObject(),
                 QJsonObject({{"org.mpris.MediaPlayer2.mpv", true}}));
        parts_->state.setPlayers({mpv});
        opened();
        QCOMPARE(entries(*share), QStringList({"[ ] mpv"}));
        mpv.shared = true;
        parts_->state.setPlayers({spotify, mpv});
        opened();
        QCOMPARE(share->actions().value(1), mpvEntry);
        mpvEntry->trigger();
        QVERIFY(!Config(settingsPath_).raw().contains("sharedPlayers"));
    }

#ifndef Q_OS_MACOS
    // In the panel's copy, a workspace that comes adds an entry above "Add Another Workspace…",
    // and the panel is asked to read the layout again; one that goes only hides its entry. Every
    // other entry keeps its id and its label.
    void thePanelsCopyFollowsTheWorkspaces() {
        start({{"slackToken", "xoxp-1"}, {"teamUrl", "https://acme.slack.com/"}});
        registerTrayTypes();
        DBusMenuExporter exporter(menu_->menu());
        QSignalSpy layoutChanges(&exporter, &DBusMenuExporter::LayoutUpdated);
        QSignalSpy propertyChanges(&exporter, &DBusMenuExporter::ItemsPropertiesUpdated);
        const auto panelShows = [&exporter] {  // the id and label of each entry that shows
            MenuLayout layout;
            exporter.GetLayout(0, 1, {}, layout);
            QList<std::pair<int, QString>> shown;
            for (const MenuLayout& entry : layout.children) {
                if (entry.properties.value("visible").toBool())
                    shown += {entry.id, entry.properties.value("label").toString()};
            }
            return shown;
        };
        QVERIFY(!exporter.AboutToShow(0));
        const QList<std::pair<int, QString>> before = panelShows();

        parts_->config.addWorkspace(
            Workspace::signedIn("xoxp-2", "Ada", "https://builders.slack.com/"));
        QVERIFY(exporter.AboutToShow(0));
        QList<std::pair<int, QString>> grown = panelShows();
        const auto add = std::find_if(grown.cbegin(), grown.cend(), [](const auto& entry) {
            return entry.second == "Add Another Workspace…";
        });
        QCOMPARE(grown.takeAt(add - grown.cbegin() - 1).second, "Ada · builders.slack.com — …");
        QCOMPARE(grown, before);
        QCOMPARE(layoutChanges.size(), 1);

        propertyChanges.clear();
        parts_->config.removeWorkspace("https://builders.slack.com/");
        QVERIFY(!exporter.AboutToShow(0));
        QCOMPARE(panelShows(), before);
        QCOMPARE(layoutChanges.size(), 1);
        QCOMPARE(propertyChanges.size(), 1);
    }
#endif

    // The menu opens as a panel opens its own: against the panel's edge, beside the item, on
    // the screen; with no panel known, from the point clicked, downward or upward.
    void theMenuOpensAgainstThePanel_data() {
        QTest::addColumn<QRect>("anchor");
        QTest::addColumn<QRect>("available");
        QTest::addColumn<QPoint>("expected");
        const QRect screen(0, 0, 800, 600);
        QTest::newRow("top panel")
            << QRect(780, 10, 0, 0) << screen.adjusted(0, 30, 0, 0) << QPoint(600, 30);
        QTest::newRow("bottom panel")
            << QRect(10, 590, 0, 0) << screen.adjusted(0, 0, 0, -30) << QPoint(10, 270);
        QTest::newRow("left panel")
            << QRect(5, 300, 0, 0) << screen.adjusted(40, 0, 0, 0) << QPoint(40, 300);
        QTest::newRow("right panel, low")
            << QRect(795, 580, 0, 0) << screen.adjusted(0, 0, -40, 0) << QPoint(560, 300);
        QTest::newRow("icon in a top tray") << QRect(760, 0, 22, 22) << screen << QPoint(600, 22);
        QTest::newRow("no panel, upper half")
            << QRect(300, 200, 0, 0) << screen << QPoint(300, 200);
        QTest::newRow("no panel, lower half")
            << QRect(300, 500, 0, 0) << screen << QPoint(300, 200);
    }
    void theMenuOpensAgainstThePanel() {
        QFETCH(QRect, anchor);
        QFETCH(QRect, available);
        QFETCH(QPoint, expected);
        QCOMPARE(menuPosition(anchor, QSize(200, 300), available), expected);
    }

    // An unknown or differently cased name falls back to the first mark.
    void theMarkIsDrawnInTheStoredStyle() {
        const QList<std::pair<QString, QString>> marks{{"", "▶ Trackglint_"},
                                                       {"prompt", ">_"},
                                                       {"playCursor", "▶_"},
                                                       {"Prompt", "▶ Trackglint_"}};
        for (const auto& [stored, label] : marks) {
            start(stored.isEmpty() ? QJsonObject() : QJsonObject{{"menuMark", stored}});
            QCOMPARE(::label(parts_->config.menuMark().value_or(MenuMark::Wordmark)), label);
        }
        // Every slot size gets a drawing with both runs, some green and some other ink, that
        // fills most of the slot's height.
        for (const int side : {16, 22, 32}) {
            const QImage image = menu_->trayIcon().icon().pixmap(side).toImage();
            QCOMPARE(image.size(), QSize(side, side));
            int green = 0, ink = 0, rows = 0;
            for (int y = 0; y < side; ++y) {
                bool inked = false;
                for (int x = 0; x < side; ++x) {
                    const QColor pixel = image.pixelColor(x, y);
                    if (pixel.alpha() < 200) continue;
                    inked = true;
                    (pixel.green() > pixel.red() + 40 && pixel.green() > pixel.blue() + 20 ? green
                                                                                           : ink)++;
                }
                rows += inked;
            }
            QVERIFY2(green > side / 2 && ink > side / 2, qPrintable(QString::number(side)));
            QVERIFY2(rows >= side * 7 / 10, qPrintable(QString::number(side)));
        }
        // Either guess of the panel's colour reads on light and dark panels: 3:1 at least.
        for (const bool dark : {true, false}) {
            const MarkColours colours = markColours(dark);
            for (const QColor& panel : {QColor(Qt::white), QColor(Qt::black)}) {
                QVERIFY(contrastRatio(colours.first, panel) >= 3.0);
                QVERIFY(contrastRatio(colours.second, panel) >= 3.0);
            }
        }
        QCOMPARE(contrastRatio(Qt::white, Qt::black), 21.0);
        // Translucent ink is measured as it shows: half-black on #EFEFEF is #777777.
        QCOMPARE(qRound(contrastRatio(QColor(0, 0, 0, 128), QColor(239, 239, 239)) * 100), 389);
        // A new choice is drawn at once.
        const QImage before = menu_->trayIcon().icon().pixmap(22).toImage();
        parts_->config.setMenuMark(MenuMark::PlayCursor);
        QVERIFY(menu_->trayIcon().icon().pixmap(22).toImage() != before);
    }
};

QTEST_MAIN(StatusMenuTest)
#include "tst_statusmenu.moc"
