#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyleOptionComboBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocumentFragment>
#include <QTimeEdit>
#include <QUrlQuery>

#include "FakeSlack.h"
#include "TestFiles.h"
#include "TestParts.h"
#include "TestPorts.h"
#include "dashboard/DashboardController.h"
#include "dashboard/SlackAppWindow.h"
#include "signin/SlackApp.h"
#include "ui/Contrast.h"

// The dashboard built on the real parts, with Slack on loopback and the window offscreen.
class DashboardTest : public QObject {
    Q_OBJECT

  private:
    FakeSlack slack_;
    QTemporaryDir dir_;
    std::unique_ptr<TestParts> parts_;
    std::unique_ptr<DashboardController> dash_;

    void start(const QJsonObject& settings, Distribution distribution = Distribution::SelfManaged) {
        QVERIFY(writeSettings(dir_.filePath("settings.json"), settings));
        dash_.reset();
        parts_ = std::make_unique<TestParts>(dir_.filePath("settings.json"), freeLoopbackPort(),
                                             nullptr, distribution);
        dash_ = std::make_unique<DashboardController>(
            parts_->config, parts_->state, parts_->actions, parts_->prompts, parts_->loginItem);
    }
    template <typename T = QWidget>
    T* find(const char* name) {
        return dash_->window()->findChild<T*>(QLatin1String(name));
    }
    bool shown(const char* name) { return find(name)->isVisibleTo(dash_->window()); }
    // The Remove buttons of the workspace rows that show, in order.
    QList<QPushButton*> removeButtons() {
        QList<QPushButton*> buttons =
            dash_->window()->findChildren<QPushButton*>("removeWorkspace");
        buttons.removeIf(
            [this](QPushButton* button) { return !button->isVisibleTo(dash_->window()); });
        return buttons;
    }
    QString text(const char* name) { return find<QLabel>(name)->text(); }
    QJsonValue stored(const QString& key) { return Config(parts_->config.path()).raw().value(key); }
    void choose(const char* popup, int index) {
        find<QComboBox>(popup)->setCurrentIndex(index);
        emit find<QComboBox>(popup)->activated(index);
    }
    // Whether the window, refreshed while hidden as it mostly is, is at least 460 wide and,
    // once shown, gives every wrapping text exactly the height it needs: none cut, none padded.
    bool fitsItsContent() {
        dash_->window()->show();
        QTest::qWait(20);
        bool fits = dash_->window()->width() >= 460;
        for (QLabel* label : dash_->window()->findChildren<QLabel*>()) {
            if (label->isVisible() && label->wordWrap()) {
                fits = fits && label->height() == label->heightForWidth(label->width());
            }
        }
        dash_->window()->hide();
        return fits;
    }

  private slots:
    void initTestCase() {
        slack_.useForSlack();
        slack_.script("users.profile.get", R"({"ok":true,"profile":{}})");
        slack_.script("emoji.list", R"({"ok":true,"emoji":{}})");
        qputenv("XDG_CONFIG_HOME", dir_.filePath("config").toUtf8());
    }
    void cleanup() {
        dash_.reset();
        parts_.reset();
        QFile::remove(platform::XdgAutostart::entryPath());
    }

    // Exactly one box shows, and the fixed-size window fits whatever is visible. Signed in to
    // any workspace is signed in; Remove forgets its row's workspace only.
    void theWindowFollowsTheSignIn() {
        const QJsonObject second{{"slackToken", "xoxp-2"}, {"teamUrl", "https://b.slack.com/"}};
        start({{"slackName", "Ada"},
               {"slackClientId", "1111111111.2222222222"},
               {"teamUrl", "https://a.slack.com/"},
               {"emoji", ":spotify:"},
               {"moreWorkspaces", QJsonArray{second}}});
        parts_->state.setSpotifyEmojiAvailable(false);
        dash_->refresh();
        QVERIFY(!shown("signInBox") && shown("emojiHelpRow"));
        QCOMPARE(text("errorLine"), "Slack signed you out of a.slack.com — Sign in again");
        QCOMPARE(removeButtons().size(), 2);
        QVERIFY(fitsItsContent());
        QCOMPARE(dash_->window()->minimumSize(), dash_->window()->maximumSize());
        parts_->state.setTrouble(AppState::Trouble::Slack, "Slack said no.");
        dash_->refresh();
        QVERIFY(shown("errorLine") && fitsItsContent());
        const QList<QPushButton*> signInAgain =
            dash_->window()->findChildren<QPushButton*>("signInAgain");
        QVERIFY(signInAgain[0]->isVisibleTo(dash_->window()));  // the first is signed out
        QVERIFY(!signInAgain[1]->isVisibleTo(dash_->window()));
        signInAgain[0]->click();
        QCOMPARE(parts_->desktop.opened.size(), 1);  // Slack's sign-in page

        const int height = dash_->window()->height();
        removeButtons().first()->click();
        QVERIFY(dash_->window()->height() < height);
        QCOMPARE(parts_->config.workspaces(),
                 QList<Workspace>{Workspace::signedIn("xoxp-2", "", "https://b.slack.com/")});
        QCOMPARE(Config(parts_->config.path()).workspaces(), parts_->config.workspaces());
        QCOMPARE(removeButtons().size(), 1);
        QVERIFY(fitsItsContent());
        find<QPushButton>("addWorkspaceButton")->click();
        QCOMPARE(parts_->desktop.opened.size(), 2);

        parts_->desktop.answers = {0};  // "Disconnect"
        find<QPushButton>("disconnectButton")->click();
        QVERIFY(!stored("slackToken").isString());
        QVERIFY(shown("signInBox") && !shown("connectedBox") && fitsItsContent());
        parts_->state.setTrouble(AppState::Trouble::Slack, std::nullopt);
        dash_->refresh();
        QVERIFY(!shown("errorLine") && fitsItsContent());
    }

    // Signed in, a copy the package manager installed says where its updates come from; one
    // that updates itself says nothing of it.
    void theWindowSaysWhoUpdatesAPackagedCopy() {
        for (const auto distribution : {Distribution::SelfManaged, Distribution::PackageManager}) {
            start({{"slackToken", "xoxp-1"}}, distribution);
            const QLabel* line = find<QLabel>("packageManagerUpdates");
            const bool packaged = distribution == Distribution::PackageManager;
            QCOMPARE(line && line->isVisibleTo(dash_->window()), packaged);
            if (packaged) QCOMPARE(line->text(), "Updates come from your package manager");
            QVERIFY(fitsItsContent());
        }
    }

    // The window names this computer and its tray as Linux does, and says how soon a pause now
    // reaches Slack.
    void theWordsAreLinuxWords() {
        QString texts;
        for (const QJsonObject& settings : {QJsonObject(), QJsonObject{{"slackToken", "x"}}}) {
            start(settings);
            for (const QLabel* label : dash_->window()->findChildren<QLabel*>()) {
                if (label->isVisibleTo(dash_->window()))
                    texts += QTextDocumentFragment::fromHtml(label->text()).toPlainText() + "\n";
            }
        }
        for (const char* word : {"Mac", "menu bar", "within 15 seconds"})
            QVERIFY2(!texts.contains(word), word);
        for (const char* word : {"this computer", "tray", "within a few seconds"})
            QVERIFY2(texts.contains(word), word);
    }

    // Text reads at 4.5:1 and the sign-in button stands out at 3:1, in light and dark palettes.
    void everythingReadsInLightAndDark() {
        const QPalette original = QApplication::palette();
        for (const QColor& window : {QColor(239, 239, 239), QColor(45, 45, 45)}) {
            QPalette palette = original;
            palette.setColor(QPalette::Window, window);
            palette.setColor(QPalette::WindowText,
                             window.lightness() < 128 ? Qt::white : Qt::black);
            // Dimmed text as Qt's own palettes make it: the text colour, half transparent.
            QColor dim = palette.color(QPalette::WindowText);
            dim.setAlpha(128);
            palette.setColor(QPalette::PlaceholderText, dim);
            palette.setColor(QPalette::Highlight, QColor(120, 170, 220));
            palette.setColor(QPalette::HighlightedText, Qt::white);
            QApplication::setPalette(palette);
            start({});
            const auto ink = [&](const char* name, QPalette::ColorRole role) {
                const QColor ink = find(name)->palette().color(role);
                const auto mix = [&](float from, float to) {
                    return from * ink.alphaF() + to * (1 - ink.alphaF());
                };
                const QColor shown = QColor::fromRgbF(mix(ink.redF(), window.redF()),
                                                      mix(ink.greenF(), window.greenF()),
                                                      mix(ink.blueF(), window.blueF()));
                return contrastRatio(shown, window);
            };
            QVERIFY(ink("errorLine", QPalette::WindowText) >= 4.5);
            QVERIFY(ink("version", QPalette::WindowText) >= 4.5);
            QVERIFY(ink("notes", QPalette::PlaceholderText) >= 4.5);
            QVERIFY(ink("emojiHelpLabel", QPalette::WindowText) >= 4.5);
            const QPalette button = find("signInButton")->palette();
            QVERIFY(contrastRatio(button.color(QPalette::Button), window) >= 3.0);
            QVERIFY(contrastRatio(button.color(QPalette::ButtonText),
                                  button.color(QPalette::Button)) >= 4.5);
            QCOMPARE(find<QComboBox>("emojiPopup")->accessibleName(), "Status emoji");
        }
        QApplication::setPalette(original);
    }

    // The user's own Slack app: created from the shipped manifest, its client ID checked as
    // it is typed, kept once signed in with, and the sign-in started with it.
    void theSlackAppWindowTakesTheUsersApp() {
        start({});
        SlackAppWindow window(parts_->actions);
        window.ask(QString());
        const auto child = [&](const char* name) {
            return window.findChild<QWidget*>(QLatin1String(name));
        };
        auto* clientId = static_cast<QLineEdit*>(child("clientId"));
        auto* signIn = static_cast<QPushButton*>(child("signInWithApp"));
        auto* problem = static_cast<QLabel*>(child("clientIdProblem"));
        QVERIFY(!signIn->isEnabled() && !problem->isVisibleTo(&window));
        QTest::keyClicks(clientId, "xoxp-123");
        QVERIFY(!signIn->isEnabled());
        QCOMPARE(problem->text(), "That is a token: Trackglint needs the app's Client ID.");
        QVERIFY(problem->isVisibleTo(&window));

        parts_->desktop.browser = false;
        static_cast<QPushButton*>(child("createSlackApp"))->click();
        QVERIFY(child("noBrowser")->isVisibleTo(&window));
        QCOMPARE(QApplication::clipboard()->text().toUtf8(), slackAppManifest());
        parts_->desktop.browser = true;
        static_cast<QPushButton*>(child("createSlackApp"))->click();
        QVERIFY(!child("noBrowser")->isVisibleTo(&window));
        const QUrl creation = parts_->desktop.opened.value(0);
        QCOMPARE(creation.toString(QUrl::RemoveQuery), "https://api.slack.com/apps");
        const QUrlQuery query(creation);
        QCOMPARE(query.queryItemValue("new_app"), "1");
        QFile shipped(TRACKGLINT_SOURCE "/resources/slack-app-manifest.json");
        QVERIFY(shipped.open(QIODevice::ReadOnly));
        const QJsonObject manifest =
            QJsonDocument::fromJson(
                query.queryItemValue("manifest_json", QUrl::FullyDecoded).toUtf8())
                .object();
        QCOMPARE(manifest, QJsonDocument::fromJson(shipped.readAll()).object());
        QCOMPARE(manifest["oauth_config"]["redirect_urls"][0], SLACK_REDIRECT);

        clientId->setText("  1234567890123.1234567890123\n");
        QVERIFY(signIn->isEnabled() && !problem->isVisibleTo(&window));
        QTest::keyClick(clientId, Qt::Key_Return);
        QVERIFY(!window.isVisible());
        QCOMPARE(stored("slackClientId"), "1234567890123.1234567890123");
        QCOMPARE(QUrlQuery(parts_->desktop.opened.last()).queryItemValue("client_id"),
                 "1234567890123.1234567890123");
    }

    // Return signs in while signed out. Signed in, the focus starts on the first control and
    // goes down the window as it reads, every stop with a name a screen reader speaks; Return
    // and Enter press the focused button.
    void theKeyboardWorksTheWindow() {
        start({{"slackClientId", "1111111111.2222222222"}});
        dash_->window()->show();
        QVERIFY(QTest::qWaitForWindowExposed(dash_->window()));
        QSignalSpy asked(&parts_->actions, &UserActions::slackAppNeeded);
        QTest::keyClick(dash_->window(), Qt::Key_Return);
        // Signed out, a copy without a Slack app of its own shows the app it has first.
        QCOMPARE(asked.size() + parts_->desktop.opened.size(), 1);

        start({{"slackToken", "xoxp-1"},
               {"teamUrl", "https://a.slack.com/"},
               {"moreWorkspaces", QJsonArray{QJsonObject{{"slackToken", "xoxp-2"},
                                                         {"teamUrl", "https://b.slack.com/"}}}}});
        dash_->window()->show();
        QVERIFY(QTest::qWaitForWindowActive(dash_->window()));
        QCOMPARE(QApplication::focusWidget(), removeButtons().value(0));
        QStringList stops;
        for (QWidget* at = dash_->window()->nextInFocusChain(); at != dash_->window();
             at = at->nextInFocusChain()) {
            if (!(at->focusPolicy() & Qt::TabFocus) || !at->isVisibleTo(dash_->window()) ||
                at->focusProxy()) {
                continue;  // the editor inside a compound control passes the focus on
            }
            // A label that names the control, as Linux screen readers take it, else its name.
            const QAccessibleInterface* spoken = QAccessible::queryAccessibleInterface(at);
            const auto labels = spoken->relations(QAccessible::Label);
            if (!labels.isEmpty()) spoken = labels.first().first;
            stops += spoken->text(QAccessible::Name);
        }
        QCOMPARE(stops, QStringList({"Remove a.slack.com", "Remove b.slack.com", "⏸ Pause",
                                     "Add Another Workspace…", "Status emoji:", "Status text:",
                                     "Show in the tray as:", "Only during work hours",
                                     "Work hours start", "Work hours end",
                                     "Start automatically at login", "Disconnect Slack…"}));
        QTest::keyClick(find("pauseButton"), Qt::Key_Return);
        QVERIFY(stored("paused").toBool());
        QTest::keyClick(find("pauseButton"), Qt::Key_Enter, Qt::KeypadModifier);
        QVERIFY(!stored("paused").toBool());
    }

    // Pause and resume, with outside text shown exactly as written, never as markup.
    void theStateShowsAsWritten() {
        start({{"slackToken", "xoxp-1"},
               {"slackName", "<i>Ada</i> & Co"},
               {"teamUrl", "https://team.slack.com/"},
               {"paused", true}});
        parts_->state.setNowPlayingLabel("▶ <b>x</b> — Rock & Roll");
        parts_->state.setTrouble(AppState::Trouble::Slack, "Rock & Roll <b>failed</b>");
        dash_->refresh();
        QCOMPARE(text("nowPlaying"), "⏸ paused");
        QCOMPARE(find<QPushButton>("pauseButton")->text(), "▶ Resume");
        find<QPushButton>("pauseButton")->click();
        QCOMPARE(stored("paused"), QJsonValue(false));
        QCOMPARE(find<QPushButton>("pauseButton")->text(), "⏸ Pause");
        QCOMPARE(text("nowPlaying"), "▶ <b>x</b> — Rock & Roll");
        QCOMPARE(text("workspaceLine"), "<i>Ada</i> & Co · team.slack.com — …");
        QCOMPARE(text("errorLine"), "Rock & Roll <b>failed</b>");
        for (const char* name : {"workspaceLine", "nowPlaying", "errorLine"}) {
            QCOMPARE(find<QLabel>(name)->textFormat(), Qt::PlainText);
        }
        parts_->state.setNowPlayingLabel("⚠️ Rock & Roll <b>failed</b>");
        dash_->refresh();
        QVERIFY(!shown("errorLine"));  // said once, in the line above
    }

    // Each choice of the pop-ups shows whole, an emoji's glyph from a fallback font included.
    void thePopUpsShowEveryChoiceWhole() {
        start({{"slackToken", "xoxp-1"}});
        dash_->window()->show();
        QVERIFY(QTest::qWaitForWindowExposed(dash_->window()));
        for (const char* name : {"emojiPopup", "menuMarkPopup"}) {
            const QComboBox* popup = find<QComboBox>(name);
            QStyleOptionComboBox option;
            option.initFrom(popup);
            const int room = popup->style()
                                 ->subControlRect(QStyle::CC_ComboBox, &option,
                                                  QStyle::SC_ComboBoxEditField, popup)
                                 .width();
            for (int i = 0; i < popup->count(); ++i) {
                const int icon = popup->itemIcon(i).isNull() ? 0 : popup->iconSize().width() + 4;
                const int needed =
                    popup->fontMetrics().horizontalAdvance(popup->itemText(i)) + icon;
                QVERIFY2(needed <= room, qPrintable(popup->itemText(i)));
            }
        }
    }

    // The popup shows the emoji that will be sent; the help shows while :spotify: is lacking.
    void emojiSelectionAndHelp() {
        const std::optional<bool> yes = true, no = false, unknown;
        const QList<std::tuple<QString, std::optional<bool>, QString, bool>> table{
            {":spotify:", no, ":musical_note:", true},
            {":spotify:", unknown, ":spotify:", false},
            {":guitar:", yes, ":guitar:", false}};
        for (const auto& [chosen, available, selected, help] : table) {
            start({{"slackToken", "xoxp-1"}, {"emoji", chosen}});
            parts_->state.setSpotifyEmojiAvailable(available);
            dash_->refresh();
            QCOMPARE(find<QComboBox>("emojiPopup")->currentData().toString(), selected);
            QVERIFY(shown("emojiHelpRow") == help && shown("emojiHelpButton") == help);
        }
    }

    // The success line shows once the help was seen and the emoji has since been found.
    void theHelpTurnsIntoTheSuccessLine() {
        start({{"slackToken", "xoxp-1"}, {"emoji", ":spotify:"}});
        parts_->state.setSpotifyEmojiAvailable(false);
        dash_->refresh();
        parts_->state.setSpotifyEmojiAvailable(true);
        QCoreApplication::processEvents();  // the state announces the change
        QVERIFY(shown("emojiHelpRow") && !shown("emojiHelpButton"));
        QCOMPARE(text("emojiHelpLabel"),
                 "✓ :spotify: added — your status will use it from the next sync.");
        QCOMPARE(find<QComboBox>("emojiPopup")->currentData().toString(), ":spotify:");

        choose("emojiPopup", 4);
        QCOMPARE(stored("emoji"), QJsonValue(":guitar:"));
        QVERIFY(shown("emojiHelpRow"));  // the help was seen: the success line stays
        QTRY_VERIFY(!slack_.requests("emoji.list").isEmpty());  // and the workspace is asked again
    }

    // A stored mark selects its item; one that is not text selects the first; any other text
    // leaves the selection as it was. A refresh never rewrites the setting; a choice does.
    void menuMarkSelection() {
        start({{"slackToken", "xoxp-1"}});
        auto* popup = find<QComboBox>("menuMarkPopup");
        const QList<std::pair<QJsonValue, int>> table = {
            {QJsonValue::Undefined, 0}, {2, 0}, {"prompt", 2}, {"Prompt", 1}, {"neon", 1}};
        for (const auto& [mark, selected] : table) {
            popup->setCurrentIndex(1);
            QJsonObject settings{{"slackToken", "xoxp-1"}};
            if (!mark.isUndefined()) settings.insert("menuMark", mark);
            parts_->config.setRaw(settings);
            dash_->refresh();  // the same settings again are no change to announce
            QCOMPARE(popup->currentIndex(), selected);
            QCOMPARE(parts_->config.raw().value("menuMark"), mark);
        }
        int marksChanged = 0;
        connect(&parts_->config, &Config::changed, this, [&](Config::Setting setting) {
            marksChanged += setting == Config::Setting::MenuMark;
        });
        choose("menuMarkPopup", 2);
        QCOMPARE(stored("menuMark"), QJsonValue("prompt"));
        QCOMPARE(marksChanged, 1);  // which the tray item follows
    }

    void workHours() {
        start({{"slackToken", "xoxp-1"},
               {"workHours", QJsonObject{{"start", "08:15"}, {"end", "16:45"}}}});
        auto* check = find<QCheckBox>("workHoursCheck");
        auto* startPicker = find<QTimeEdit>("startPicker");
        auto* endPicker = find<QTimeEdit>("endPicker");
        QVERIFY(!check->isChecked() && !startPicker->isEnabled() && !endPicker->isEnabled());
        QCOMPARE(startPicker->time(), QTime(8, 15));
        QCOMPARE(endPicker->time(), QTime(16, 45));
        QCOMPARE(stored("workHours"), QJsonObject({{"start", "08:15"}, {"end", "16:45"}}));

        QJsonObject withoutHours = parts_->config.raw();
        withoutHours.remove("workHours");
        parts_->config.setRaw(withoutHours);
        check->click();
        QCOMPARE(stored("workHours"),
                 QJsonObject({{"enabled", true}, {"start", "09:00"}, {"end", "17:00"}}));
        QVERIFY(startPicker->isEnabled() && endPicker->isEnabled());
        startPicker->setTime(QTime(7, 30));
        QCOMPARE(stored("workHours").toObject().value("start").toString(), "07:30");
    }

    // The check shows the autostart entry as it is after each click.
    // The format previews the track playing (unless kept private), else a sample; one without a
    // field says why and is not stored. Each private artist's Remove shares them again.
    void theFormatAndThePrivateArtists() {
        start({{"slackToken", "xoxp-1"}, {"privateArtists", QJsonArray{"Band", "Duo"}}});
        auto* field = find<QLineEdit>("statusFormat");
        QCOMPARE(field->text(), "{title} — {artist}");
        QCOMPARE(text("statusPreview"),
                 "Shared as, for example: Evening Tide — The Harbour Lights");
        field->setText("{title} ({album})");
        emit field->editingFinished();
        QCOMPARE(stored("statusFormat"), "{title} ({album})");
        QCOMPARE(text("statusPreview"), "Shared as, for example: Evening Tide (Low Water)");
        SpotifyState song = SpotifyState::playing("Song", "Duo");
        song.artists = {"duo"};
        parts_->state.setPlayingTrack(song);
        dash_->refresh();
        QCOMPARE(text("statusPreview"), "Shared as, for example: Evening Tide (Low Water)");
        song.artists = {"Guest"};
        parts_->state.setPlayingTrack(song);
        dash_->refresh();
        QCOMPARE(text("statusPreview"), "Now shared as: Song");
        field->setText("Listening");
        emit field->editingFinished();
        QCOMPARE(stored("statusFormat"), "{title} ({album})");
        QVERIFY(shown("statusFormatProblem") && !shown("statusPreview"));
        QCOMPARE(text("statusFormatProblem"),
                 "Add {title}, {artist} or {album}: without a field, no track shows.");
        QVERIFY(fitsItsContent());

        auto removes = dash_->window()->findChildren<QPushButton*>("removePrivateArtist");
        QCOMPARE(removes.size(), 2);
        removes[0]->click();
        QCOMPARE(Config(parts_->config.path()).privateArtists(), QStringList{"Duo"});
        QCOMPARE(field->text(), "Listening");  // kept to be mended
        QVERIFY(fitsItsContent());
    }

    void loginCheckShowsTheAutostartEntry() {
        start({{"slackToken", "xoxp-1"}});
        QVERIFY(!find<QCheckBox>("loginCheck")->isChecked());
        find<QCheckBox>("loginCheck")->click();
        QVERIFY(parts_->loginItem.enabled() && find<QCheckBox>("loginCheck")->isChecked());
        QVERIFY(!parts_->loginItem.setEnabled(false));
        dash_->refresh();
        QVERIFY(!find<QCheckBox>("loginCheck")->isChecked());
    }
};

QTEST_MAIN(DashboardTest)
#include "tst_dashboard.moc"
