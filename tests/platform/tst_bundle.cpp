#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

#include "platform/Bundle.h"
#include "platform/PropertyList.h"

using platform::Bundle;

namespace {

const QByteArray VERSION_KEY = "CFBundleShortVersionString";

QByteArray plist(const QByteArray& body) {
    return "<?xml version=\"1.0\"?>\n<plist version=\"1.0\">" + body + "</plist>\n";
}

QByteArray entry(const QByteArray& value, const QByteArray& key = "a") {
    return plist("<dict><key>" + key + "</key>" + value + "</dict>");
}

// The DOCTYPE's identifiers are single-quoted: moc misreads "//" in double quotes in a raw string.
const QByteArray GOOD = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC '-//Apple//DTD PLIST 1.0//EN' 'http://www.apple.com/DTDs/PropertyList-1.0.dtd'>
<plist version="1.0">
<dict>
    <key>name</key> <string>Rock &amp; Roll</string> <!-- comments may stand anywhere -->
    <key>count</key> <integer>-9223372036854775808</integer>
    <key>list</key> <array><true/><false/><string/><integer> 2 </integer><array/></array>
    <key>inner</key> <dict><key>ratio</key><real>1.5</real></dict>
    <key>bytes</key> <data> AAEC /w== </data>
</dict>
</plist>
)";

}  // namespace

class BundleTest : public QObject {
    Q_OBJECT

  private slots:
    void readsPropertyLists_data() {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<QVariant>("expected");  // a QVariantMap, or invalid for none
        QTest::newRow("good") << GOOD
                              << QVariant(QVariantMap{
                                     {"name", "Rock & Roll"},
                                     {"count", std::numeric_limits<qint64>::min()},
                                     {"list",
                                      QVariantList{true, false, "", qint64(2), QVariantList()}},
                                     {"inner", QVariantMap{{"ratio", 1.5}}},
                                     {"bytes", QByteArray("\x00\x01\x02\xff", 4)}});
        const auto none = [](const char* name, const QByteArray& xml) {
            QTest::newRow(name) << xml << QVariant();
        };
        none("truncated", GOOD.left(GOOD.lastIndexOf("</plist>")));
        none("top level an array", plist("<array><string>a</string></array>"));
        none("top level a string", plist("<string>a</string>"));
        none("key without a value", entry(""));
        none("two keys in a row", entry("<key>b</key><true/>"));
        none("unknown element", entry("<colour>red</colour>"));
        none("integer beyond 64 bits", entry("<integer>9223372036854775808</integer>"));
        none("text between elements", entry("loose<true/>"));
        none("nesting beyond the limit", entry(QByteArray("<array>").repeated(10'000) +
                                               QByteArray("</array>").repeated(10'000)));
        none("two top-level values", plist("<dict/><dict/>"));
        none("not XML", "name = Trackglint");
        none("empty", "");
    }
    void readsPropertyLists() {
        QFETCH(QByteArray, xml);
        QFETCH(QVariant, expected);
        const std::optional<QVariantMap> read = platform::readPropertyList(xml);
        QCOMPARE(read.has_value(), expected.isValid());
        if (read) QCOMPARE(*read, expected.toMap());
    }

    void findsAndReadsABundle_data() {
        QTest::addColumn<QString>("executable");
        QTest::addColumn<QByteArray>("version");  // Info.plist's version element; empty: no file
        // The version text read (null for none); invalid when no bundle is found.
        QTest::addColumn<QVariant>("expected");
        const auto row = [](const char* name, const char* executable, const char* version,
                            const QVariant& expected) {
            QTest::newRow(name) << QString(executable) << QByteArray(version) << expected;
        };
        row("version as text", "A.app/Contents/Linux/tg", "<string>2.5</string>", QString("2.5"));
        row("version as number", "A.app/Contents/Linux/tg", "<integer>3</integer>", QString());
        row("not in Contents/Linux", "A.app/Contents/Resources/tg", "<string/>", QVariant());
        row("folder not an .app", "A/Contents/Linux/tg", "<string/>", QVariant());
        row("no Info.plist", "A.app/Contents/Linux/tg", "", QVariant());
    }
    void findsAndReadsABundle() {
        QFETCH(QString, executable);
        QFETCH(QByteArray, version);
        QFETCH(QVariant, expected);
        QTemporaryDir dir;
        const QString root = dir.filePath(executable.section("/Contents/", 0, 0));
        if (!version.isEmpty()) {
            QVERIFY(QDir().mkpath(root + "/Contents"));
            QFile info(root + "/Contents/Info.plist");
            QVERIFY(info.open(QIODevice::WriteOnly) && info.write(entry(version, VERSION_KEY)));
        }
        const std::optional<Bundle> bundle = Bundle::containing(dir.filePath(executable));
        QCOMPARE(bundle.has_value(), expected.isValid());
        if (!bundle) return;
        QCOMPARE(bundle->path(), root);
        QCOMPARE(bundle->infoString(VERSION_KEY).value_or(QString()), expected.toString());
    }

    void theBuiltBundleCarriesItsInfoAndPictures() {
        QCOMPARE(platform::appVersion(), QStringLiteral("0"));  // the test runs from no bundle
        QVERIFY(!platform::resourcePath("spotify-emoji.png"));

        const std::optional<Bundle> bundle = Bundle::containing(TRACKGLINT_PROGRAM);
        QVERIFY(bundle);
        QCOMPARE(bundle->path(), QStringLiteral(TRACKGLINT_BUNDLE));
        QCOMPARE(bundle->infoString(VERSION_KEY).value_or(""), TRACKGLINT_VERSION);
        QCOMPARE(bundle->infoString("CFBundleIdentifier").value_or(""), "com.trackglint.app");
        QVERIFY(QFileInfo(platform::updateHelperIn(bundle->path())).isExecutable());
        for (const char* name : {"spotify-emoji.png", "trackglint.png"}) {
            const QImage picture(bundle->resource(name).value_or(""));
            QCOMPARE(picture.size(), QSize(256, 256));
            QCOMPARE(qAlpha(picture.pixel(0, 0)), 0);  // transparent around the picture
        }
        QVERIFY(!bundle->resource("missing.png"));
    }
};

QTEST_GUILESS_MAIN(BundleTest)
#include "tst_bundle.moc"
