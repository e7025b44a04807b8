#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <thread>

#include "settings/Config.h"

namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

mode_t modeOf(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) return 0;
    return info.st_mode & 07777;
}

}  // namespace

class ConfigTest : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir dir_;
    QString path_;

    void expectDefaults(const Config& config) {
        QCOMPARE(config.slackToken(), std::nullopt);
        QCOMPARE(config.slackName(), QStringLiteral("you"));
        QCOMPARE(config.chosenEmoji(), std::nullopt);
        QCOMPARE(config.paused(), false);
        QCOMPARE(config.lastSetText(), QString());
        QCOMPARE(config.workHoursEnabled(), false);
        QCOMPARE(config.workHoursRange(), (MinuteRange{540, 1020}));
    }

  private slots:
    void init() { path_ = dir_.filePath(QStringLiteral(".trackglint-mac.json")); }
    void cleanup() { QFile::remove(path_); }

    void missingFileGivesDefaults() {
        const Config config(path_);
        expectDefaults(config);
        QVERIFY(config.raw().isEmpty());
    }

    void unusableFileGivesDefaultsAndIsReplacedByAnObject_data() {
        QTest::addColumn<QByteArray>("contents");
        QTest::newRow("array") << QByteArray(R"([{"slackToken": "xoxp-1"}])");
        QTest::newRow("number") << QByteArray("42");
        QTest::newRow("broken") << QByteArray(R"({"slackToken": "xoxp-1")");
        QTest::newRow("empty") << QByteArray();
    }
    void unusableFileGivesDefaultsAndIsReplacedByAnObject() {
        QFETCH(QByteArray, contents);
        writeFile(path_, contents);
        Config config(path_);
        expectDefaults(config);
        config.setValue(QStringLiteral("paused"), true);
        config.save();
        const QJsonDocument saved = QJsonDocument::fromJson(readFile(path_));
        QVERIFY(saved.isObject());
        QCOMPARE(saved.object(), QJsonObject({{QStringLiteral("paused"), true}}));
    }

    void valuesOfTheWrongTypeReadAsMissing() {
        writeFile(path_, R"({"slackToken": 7, "slackName": 42, "emoji": true, "paused": "yes",
                             "lastSetText": ["a"], "workHours": "always"})");
        expectDefaults(Config(path_));
    }

    void storedValuesAreRead() {
        writeFile(path_, R"({"slackToken": "xoxp-1", "slackName": "Ada", "emoji": ":cd:",
                             "paused": true, "lastSetText": "Song — Band",
                             "workHours": {"enabled": true, "start": "08:30", "end": "18:15"}})");
        const Config config(path_);
        QCOMPARE(config.slackToken(), QStringLiteral("xoxp-1"));
        QCOMPARE(config.slackName(), QStringLiteral("Ada"));
        QCOMPARE(config.chosenEmoji(), QStringLiteral(":cd:"));
        QCOMPARE(config.paused(), true);
        QCOMPARE(config.lastSetText(), QStringLiteral("Song — Band"));
        QCOMPARE(config.workHoursEnabled(), true);
        QCOMPARE(config.workHoursRange(), (MinuteRange{510, 1095}));
    }

    void workHoursWithoutEnabledAreDisabled() {
        writeFile(path_, R"({"workHours": {"start": "08:30"}})");
        const Config config(path_);
        QCOMPARE(config.workHoursEnabled(), false);
        QCOMPARE(config.workHoursRange(), (MinuteRange{510, 1020}));
    }

    void unknownKeysSurviveASave() {
        const QJsonObject future{{QStringLiteral("nested"), QJsonArray{1, "two", false}},
                                 {QStringLiteral("path"), QStringLiteral("a/b")}};
        writeFile(path_, QJsonDocument(QJsonObject{{QStringLiteral("future"), future}}).toJson());
        Config config(path_);
        config.setValue(QStringLiteral("emoji"), QStringLiteral(":cd:"));
        config.save();
        const QJsonObject saved = Config(path_).raw();
        QCOMPARE(saved.value(QStringLiteral("future")).toObject(), future);
        QCOMPARE(saved.value(QStringLiteral("emoji")).toString(), QStringLiteral(":cd:"));
    }

    void tokenCanBeRemoved() {
        Config config(path_);
        config.setSlackToken(QStringLiteral("xoxp-1"));
        config.save();
        QCOMPARE(Config(path_).slackToken(), QStringLiteral("xoxp-1"));
        config.setSlackToken(std::nullopt);
        config.save();
        QVERIFY(!Config(path_).raw().contains(QStringLiteral("slackToken")));
    }

    void saveIsPrettyWithSortedKeys() {
        Config config(path_);
        config.setValue(QStringLiteral("slackToken"), QStringLiteral("t"));
        config.setValue(QStringLiteral("emoji"), QStringLiteral(":cd:"));
        config.setValue(QStringLiteral("paused"), false);
        config.save();
        const QByteArray text = readFile(path_);
        QVERIFY(text.contains("\n    \"emoji\""));
        const qsizetype emoji = text.indexOf("\"emoji\"");
        const qsizetype paused = text.indexOf("\"paused\"");
        const qsizetype token = text.indexOf("\"slackToken\"");
        QVERIFY(emoji < paused && paused < token);
    }

    void saveMakesTheFilePrivate() {
        writeFile(path_, R"({"slackToken": "xoxp-1"})");
        QVERIFY(::chmod(QFile::encodeName(path_).constData(), 0644) == 0);
        Config config(path_);
        config.save();
        QCOMPARE(modeOf(path_), mode_t(0600));
        QFile::remove(path_);
        config.save();
        QCOMPARE(modeOf(path_), mode_t(0600));
        QCOMPARE(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral(".trackglint-mac.json")});
    }

    // A reader watching the file while it is saved again and again must only ever see a
    // private file holding complete settings.
    void aWatcherNeverSeesAPartialOrOpenFile() {
        Config config(path_);
        config.setValue(QStringLiteral("slackToken"), QStringLiteral("xoxp-secret"));
        config.setValue(QStringLiteral("padding"), QString(20000, u'x'));
        config.save();
        std::atomic<bool> saving = true;
        std::atomic<int> exposed = 0, partial = 0;
        std::thread watcher([&] {
            while (saving) {
                const mode_t mode = modeOf(path_);
                if (mode & 077) ++exposed;
                const QByteArray bytes = readFile(path_);
                if (!QJsonDocument::fromJson(bytes).object().contains(QStringLiteral("slackToken")))
                    ++partial;
            }
        });
        for (int i = 0; i < 300; ++i) {
            config.setValue(QStringLiteral("count"), i);
            config.save();
        }
        saving = false;
        watcher.join();
        QCOMPARE(exposed.load(), 0);
        QCOMPARE(partial.load(), 0);
        QCOMPARE(Config(path_).raw().value(QStringLiteral("count")).toInt(), 299);
    }

    void aFailedSaveLeavesNoTraceAndKeepsTheSettings() {
        const QString folderInTheWay = dir_.filePath(QStringLiteral("occupied"));
        QVERIFY(QDir().mkpath(folderInTheWay));
        Config config(folderInTheWay);
        config.setValue(QStringLiteral("paused"), true);
        config.save();
        QVERIFY(QFileInfo(folderInTheWay).isDir());
        QCOMPARE(config.paused(), true);
        QCOMPARE(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
        QDir(folderInTheWay).removeRecursively();
    }
};

QTEST_GUILESS_MAIN(ConfigTest)
#include "tst_config.moc"
