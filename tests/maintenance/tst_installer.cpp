#include <archive.h>
#include <archive_entry.h>
#include <sys/stat.h>

#include <csignal>

#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "FakeSlack.h"
#include "RecordingDesktop.h"
#include "RecordingStarter.h"
#include "TestFiles.h"
#include "TestPorts.h"
#include "actions/Parts.h"
#include "maintenance/InstallCopy.h"
#include "maintenance/Installer.h"
#include "maintenance/Mover.h"
#include "maintenance/UpdateRequest.h"
#include "platform/Bundle.h"
#include "platform/Files.h"
#include "platform/LoginItem.h"
#include "ui/Prompts.h"
#include "update/Archive.h"
#include "update/BuiltIn.h"
#include "update/BundleSignature.h"

namespace {

// Writes `bytes` to a new file at `path`, whose names may be any bytes, making its folders.
bool writeRaw(const std::filesystem::path& path, const QByteArray& bytes) {
    std::error_code error;
    std::filesystem::create_directories(path.parent_path(), error);
    std::ofstream file(path, std::ios::binary);
    return !error && file.write(bytes.constData(), bytes.size()).good();
}

QByteArray plist(const QString& version) {
    return "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>CFBundleShortVersionString"
           "</key><string>" +
           version.toUtf8() + "</string></dict></plist>\n";
}

bool makeBundle(const QString& path, const QString& version, const QByteArray& executable) {
    return writeFile(path + "/Contents/Info.plist", plist(version)) &&
           writeFile(path + "/Contents/Linux/trackglint", executable, true) &&
           writeFile(path + "/Contents/Linux/trackglint-update", executable, true) &&
           writeFile(path + "/Contents/Resources/trackglint.png", "picture");
}

bool run(const QString& folder, const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setWorkingDirectory(folder);
    process.start(program, arguments);
    const bool ok = process.waitForFinished(30000) && process.exitCode() == 0;
    if (!ok) qWarning() << program << process.readAllStandardError();
    return ok;
}

// One entry of a hand-made archive: a small file, a folder (a name ending in "/"), or a link to
// `link`.
struct Entry {
    QByteArray name;
    QByteArray link = {};
    int mode = 0644;
};

// Writes the entries of the zip archive `bytes` to `zip`.
void copyEntries(const QByteArray& bytes, archive* zip) {
    archive* reader = archive_read_new();
    archive_read_support_format_zip(reader);
    archive_read_open_memory(reader, bytes.constData(), size_t(bytes.size()));
    archive_entry* entry = nullptr;
    while (archive_read_next_header(reader, &entry) == ARCHIVE_OK) {
        QByteArray data(archive_entry_size(entry), '\0');
        archive_read_data(reader, data.data(), size_t(data.size()));
        archive_write_header(zip, entry);
        archive_write_data(zip, data.constData(), size_t(data.size()));
    }
    archive_read_free(reader);
}

int modeOf(const QString& path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

// A live update helper whose arguments name `url`, or 0.
pid_t helperFetchingFrom(const QString& url) {
    for (const QString& pid : QDir("/proc").entryList({"[0-9]*"}, QDir::Dirs)) {
        const QList<QByteArray> arguments = readFile("/proc/" + pid + "/cmdline").split('\0');
        const QByteArray stat = readFile("/proc/" + pid + "/stat");
        const QByteArray state = stat.mid(stat.lastIndexOf(") ") + 2, 1);
        if (arguments.first() == TRACKGLINT_UPDATE_HELPER && state != "Z" &&
            std::any_of(arguments.cbegin(), arguments.cend(), [&](const QByteArray& argument) {
                return argument.contains(url.toUtf8());
            }))
            return pid.toInt();
    }
    return 0;
}

const QString UPDATE_FAILED = "Update didn't complete";
const QString DOWNLOAD_FAILED = "The download failed.";
const QString NOT_UNPACKED = "The download couldn't be unpacked.";
const QString NOT_GENUINE = "The downloaded copy failed its security check.";
const QString CANNOT_RUN = "The downloaded copy can't run on this system.";
const QString WRONG_VERSION = "The downloaded copy's version didn't match the offered update.";
// The test build of the helper's, small so a test reaches them quickly.
const platform::DownloadLimits LIMITS = HELPER_BUILT_IN.limits;
const std::chrono::milliseconds HAND_OVER{1000};

}  // namespace

class InstallerTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    const QString apps_ = dir_.filePath("Applications");
    const QString installed_ = installedBundle(apps_);
    QByteArray elf_;           // a small real program of this machine
    QByteArray needsMissing_;  // that program, needing a library that is nowhere
    QByteArray otherLoader_;   // that program, started by a loader that is nowhere
    QByteArray key_;
    FakeSlack service_;
    int releases_ = 0;

    // A release as scripts/package makes it of a bundle named `name`, signed with `key`; then
    // `afterSigning` is put into the archive, replacing a file or adding one, and `missing`
    // taken out of it.
    struct Release {
        QString name = "Trackglint.app";
        QString version = "9.1";
        QByteArray executable = {};
        QString key = "good";
        QByteArray afterSigning = {};  // the file's path in the bundle, any bytes
        QString missing = {};          // likewise
    };
    QByteArray release(Release wanted) {
        const QString folder = dir_.filePath(QString("release-%1").arg(++releases_));
        QDir().mkpath(folder + "/tampered");
        if (!makeBundle(folder + "/" + wanted.name, wanted.version,
                        wanted.executable.isNull() ? elf_ : wanted.executable) ||
            !run(folder, TRACKGLINT_SOURCE "/scripts/package",
                 {"--key", dir_.filePath(wanted.key + ".key"), "--out", folder, "--bundle",
                  folder + "/" + wanted.name})) {
            return {};
        }
        const QString zip = folder + "/Trackglint.zip";
        const std::filesystem::path tampered =
            QFile::encodeName(folder + "/tampered/" + wanted.name).toStdString();
        if (!wanted.afterSigning.isEmpty() &&
            !(writeRaw(tampered / wanted.afterSigning.toStdString(), "changed") &&
              run(folder + "/tampered", "zip", {"-q", "-r", zip, wanted.name}))) {
            return {};
        }
        if (!wanted.missing.isEmpty() &&
            !run(folder, "zip", {"-q", "-d", zip, wanted.name + "/" + wanted.missing})) {
            return {};
        }
        platform::removeTree(folder + "/tampered");  // names QTemporaryDir cannot remove
        return readFile(zip);
    }

    // An archive of `entries`, after those of the archive `base`.
    QByteArray handMade(const QList<Entry>& entries, const QByteArray& base = {}) {
        const QByteArray path = QFile::encodeName(dir_.filePath("hand-made.zip"));
        archive* zip = archive_write_new();
        archive_write_set_format_zip(zip);
        archive_write_open_filename(zip, path.constData());
        if (!base.isEmpty()) copyEntries(base, zip);
        for (const Entry& item : entries) {
            const bool folder = item.name.endsWith('/');
            const bool link = !item.link.isEmpty();
            const size_t size = folder || link ? 0 : 5;
            archive_entry* entry = archive_entry_new();
            archive_entry_set_pathname(entry, item.name.constData());
            const mode_t type = folder ? AE_IFDIR : link ? AE_IFLNK : AE_IFREG;
            archive_entry_set_mode(entry, type | mode_t(item.mode));
            archive_entry_set_size(entry, la_int64_t(size));
            if (link) archive_entry_set_symlink(entry, item.link.constData());
            archive_write_header(zip, entry);
            archive_write_data(zip, "owned", size);
            archive_entry_free(entry);
        }
        archive_write_free(zip);
        return readFile(path);
    }

  private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        elf_ = readFile(QStandardPaths::findExecutable("true"));
        QVERIFY(writeFile(dir_.filePath("needs-missing"), elf_));
        QVERIFY(run(dir_.path(), "patchelf",
                    {"--add-needed", "libtrackglint-missing.so.1", "needs-missing"}));
        needsMissing_ = readFile(dir_.filePath("needs-missing"));
        QVERIFY(writeFile(dir_.filePath("other-loader"), elf_));
        QVERIFY(run(dir_.path(), "patchelf",
                    {"--set-interpreter", "/lib/ld-notthere.so.2", "other-loader"}));
        otherLoader_ = readFile(dir_.filePath("other-loader"));
        // The test build of the helper trusts the key the tests keep beside their sources.
        for (const QString end : {".pub", ".key"}) {
            QVERIFY(QFile::copy(TRACKGLINT_SOURCE "/tests/maintenance/test-update" + end,
                                dir_.filePath("good" + end)));
        }
        QVERIFY(run(dir_.path(), "minisign", {"-G", "-W", "-p", "other.pub", "-s", "other.key"}));
        key_ = readFile(dir_.filePath("good.pub"));
        ::umask(002);  // a release's files group-writable, as a shared build machine makes them
        QVERIFY(QDir().mkpath(dir_.filePath("tmp")));
        qputenv("TMPDIR", dir_.filePath("tmp").toUtf8());
        qputenv("XDG_DATA_HOME", dir_.filePath("data").toUtf8());
        qputenv("XDG_CONFIG_HOME", dir_.filePath("config").toUtf8());
        QVERIFY(writeFile(dir_.filePath("blocked"), "a file where a folder should be"));
    }

    void init() {
        QDir(apps_).removeRecursively();
        QDir(dir_.filePath("data")).removeRecursively();
        QVERIFY(makeBundle(installed_, "0.5", elf_));
        QVERIFY(!platform::XdgAutostart("/old/trackglint").setEnabled(true));
    }

    void installs_data() {
        QTest::addColumn<QByteArray>("archive");
        QTest::addColumn<QString>("expecting");
        QTest::addColumn<QString>("trouble");  // "no service" or "install folder blocked"
        QTest::addColumn<QString>("failure");  // the start of the alert's text; none: installed
        const auto row = [](const char* name, const QByteArray& archive, const QString& failure,
                            const QString& expecting = "9.1", const QString& trouble = "") {
            QTest::newRow(name) << archive << expecting << trouble << failure;
        };
        const QByteArray outside = QFile::encodeName(dir_.path());
        row("installs", release({}), "");
        row("no service", "", DOWNLOAD_FAILED, "9.1", "no service");
        row("not found", release({}), DOWNLOAD_FAILED, "9.1", "not found");
        row("too large", QByteArray(LIMITS.maxBytes + 1, 'x'),
            "The download was larger than an update can be.");
        row("stalls", "PK\3\4", "The download stopped making progress.", "9.1", "stalls");
        row("trickles", QByteArray(LIMITS.maxBytes, 'x'), "The download took too long.", "9.1",
            "trickles");
        row("not a zip", "<h1>Not found</h1>", NOT_UNPACKED);
        row("..", handMade({{"../../.bashrc", ""}}), NOT_UNPACKED);
        row("absolute", handMade({{outside + "/absolute", ""}}), NOT_UNPACKED);
        row("link out",
            handMade({{"Trackglint.app/out", outside}, {"Trackglint.app/out/escaped", ""}}),
            NOT_UNPACKED);
        row("another name", release({.name = "Other.app"}), NOT_GENUINE);
        row("another key", release({.key = "other"}), NOT_GENUINE);
        row("changed after signing", release({.afterSigning = "Contents/Resources/trackglint.png"}),
            NOT_GENUINE);
        row("extra file", release({.afterSigning = "Contents/Resources/extra.png"}), NOT_GENUINE);
        row("missing a signed file", release({.missing = "Contents/Resources/trackglint.png"}),
            NOT_GENUINE);
        const QByteArray deep = "Trackglint.app/" + QByteArray(250, 'a').append('/').repeated(17);
        row("name not UTF-8", release({.afterSigning = "Contents/\xff\xfe/extra"}), NOT_UNPACKED);
        row("path too long", handMade({{deep + "extra"}}, release({})), NOT_UNPACKED);
        row("folder not readable",
            handMade({{"Trackglint.app/locked/", {}, 0}, {"Trackglint.app/locked/extra"}},
                     release({})),
            NOT_GENUINE);
        row("not an ELF", release({.executable = "#!/bin/sh\n"}), CANNOT_RUN);
        row("needs a missing library", release({.executable = needsMissing_}), CANNOT_RUN);
        row("loader not there", release({.executable = otherLoader_}), CANNOT_RUN);
        row("cut short", release({.executable = elf_.left(64)}), CANNOT_RUN);
        row("other version", release({}), WRONG_VERSION, "9.2");
        row("not newer", release({.version = "0"}), WRONG_VERSION, "0");
        row("install folder blocked", release({}), "Couldn't replace the app (", "9.1",
            "install folder blocked");
        row("no helper", release({}), "The update stopped unexpectedly.", "9.1", "no helper");
        row("new copy doesn't take over", release({}), "The new version didn't start.", "9.1",
            "no hand-over");
        row("quit during the hand-over", release({}), "(none: put back)", "9.1", "quit");
    }

    void installs() {
        QFETCH(QByteArray, archive);
        QFETCH(QString, expecting);
        QFETCH(QString, trouble);
        QFETCH(QString, failure);
        FakeSlack::Reply reply{trouble == "not found" ? 404 : 200, archive};
        if (trouble == "stalls") reply.declaredLength = LIMITS.maxBytes;
        if (trouble == "trickles") {  // always enough not to stall
            reply.trickleMs = 500;
            reply.trickleBytes = LIMITS.stallBytes;
        }
        service_.serve("/Trackglint.zip", reply);
        const QString broker = trouble == "no service"
                                   ? QString("http://127.0.0.1:%1").arg(freeLoopbackPort())
                                   : service_.url();
        const QString folder = trouble.contains("blocked") ? dir_.filePath("blocked/Apps") : apps_;
        RecordingStarter starter;
        const QString helper =
            trouble == "no helper" ? dir_.filePath("missing") : TRACKGLINT_UPDATE_HELPER;
        auto installer =
            std::make_unique<Installer>(starter, helper, broker, folder, InstallLimits{HAND_OVER});
        QSignalSpy failed(installer.get(), &Installer::failed);
        installer->installUpdate(expecting);
        QTRY_VERIFY(!failed.isEmpty() || !starter.started.isEmpty());
        // The new copy takes the one-copy name over at once, or never; or the program quits
        // while it waits.
        const bool takesOver = trouble != "no hand-over" && trouble != "quit";
        if (trouble == "quit") {
            installer.reset();
        } else if (takesOver) {
            installer->handedOver();
        } else {
            QTRY_VERIFY(!failed.isEmpty());
        }
        if (failure.isEmpty()) QTest::qWait(int(HAND_OVER.count()) + 200);  // no late put-back

        const auto all = QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot;
        QCOMPARE(QDir(dir_.filePath("tmp")).entryList(all), QStringList());
        QCOMPARE(QDir(dir_.path()).entryList({".bashrc", "absolute", "escaped"}, all),
                 QStringList());
        QCOMPARE(QDir(apps_).entryList(all), QStringList("Trackglint.app"));
        const QString program = platform::executableIn(installed_);
        const QByteArray entry = readFile(dir_.filePath("data/applications/trackglint.desktop"));
        if (failure.isEmpty()) {
            QCOMPARE(failed.size(), 0);
            QCOMPARE(readFile(installed_ + "/Contents/Info.plist"), plist("9.1"));
            // Whatever the archive and the umask say.
            QCOMPARE(modeOf(installed_ + "/Contents"), 0755);
            QCOMPARE(modeOf(program), 0755);
            QCOMPARE(modeOf(installed_ + "/Contents/Info.plist"), 0644);
            QCOMPARE(starter.started, QList<QStringList>({{program, "--moved"}}));
            QVERIFY(entry.contains("\nExec=\"" + program.toUtf8() + "\"\n"));
            QVERIFY(entry.contains("\nIcon=" + installed_.toUtf8() + "/Contents/Resources/"));
            QVERIFY(readFile(platform::XdgAutostart::entryPath()).contains(program.toUtf8()));
            return;
        }
        QCOMPARE(failed.size(), trouble == "quit" ? 0 : 1);
        const QString explanation = failed.value(0).value(0).toString();
        QVERIFY2(trouble == "quit" || explanation.startsWith(failure), qPrintable(explanation));
        QVERIFY(trouble == "quit" ||
                explanation.endsWith(". You can also just re-download from 127.0.0.1."));
        QCOMPARE(readFile(installed_ + "/Contents/Info.plist"), plist("0.5"));
        QCOMPARE(starter.started.size(), takesOver ? 0 : 1);
        if (takesOver) QVERIFY(entry.isEmpty());
    }

    // Whoever starts the helper cannot make it trust another key or download without bounds: a
    // command line that carries them, as a request once did, or that adds them to a request, is
    // refused, and nothing is installed.
    void theHelperTakesNoKeyOrLimitsFromItsCommandLine() {
        service_.serve("/Trackglint.zip", {200, release({.key = "other"})});
        const QString work = dir_.filePath("work");
        const QString archive = service_.url() + "/Trackglint.zip";
        const QStringList steering = {QString::fromUtf8(readFile(dir_.filePath("other.pub"))),
                                      "4611686018427387904", "0", "-5"};
        const UpdateRequest request{work, QUrl(archive), "9.1", "0.5", apps_};
        const QList<QStringList> commandLines = {{work, archive, steering[0], "9.1", "0.5", apps_,
                                                  steering[1], steering[2], steering[3]},
                                                 request.arguments() + steering};
        for (const QStringList& arguments : commandLines) {
            QVERIFY(QDir().mkpath(work));
            QProcess helper;
            helper.start(TRACKGLINT_UPDATE_HELPER, arguments);
            QVERIFY(helper.waitForFinished(30000));
            QCOMPARE(helper.exitCode(), 2);
            QCOMPARE(readFile(installed_ + "/Contents/Info.plist"), plist("0.5"));
            platform::removeTree(work);
        }
    }

    // An agent killed while its helper downloads takes the helper along, so nothing goes on to
    // install a copy that no agent is left to start. The test runs itself as that agent.
    void aKilledAgentTakesItsHelperAlong() {
        if (qEnvironmentVariableIsSet("TRACKGLINT_TEST_AGENT")) {
            RecordingStarter starter;
            Installer installer(starter, TRACKGLINT_UPDATE_HELPER,
                                qEnvironmentVariable("TRACKGLINT_TEST_AGENT"), apps_);
            installer.installUpdate("9.1");
            QTest::qWait(60'000);
            return;
        }
        // A download that goes on for the helper's whole deadline without stalling.
        FakeSlack::Reply trickles{200, QByteArray(LIMITS.maxBytes, 'x')};
        trickles.trickleMs = 500;
        trickles.trickleBytes = LIMITS.stallBytes;
        service_.serve("/Trackglint.zip", trickles);
        QProcess agent;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("TRACKGLINT_TEST_AGENT", service_.url());
        // What the killed agent leaves goes with this test's folder.
        QVERIFY(QDir().mkpath(dir_.filePath("agent")));
        environment.insert("TMPDIR", dir_.filePath("agent"));
        agent.setProcessEnvironment(environment);
        agent.start(QCoreApplication::applicationFilePath(), {"aKilledAgentTakesItsHelperAlong"});
        pid_t helper = 0;
        QTRY_VERIFY_WITH_TIMEOUT((helper = helperFetchingFrom(service_.url())) != 0, 20'000);
        ::kill(pid_t(agent.processId()), SIGKILL);
        QVERIFY(agent.waitForFinished());
        QTRY_COMPARE_WITH_TIMEOUT(helperFetchingFrom(service_.url()), 0, 1'000);
    }

    // The signature check sees every name, whatever its bytes: a file beside the signed ones
    // fails it even where unpacking would not have let it in.
    void theSignatureCheckSeesEveryName() {
        const QString folder = dir_.filePath("unpacked");
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(writeFile(folder + "/Trackglint.zip", release({})));
        QVERIFY(unpackZip(folder + "/Trackglint.zip", folder));
        const QString bundle = folder + "/Trackglint.app";
        QVERIFY(signedFiles(bundle, key_).has_value());
        QVERIFY(writeRaw(QFile::encodeName(bundle).toStdString() + "/\xff\xfe", "unsigned"));
        QVERIFY(!signedFiles(bundle, key_));
        platform::removeTree(folder);
    }

    // A small archive that unpacks into a lot stops at the budget instead of filling the disk.
    void unpackingStopsAtItsBudget() {
        const QString folder = dir_.filePath("zeros");
        QVERIFY(writeFile(folder + "/a/zeros", QByteArray(1 << 20, '\0')));
        QVERIFY(run(folder, "zip", {"-q", "-r", "zeros.zip", "a"}));
        QVERIFY(QDir().mkpath(folder + "/small") && QDir().mkpath(folder + "/large"));
        QVERIFY(!unpackZip(folder + "/zeros.zip", folder + "/small", 1 << 19));
        QVERIFY(!QFileInfo::exists(folder + "/small/a/zeros"));
        QVERIFY(unpackZip(folder + "/zeros.zip", folder + "/large", 1 << 21));
        QCOMPARE(QFileInfo(folder + "/large/a/zeros").size(), 1 << 20);
    }

    // A minisign that signs in the legacy format, as those before 0.10 do, makes no release.
    void packagingRefusesALegacySignature() {
        const QString minisign = QStandardPaths::findExecutable("minisign");
        const QString wrapper = dir_.filePath("old-minisign/minisign");
        QVERIFY(writeFile(wrapper,
                          "#!/bin/sh\n[ \"$1\" = -S ] && exec " + minisign.toUtf8() +
                              " \"$@\" -l\nexec " + minisign.toUtf8() + " \"$@\"\n",
                          true));
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", QFileInfo(wrapper).path().toUtf8() + ":" + path);
        const QByteArray made = release({});
        qputenv("PATH", path);
        QCOMPARE(made, QByteArray());
    }

    // The move is offered only to a copy that installs itself and runs outside the install
    // folder, in these words.
    void moves_data() {
        QTest::addColumn<QString>("from");    // the folder of the running bundle; none: bare build
        QTest::addColumn<bool>("copyFails");  // the bundle holds a pipe, which cannot be copied
        QTest::addColumn<Distribution>("distribution");
        QTest::addColumn<QString>("outcome");
        const Distribution self = Distribution::SelfManaged;
        QTest::newRow("bare build") << "" << false << self << "not offered";
        QTest::newRow("installed") << "Applications" << false << self << "not offered";
        QTest::newRow("in a subfolder") << "Applications/Tools" << false << self << "not offered";
        QTest::newRow("in its build folder") << "build" << false << self << "not offered";
        QTest::newRow("installed by the package manager")
            << "usr/lib/trackglint" << false << Distribution::PackageManager << "not offered";
        QTest::newRow("moved") << "Downloads" << false << self << "moved";
        QTest::newRow("copy fails") << "Downloads" << true << self << "failed";
    }
    void moves() {
        QFETCH(QString, from);
        QFETCH(bool, copyFails);
        QFETCH(Distribution, distribution);
        QFETCH(QString, outcome);
        const QString source = dir_.path() + "/" + from + "/Trackglint.app";
        QDir(dir_.filePath("Downloads")).removeRecursively();
        if (!from.isEmpty() && !QFileInfo::exists(source)) {
            QVERIFY(makeBundle(source, "1.0", elf_));
        }
        if (from == "build") QVERIFY(writeFile(dir_.filePath("build/CMakeCache.txt"), "x"));
        const QByteArray pipe = QFile::encodeName(source + "/Contents/pipe");
        if (copyFails) QCOMPARE(::mkfifo(pipe.constData(), 0600), 0);
        RecordingStarter starter;
        int quits = 0;
        Mover mover(starter, from.isEmpty() ? std::nullopt : std::optional(source), apps_,
                    distribution, [&] { ++quits; });
        QCOMPARE(mover.offersMove(), outcome != "not offered");
        if (!mover.offersMove()) return;
        QCOMPARE(mover.runningFolderName(), "Downloads");
        const Mover::Result result = mover.moveToApplications();
        const bool moved = outcome == "moved";
        QCOMPARE(result.handedOver, moved);
        QCOMPARE(result.failure.has_value(), outcome == "failed");
        QCOMPARE(readFile(installed_ + "/Contents/Info.plist"), plist(moved ? "1.0" : "0.5"));
        QCOMPARE(QFileInfo::exists(source), !moved);
        const QStringList start = {platform::executableIn(installed_), "--moved"};
        QCOMPARE(starter.started, moved ? QList<QStringList>{start} : QList<QStringList>());
        QCOMPARE(quits, moved ? 1 : 0);
    }

    // At login the autostart entry starts a copy that installs itself by its own executable,
    // and one the package manager installed by the package's command on PATH, which stays put
    // when the package is upgraded.
    void theLoginItemStartsTheInstalledCommand() {
        const QList<std::pair<Distribution, QString>> table{
            {Distribution::SelfManaged, QCoreApplication::applicationFilePath()},
            {Distribution::PackageManager, PACKAGED_COMMAND}};
        for (const auto& [distribution, command] : table) {
            QCOMPARE(Environment::system(distribution).loginItem->setEnabled(true), std::nullopt);
            QVERIFY(readFile(platform::XdgAutostart::entryPath())
                        .contains("\nExec=\"" + command.toUtf8() + "\"\n"));
        }
        QVERIFY(PACKAGED_COMMAND.endsWith("/bin/trackglint"));
    }

    void theUserIsAskedAndToldInTheseWords() {
        RecordingDesktop desktop;
        Prompts prompts(desktop);
        desktop.answers = {1, 0};
        QVERIFY(!prompts.offerMove("Downloads"));  // "Not Now"
        QVERIFY(prompts.offerMove("Downloads"));
        prompts.sayMoveFailed("Permission denied");
        prompts.sayUpdateFailed("The download failed.");
        QCOMPARE(desktop.alerts[0].message, "Move Trackglint to ~/Applications?");
        QCOMPARE(desktop.alerts[0].informativeText,
                 "Trackglint is running from Downloads. It'll move itself to the Applications "
                 "folder in your home folder, add itself to your applications menu, and carry "
                 "on.");
        QCOMPARE(desktop.alerts[0].buttons, QStringList({"Move to ~/Applications", "Not Now"}));
        QCOMPARE(desktop.alerts[2].message, "Couldn't move automatically");
        QCOMPARE(desktop.alerts[2].informativeText,
                 "Move Trackglint.app into ~/Applications yourself, then open it from there. "
                 "(Permission denied)");
        QCOMPARE(desktop.alerts[3].message, UPDATE_FAILED);
        QCOMPARE(desktop.alerts[3].informativeText, "The download failed.");
    }
};

QTEST_GUILESS_MAIN(InstallerTest)
#include "tst_installer.moc"
