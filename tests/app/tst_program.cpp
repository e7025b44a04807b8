#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

#include <QDBusConnectionInterface>

#include "FakeSlack.h"
#include "FakeSpotify.h"
#include "PrivateBus.h"
#include "RecordingDesktop.h"
#include "TestFiles.h"
#include "app/AppDelegate.h"
#include "platform/Files.h"
#include "settings/Config.h"

// The built program, run as a user would run it, against the fakes.
class ProgramTest : public QObject {
    Q_OBJECT

    PrivateBus bus_;
    FakeSlack slack_;
    FakeSpotify spotify_{bus_.address()};
    std::unique_ptr<QTemporaryDir> home_;
    QProcess program_;

    QString settingsPath() const { return home_->filePath(".trackglint-mac.json"); }
    static QByteArray showing(const QString& text) {
        return "{\"ok\":true,\"profile\":{\"status_text\":\"" + text.toUtf8() + "\"}}";
    }

    // Starts the program with `settings` in its settings file; with none, there is no file. The
    // program runs as the user's installed copy, or, downloaded, from a folder of the home.
    void launch(const QJsonObject& settings, bool installed = true,
                const QStringList& arguments = {}) {
        Config config(settingsPath());
        config.setRaw(settings);
        if (!settings.isEmpty()) QCOMPARE(config.save(), std::nullopt);
        start(program_, installed ? installedProgram() : downloadedProgram(), arguments);
    }

    void start(QProcess& process, const QString& program, const QStringList& arguments) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("HOME", home_->path());
        environment.insert("TMPDIR", home_->filePath("tmp"));
        environment.insert("XDG_CONFIG_HOME", home_->filePath(".config"));
        environment.insert("XDG_DATA_HOME", home_->filePath(".local/share"));
        environment.insert("TRACKGLINT_SLACK_URL", slack_.url());
        environment.insert("DBUS_SESSION_BUS_ADDRESS", bus_.address());
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.start(program, arguments);
        QVERIFY(process.waitForStarted());
    }

    QString installedProgram() const { return installProgram(TRACKGLINT_PROGRAM, home_->path()); }

    QString downloadedProgram() const {
        const QString bundle = QString(TRACKGLINT_PROGRAM).section("/Contents/", 0, 0);
        const QString folder = home_->filePath("Downloads");
        if (!QDir().mkpath(folder) || QProcess::execute("cp", {"-a", bundle, folder}) != 0)
            return {};
        return folder + "/Trackglint.app/Contents/" +
               QString(TRACKGLINT_PROGRAM).section("/Contents/", 1);
    }

    void endWith(int signal) {
        ::kill(pid_t(program_.processId()), signal);
        QVERIFY(program_.waitForFinished(30'000));
        QCOMPARE(program_.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program_.exitCode(), 0);
    }

    QStringList statusTextsSent() const {
        QStringList texts;
        for (const FakeSlack::Request& request : slack_.requests("users.profile.set"))
            texts += QJsonDocument::fromJson(request.formValue("profile").toUtf8())["status_text"]
                         .toString();
        return texts;
    }

    // The program as a packaged copy has it, a link to the executable in a folder of commands,
    // or a lone copy of the executable outside any bundle; empty for the bundle's own.
    QString programAs(const QString& form) const {
        const QString path = home_->filePath("bin/trackglint");
        if (form.isEmpty() || !QDir().mkpath(home_->filePath("bin"))) return TRACKGLINT_PROGRAM;
        if (form == "link") QFile::link(TRACKGLINT_PROGRAM, path);
        if (form == "copy") QFile::copy(TRACKGLINT_PROGRAM, path);
        return path;
    }

  private slots:
    void init() {
        home_ = std::make_unique<QTemporaryDir>();
        slack_.reset();
        slack_.script("users.profile.set", R"({"ok":true})");
        slack_.script("emoji.list", R"({"ok":true,"emoji":{}})");
        QVERIFY(bus_.isRunning() && spotify_.run());
        spotify_.play("Song", {"Band"});
    }
    void cleanup() {
        program_.kill();
        program_.waitForFinished();
    }

    void mirrorsTheTrackAndClearsItOnTerminate() {
        // Empty before the program's first set, its own text afterwards.
        slack_.script("users.profile.get", {{200, showing("")}, {200, showing("Song — Band")}});
        launch({{"slackToken", "xoxp-1"}});
        QTRY_COMPARE_WITH_TIMEOUT(statusTextsSent(), QStringList{"Song — Band"}, 10'000);
        QTRY_COMPARE(Config(settingsPath()).lastSetText(), QStringLiteral("Song — Band"));
        endWith(SIGTERM);
        QCOMPARE(statusTextsSent(), QStringList({"Song — Band", ""}));
        QCOMPARE(Config(settingsPath()).lastSetText(), QStringLiteral("Song — Band"));
    }

    void leavesTheUsersOwnStatusOnInterrupt() {
        slack_.script("users.profile.get", showing("Lunch"));
        launch({{"slackToken", "xoxp-1"}});
        QTRY_VERIFY_WITH_TIMEOUT(slack_.requests("users.profile.get").size() >= 1, 10'000);
        endWith(SIGINT);
        QCOMPARE(statusTextsSent(), QStringList());
    }

    void clearsAStatusLeftBehindByAnEarlierRun() {
        slack_.script("users.profile.get", showing("Old — One"));
        spotify_.pause();
        launch({{"slackToken", "xoxp-1"}, {"lastSetText", "Old — One"}});
        QTRY_COMPARE_WITH_TIMEOUT(statusTextsSent(), QStringList{""}, 10'000);
        QTRY_COMPARE(Config(settingsPath()).lastSetText(), QString());
        endWith(SIGTERM);
        QCOMPARE(statusTextsSent(), QStringList{""});
    }

    // An update's new copy takes over from the running one, which leaves the status it set to
    // its successor instead of clearing it as it quits.
    void aHandOverKeepsTheStatus() {
        slack_.script("users.profile.get", showing(""));
        slack_.keepStatuses();
        launch({{"slackToken", "xoxp-1"}});
        QTRY_COMPARE_WITH_TIMEOUT(statusTextsSent(), QStringList{"Song — Band"}, 10'000);
        QTRY_COMPARE(Config(settingsPath()).lastSetText(), QStringLiteral("Song — Band"));
        QProcess successor;
        start(successor, installedProgram(), {"--moved"});
        QVERIFY(program_.waitForFinished(10'000));
        const qsizetype reads = slack_.requests("users.profile.get").size();
        QTRY_VERIFY_WITH_TIMEOUT(slack_.requests("users.profile.get").size() > reads, 10'000);
        QTest::qWait(500);
        // The successor may renew it, but it never goes blank.
        const QStringList sent = statusTextsSent();
        QVERIFY2(!sent.contains("") && sent.last() == "Song — Band", qPrintable(sent.join('|')));
        ::kill(pid_t(successor.processId()), SIGTERM);
        QVERIFY(successor.waitForFinished(10'000));
        QCOMPARE(statusTextsSent().last(), "");
    }

    // A start settles what an update's hand-over left when its old copy was killed: in time,
    // the new copy takes over and the old one set aside goes; too late, the old one goes back
    // in place and starts instead. A copy that runs also removes the working folder a killed
    // install left, and not one an install still works in.
    void aStartSettlesAnUnfinishedHandOver_data() {
        QTest::addColumn<int>("deadline");  // seconds from now
        QTest::newRow("in time") << 3600;
        QTest::newRow("too late") << -60;
    }
    void aStartSettlesAnUnfinishedHandOver() {
        QFETCH(int, deadline);
        const QString apps = home_->filePath("Applications");
        const QString aside = apps + "/.Trackglint.app-" + QString(32, u'a');
        const QByteArray oldProgram = "#!/bin/sh\ntouch \"$HOME/old copy started\"\n";
        QVERIFY(writeFile(aside + "/Contents/Info.plist", "<plist/>") &&
                writeFile(aside + "/Contents/Linux/trackglint", oldProgram, true));
        const QString record = apps + "/.Trackglint.app.hand-over";
        QVERIFY(writeFile(
            record,
            QJsonDocument(
                QJsonObject{{"aside", QFileInfo(aside).fileName()},
                            {"deadline", QDateTime::currentDateTimeUtc().addSecs(deadline).toString(
                                             Qt::ISODate)}})
                .toJson()));
        const QString tmp = home_->filePath("tmp");
        QVERIFY(QDir().mkpath(tmp + "/trackglint-update-LEFT") &&
                QDir().mkpath(tmp + "/trackglint-update-BUSY"));
        const platform::FolderLock busy(tmp + "/trackglint-update-BUSY", {});
        launch({});
        if (deadline < 0) {
            QVERIFY(program_.waitForFinished(10'000));
            QTRY_VERIFY(QFileInfo::exists(home_->filePath("old copy started")));
            QCOMPARE(readFile(apps + "/Trackglint.app/Contents/Linux/trackglint"), oldProgram);
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(aside), 10'000);
            QTRY_COMPARE(QDir(tmp).entryList({"trackglint-update-*"}, QDir::Dirs),
                         QStringList{"trackglint-update-BUSY"});
            QCOMPARE(program_.state(), QProcess::Running);
        }
        QCOMPARE(QDir(apps).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{"Trackglint.app"});
    }

    // A new copy held up until its hand-over ended finds its files replaced when it goes on:
    // it ends without taking the one-copy name from the copy that holds it.
    void aCopyWhoseFilesAreGoneDoesNotTakeOver() {
        QDBusConnection holder = QDBusConnection::connectToBus(bus_.address(), "holder");
        QCOMPARE(
            holder.interface()
                ->registerService("com.trackglint.app", QDBusConnectionInterface::DontQueueService,
                                  QDBusConnectionInterface::AllowReplacement)
                .value(),
            QDBusConnectionInterface::ServiceRegistered);
        launch({}, true, {"--moved"});
        ::kill(pid_t(program_.processId()), SIGSTOP);
        const QString bundle = home_->filePath("Applications/Trackglint.app");
        QVERIFY(QDir(bundle).removeRecursively());
        QVERIFY(!installedProgram().isEmpty());
        ::kill(pid_t(program_.processId()), SIGCONT);
        QVERIFY(program_.waitForFinished(10'000));
        QCOMPARE(program_.exitCode(), 0);
        QCOMPARE(holder.interface()->serviceOwner("com.trackglint.app").value(),
                 holder.baseService());
        QDBusConnection::disconnectFromBus("holder");
    }

    // A copy run from Downloads first offers to move itself; a signal then still ends it with
    // the clean-up.
    void aSignalDuringTheMoveOfferEndsItWithTheCleanUp() {
        slack_.script("users.profile.get", showing("Old — One"));
        launch({{"slackToken", "xoxp-1"}, {"lastSetText", "Old — One"}}, false);
        QTest::qWait(1500);  // the offer is up, unseen offscreen
        QCOMPARE(slack_.requests().size(), 0);
        endWith(SIGTERM);
        QCOMPARE(statusTextsSent(), QStringList{""});
    }

    // A copy that holds the one-copy name but never answers: a new start offers to end it, and
    // runs in its place.
    void aHungCopyIsEndedWhenTheUserAgrees() {
        launch({});
        QDBusConnection bus = QDBusConnection::connectToBus(bus_.address(), "hung");
        QTRY_VERIFY_WITH_TIMEOUT(bus.interface()->isServiceRegistered("com.trackglint.app"),
                                 10'000);
        ::kill(pid_t(program_.processId()), SIGSTOP);
        qputenv("DBUS_SESSION_BUS_ADDRESS", bus_.address().toUtf8());
        slack_.useForSlack();
        Environment world = Environment::system();
        world.configPath = home_->filePath("second.json");
        auto* desktop = new RecordingDesktop;
        desktop->answers = {0};  // "End It"
        world.desktop.reset(desktop);
        AppDelegate second(std::move(world));
        QVERIFY(second.applicationDidFinishLaunching());
        QCOMPARE(desktop->alerts.value(0).message,
                 "Trackglint is already running but doesn't answer");
        QVERIFY(program_.waitForFinished(5'000));
        QCOMPARE(bus.interface()->serviceOwner("com.trackglint.app").value(),
                 QDBusConnection::sessionBus().baseService());
        QDBusConnection::disconnectFromBus("hung");
    }

    // The version and the usage need neither a display nor a bundle, and the program ends
    // at once, touching nothing in the home folder.
    void answersItsOptionsWithoutADisplay_data() {
        QTest::addColumn<QString>("form");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("output");  // a pattern for the whole standard output
        QTest::addColumn<QString>("errors");  // and one for the standard error
        const QString version =
            QRegularExpression::escape(QStringLiteral("Trackglint " TRACKGLINT_VERSION "\n"));
        const QString usage = "Usage: trackglint .*--help.*--version.*--moved.*";
        QTest::newRow("version") << "" << QStringList{"--version"} << 0 << version << "";
        QTest::newRow("version, linked")
            << "link" << QStringList{"--version"} << 0 << version << "";
        QTest::newRow("version, no bundle")
            << "copy" << QStringList{"--version"} << 0 << version << "";
        QTest::newRow("help") << "" << QStringList{"--help"} << 0 << usage << "";
        QTest::newRow("-h, linked") << "link" << QStringList{"-h"} << 0 << usage << "";
        QTest::newRow("help beside --moved")
            << "" << QStringList{"--moved", "--help"} << 0 << usage << "";
        QTest::newRow("unknown") << "" << QStringList{"--verbose"} << 2 << ""
                                 << "trackglint: unknown option --verbose\n" + usage;
        QTest::newRow("unknown beside --version") << "" << QStringList{"--version", "-x"} << 2 << ""
                                                  << "trackglint: unknown option -x\n" + usage;
    }
    void answersItsOptionsWithoutADisplay() {
        QFETCH(QString, form);
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, output);
        QFETCH(QString, errors);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name :
             {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "DBUS_SESSION_BUS_ADDRESS"})
            environment.remove(name);
        environment.insert("HOME", home_->path());
        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(programAs(form), arguments);
        QVERIFY(program.waitForFinished(5'000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), exitCode);
        const auto whole = [](const QString& pattern) {
            return QRegularExpression(QRegularExpression::anchoredPattern(pattern),
                                      QRegularExpression::DotMatchesEverythingOption);
        };
        const QString printed = program.readAllStandardOutput();
        const QString complained = program.readAllStandardError();
        QVERIFY2(whole(output).match(printed).hasMatch(), qPrintable(printed));
        QVERIFY2(whole(errors).match(complained).hasMatch(), qPrintable(complained));
        QCOMPARE(QDir(home_->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 form.isEmpty() ? QStringList() : QStringList{"bin"});
    }

    // Idle, it maps none of the libraries that only its update helper needs.
    void runsWithoutSettings() {
        launch({});
        QTest::qWait(1000);
        QCOMPARE(program_.state(), QProcess::Running);
        QFile maps(QString("/proc/%1/maps").arg(program_.processId()));
        QVERIFY(maps.open(QIODevice::ReadOnly));
        const QByteArray mapped = maps.readAll();
        for (const char* library : {"libarchive", "libsodium", "libxml2", "libnettle"})
            QVERIFY2(!mapped.contains(library), library);
        endWith(SIGTERM);
        QCOMPARE(slack_.requests().size(), 0);
    }
};

QTEST_MAIN(ProgramTest)
#include "tst_program.moc"
