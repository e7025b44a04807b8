#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <thread>

#include "settings/Config.h"

class ConfigTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    const QString path_ = dir_.filePath(".trackglint-mac.json");

    using Settings =
        std::tuple<std::optional<QString>, QString, std::optional<QString>, bool, QString, bool,
                   MinuteRange, std::optional<MenuMark>, QString, QStringList>;
    static Settings settingsOf(const Config& c) {
        return {c.slackToken(),   c.slackName(),        c.chosenEmoji(),    c.paused(),
                c.lastSetText(),  c.workHoursEnabled(), c.workHoursRange(), c.menuMark(),
                c.statusFormat(), c.privateArtists()};
    }
    static mode_t modeOf(const QString& path) {
        struct stat info {};
        return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
    }
    QStringList files() const { return QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden); }

  private slots:
    void cleanup() { QFile::remove(path_); }

    // Unusable files and values read as defaults; saves keep any object and make it private.
    void settingsAreReadAndKeptBySaves_data() {
        QTest::addColumn<QByteArray>("contents");  // null: no file
        QTest::addColumn<Settings>("settings");
        const auto row = [](const char* name, const char* contents, const Settings& settings) {
            QTest::newRow(name) << QByteArray(contents) << settings;
        };
        const QString format = "{title} — {artist}";
        const Settings defaults{std::nullopt, "you",       std::nullopt,       false,  "",
                                false,        {540, 1020}, MenuMark::Wordmark, format, {}};
        row("missing file", nullptr, defaults);
        row("array", R"([{"slackToken": "xoxp-1"}])", defaults);
        row("broken", R"({"slackToken": "xoxp-1")", defaults);
        row("wrong types", R"({"slackToken": 7, "slackName": 42, "emoji": true, "paused": "yes",
            "lastSetText": ["a"], "workHours": "always", "menuMark": 2, "statusFormat": 3,
            "privateArtists": "Band"})",
            defaults);
        row("stored", R"({"slackToken": "xoxp-1", "slackName": "Ada", "emoji": ":cd:",
            "paused": true, "lastSetText": "Song — Band", "future": {"nested": [1, "two", false]},
            "workHours": {"enabled": true, "start": "08:30", "end": "18:15"}, "menuMark": "prompt",
            "statusFormat": "♪ {title}", "privateArtists": ["Band", 7, "Duo"]})",
            {"xoxp-1",
             "Ada",
             ":cd:",
             true,
             "Song — Band",
             true,
             {510, 1095},
             MenuMark::Prompt,
             "♪ {title}",
             {"Band", "Duo"}});
        row("work hours without enabled, unknown mark",
            R"({"workHours": {"start": "08:30"}, "menuMark": "Prompt"})",
            {std::nullopt,
             "you",
             std::nullopt,
             false,
             "",
             false,
             {510, 1020},
             std::nullopt,
             format,
             {}});
    }
    void settingsAreReadAndKeptBySaves() {
        QFETCH(QByteArray, contents);
        QFETCH(Settings, settings);
        if (!contents.isNull()) {
            QFile file(path_);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size());
            QVERIFY(::chmod(QFile::encodeName(path_).constData(), 0644) == 0);
        }
        Config config(path_);
        QCOMPARE(modeOf(path_), contents.isNull() ? mode_t(0) : mode_t(0600));  // on load
        QCOMPARE(settingsOf(config), settings);
        QJsonObject expected = QJsonDocument::fromJson(contents).object();
        expected.insert("paused", true);
        config.setPaused(true);
        QCOMPARE(config.save(), std::nullopt);
        QCOMPARE(Config(path_).raw(), expected);
        QCOMPARE(modeOf(path_), mode_t(0600));
    }

    // A file edited by hand or by another program is brought within bounds at load: one entry
    // per workspace (signed in, renewed last, keeping the status text set there), names as long
    // as Slack allows, and fifty workspaces at most, those signed in first. Saves keep that.
    void workspacesAreBroughtWithinBoundsAtLoad() {
        const auto loaded = [&](const QJsonObject& first,
                                const QJsonArray& more) -> QList<Workspace> {
            QJsonObject settings = first;
            settings.insert("moreWorkspaces", more);
            settings.insert("paused", true);
            QFile file(path_);
            if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return QList<Workspace>();
            file.write(QJsonDocument(settings).toJson());
            file.close();
            Config config(path_);
            const QList<Workspace> workspaces = config.workspaces();
            if (config.save() || Config(path_).raw() != config.raw() || !config.paused()) return {};
            return workspaces;
        };
        const QList<Workspace> one = loaded(
            {{"slackToken", "xoxp-a"}, {"slackTeamId", "T1"}, {"slackTokenExpiresAt", 100}},
            {QJsonObject{{"slackTeamId", "T1"}, {"teamUrl", "https://a/"}, {"lastSetText", "Song"}},
             QJsonObject{{"slackToken", "xoxp-c"},
                         {"slackTeamId", "T1"},
                         {"slackName", "Ada"},
                         {"slackTokenExpiresAt", 200},
                         {"future", 1}},
             QJsonObject{{"slackToken", "xoxp-d"}, {"slackTeamId", "T2"}}});
        QCOMPARE(one.size(), 2);
        QCOMPARE(one[0].token, "xoxp-c");
        QCOMPARE(one[0].name, "Ada");
        QCOMPARE(one[0].lastSetText, "Song");
        QCOMPARE(one[1].token, "xoxp-d");
        QCOMPARE(Config(path_).raw().value("future"), 1);  // the entry kept, with all it holds

        const QString huge(100'000, u'x');
        const QList<Workspace> cut = loaded({{"slackToken", "xoxp-a"},
                                             {"slackName", QString(79, u'a') + "🎵🎵"},
                                             {"slackTeamName", huge},
                                             {"slackTeamId", huge},
                                             {"teamUrl", "https://a/"},
                                             {"lastSetText", huge}},
                                            {});
        QCOMPARE(cut.size(), 1);
        QCOMPARE(cut[0].name, QString(79, u'a') + "🎵");
        QCOMPARE(cut[0].teamName, QString(80, u'x'));
        QCOMPARE(cut[0].key(), "https://a/");
        QCOMPARE(cut[0].lastSetText, "");

        const auto listOf = [](int count) {  // T1, T2, …, every third signed in
            QJsonArray list;
            for (int i = 1; i <= count; ++i) {
                list.append(QJsonObject{{"slackTeamId", QString("T%1").arg(i)},
                                        {"teamUrl", "https://t/"},
                                        {"slackToken", i % 3 == 0 ? "xoxp" : ""}});
            }
            return list;
        };
        QList<Workspace> kept = loaded({}, listOf(10'000));
        QCOMPARE(kept.size(), 50);
        QCOMPARE(kept.first().key(), "T3");  // the first fifty signed in
        QCOMPARE(kept.last().key(), "T150");
        kept = loaded({}, listOf(60));  // all 20 signed in, and the first 30 signed out
        QCOMPARE(kept.size(), 50);
        QCOMPARE(kept[44].key(), "T45");
        QCOMPARE(kept[45].key(), "T48");  // T46 and T47 went, as did the signed-out after them
        QCOMPARE(kept.last().key(), "T60");
    }

    // Settings put in whole are brought within the same bounds as a file read at load.
    void replacedSettingsAreBroughtWithinBounds() {
        Config config(path_);
        const QJsonObject entry{{"slackToken", "xoxp-b"}, {"slackTeamId", "T1"}};
        config.setRaw({{"slackToken", "xoxp-a"},
                       {"slackTeamId", "T1"},
                       {"moreWorkspaces", QJsonArray{entry}}});
        QCOMPARE(config.workspaces().size(), 1);
        QCOMPARE(config.raw(), QJsonObject({{"slackToken", "xoxp-a"}, {"slackTeamId", "T1"}}));
    }

    // Only a real change is announced: writing what is stored again announces nothing.
    void onlyARealChangeIsAnnounced() {
        Config config(path_);
        QSignalSpy changes(&config, &Config::changed);
        const auto twice = [&](const std::function<void()>& write) {
            write();
            write();
        };
        twice([&] { config.setPaused(true); });
        twice([&] { config.setChosenEmoji(":cd:"); });
        twice([&] { config.setWorkHours(true, {60, 120}); });
        twice([&] { config.addWorkspace(Workspace::signedIn("xoxp-1", "Ada", "https://a/")); });
        twice([&] { config.setLastSetText("https://a/", "Song"); });
        twice([&] { config.setSpotifyEmojiFound("https://a/", true); });
        twice([&] { config.setRaw({{"paused", false}}); });
        twice([&] { config.setStatusFormat("{title}"); });
        twice([&] { config.setPrivateArtists({"Band"}); });
        QCOMPARE(changes.size(), 9);
    }

    // A reader watching the file through many saves only ever sees a private, complete file.
    void aWatcherNeverSeesAPartialOrOpenFile() {
        Config config(path_);
        config.setRaw({{"slackToken", "xoxp-secret"}, {"padding", QString(20000, u'x')}});
        QCOMPARE(config.save(), std::nullopt);
        std::atomic<bool> saving = true;
        std::atomic<int> badReads = 0;  // of a file open to others or partly written
        std::thread watcher([&] {
            while (saving)
                badReads += modeOf(path_) & 077 || !Config(path_).raw().contains("slackToken");
        });
        for (int i = 0; i < 300; ++i) {
            config.setLastSetText(QString(), QString::number(i));  // a workspace without address
            QCOMPARE(config.save(), std::nullopt);
        }
        saving = false;
        watcher.join();
        QCOMPARE(badReads.load(), 0);
        QFile file(path_);  // the last save, keys sorted, pretty-printed
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), "{\n    \"lastSetText\": \"299\",\n    \"padding\": \"" +
                                     QByteArray(20000, 'x') +
                                     "\",\n    \"slackToken\": \"xoxp-secret\"\n}\n");
        QCOMPARE(files(), QStringList{".trackglint-mac.json"});
    }

    void aFailedSaveLeavesNoTraceAndKeepsTheSettings() {
        const QTemporaryDir folderInTheWay(dir_.filePath("occupied"));
        Config config(folderInTheWay.path());
        config.setPaused(true);
        QCOMPARE(config.save(), "Is a directory");  // the reason, for the caller to show
        QCOMPARE(config.paused(), true);
        QCOMPARE(files(), QStringList());  // the folder is not a file, and no file was left
    }

    // What saves cut short by a kill left (a copy of the token each) goes at the next start;
    // a settings file kept elsewhere through a link stays a link.
    void leftoversGoAndLinksStay() {
        const QString real = dir_.filePath("dotfiles/trackglint.json");
        QVERIFY(QDir().mkpath(dir_.filePath("dotfiles")));
        QVERIFY(QFile::link(real, path_));
        const QStringList leftovers = {"dotfiles/.trackglint.json.Ab12Cd",
                                       "..trackglint-mac.json.Zz9876"};
        const QStringList others = {"dotfiles/.trackglint.json.bak", "dotfiles/trackglint.json.1"};
        for (const QString& name : leftovers + others) {
            QFile file(dir_.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("{\"slackToken\": \"x\"}") > 0);
        }
        Config config(path_);
        for (const QString& name : leftovers)
            QVERIFY2(!QFile::exists(dir_.filePath(name)), qPrintable(name));
        for (const QString& name : others) QVERIFY(QFile::exists(dir_.filePath(name)));
        config.setPaused(true);
        QCOMPARE(config.save(), std::nullopt);
        QCOMPARE(QFileInfo(path_).symLinkTarget(), real);
        QVERIFY(Config(real).paused());
        QCOMPARE(modeOf(real), mode_t(0600));
        QVERIFY(QFile::remove(path_) && QFile::remove(real));
    }
};

QTEST_GUILESS_MAIN(ConfigTest)
#include "tst_config.moc"
