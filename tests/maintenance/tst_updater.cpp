#include <QSignalSpy>
#include <QTest>

#include "FakeSlack.h"
#include "RecordingDesktop.h"
#include "TestPorts.h"
#include "maintenance/Updater.h"
#include "maintenance/Version.h"
#include "state/Constants.h"
#include "ui/Prompts.h"

namespace {
const QString KEY = QStringLiteral("RWQf6LRCGA9i53mlYecO4IzT51TGPpvWucNSCh1CBM0QTaLn73Y7GFO3");
}

// The update check against a vendor service on loopback; the test runs from no bundle, so the
// running version is "0".
class UpdaterTest : public QObject {
    Q_OBJECT

  private:
    FakeSlack service_;  // any scripted HTTP server will do; its paths start with /api/

  private slots:
    void initTestCase() { qputenv("TRACKGLINT_BROKER", (service_.url() + "/api").toUtf8()); }

    void theVersionOrder() {
        const QList<std::tuple<QString, QString, bool>> table{
            {"1.10", "1.9", true},
            {"1.3", "1.2.9", true},
            {"1.2", "1.2.0", false},
            {"1.2.0", "1.2", false},
            {"1.2.1", "1.2", true},
            {"0.0.1", "0", true},
            {"", "", false},
            {"1..2", "1.1", true},      // empty pieces are left out
            {"1.2b.3", "1.2", true},    // 1.3: the piece that isn't a number drops
            {"beta2.0", "0.1", false},  // 0
            {"+2", "1", true},          // a leading sign is part of the number
            {"-1", "0", false},
            {"1.-1", "1", false},
            {"9223372036854775807", "1", true},     // the largest number that fits
            {"9223372036854775808.5", "1", true},   // beyond 64 bits: dropped, leaving 5
            {"1.9223372036854775808", "1", false},  // dropped, leaving 1
            {"1.2 ", "1.1", false},                 // "2 " is not a number: 1
            {"1.+", "1.0", false}};
        for (const auto& [candidate, reference, newer] : table)
            QVERIFY2(isNewer(candidate, reference) == newer,
                     qPrintable(candidate + " " + reference));
    }

    // What a check does with each reply, automatic (silent unless newer) or asked for.
    void theCheckFollowsTheReply_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");    // "down": no server listening
        QTest::addColumn<QString>("offered");    // none: no offer
        QTest::addColumn<bool>("upToDateSaid");  // when interactive
        QTest::newRow("newer") << 200 << QByteArray(R"({"version":"1.4.0","notes":1})") << "1.4.0"
                               << false;
        QTest::newRow("newer, error status")
            << 503 << QByteArray(R"({"version":"2"})") << "2" << false;
        QTest::newRow("equal") << 200 << QByteArray(R"({"version":"0.0"})") << QString() << true;
        for (const char* bad : {"<html>", R"(["1.4.0"])", R"({"version":140})", "", "down"})
            QTest::newRow(bad) << 200 << QByteArray(bad) << QString() << false;
    }
    void theCheckFollowsTheReply() {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, offered);
        QFETCH(bool, upToDateSaid);
        if (body == "down")
            qputenv("TRACKGLINT_BROKER",
                    "http://127.0.0.1:" + QByteArray::number(freeLoopbackPort()));
        for (const bool interactive : {false, true}) {
            service_.reset();
            service_.script("version?v=0", {{status, body}});
            AppState state;
            state.setUpdateAvailable("0.5");
            Updater updater(state, KEY);
            QSignalSpy found(&updater, &Updater::updateFound);
            QSignalSpy latest(&updater, &Updater::upToDate);
            QSignalSpy failed(&updater, &Updater::checkFailed);
            updater.checkForUpdate(interactive);
            QTRY_VERIFY(found.size() + latest.size() + failed.size() > 0 ||
                        (!interactive && (service_.requests().size() == 1 || body == "down")));
            QTest::qWait(300);
            QCOMPARE(found.size(), offered.isEmpty() ? 0 : 1);
            QCOMPARE(latest.size(), int(offered.isEmpty() && interactive && upToDateSaid));
            QCOMPARE(failed.size(), int(offered.isEmpty() && interactive && !upToDateSaid));
            if (!offered.isEmpty()) {
                QCOMPARE(found[0][0].toString(), offered);
                QCOMPARE(state.updateAvailable(), offered);
            } else {
                QCOMPARE(state.updateAvailable(),
                         latest.isEmpty() ? std::optional<QString>("0.5") : std::nullopt);
            }
        }
        qputenv("TRACKGLINT_BROKER", (service_.url() + "/api").toUtf8());
    }

    // A reply that trickles in, a byte a second, keeps a check the user asked for waiting no
    // longer than its time: it says it could not check, and offers nothing from the late reply.
    void anAskedCheckGivesUpOnAReplyThatTrickles() {
        service_.reset();
        FakeSlack::Reply slow(200, R"({"version":"9"})");
        slow.trickleMs = 1000;
        service_.script("version?v=0", {slow});
        AppState state;
        Updater updater(state, KEY);
        QSignalSpy found(&updater, &Updater::updateFound);
        QSignalSpy failed(&updater, &Updater::checkFailed);
        updater.checkForUpdate(true);
        QTRY_VERIFY_WITH_TIMEOUT(found.size() + failed.size() > 0, 20000);
        QCOMPARE(failed.size(), 1);
        QCOMPARE(found.size(), 0);
    }

    // A build without an update key could never install one, and a copy the package manager
    // installed is updated by it: neither asks anything.
    void withoutAKeyOrInAPackageThereAreNoUpdates_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<Distribution>("distribution");
        QTest::newRow("no key") << QString() << Distribution::SelfManaged;
        QTest::newRow("packaged") << KEY << Distribution::PackageManager;
    }
    void withoutAKeyOrInAPackageThereAreNoUpdates() {
        QFETCH(QString, key);
        QFETCH(Distribution, distribution);
        service_.reset();
        service_.script("version?v=0", R"({"version":"9"})");
        AppState state;
        Updater updater(state, key, distribution);
        QSignalSpy found(&updater, &Updater::updateFound);
        updater.scheduleChecks(std::chrono::milliseconds(0), std::chrono::hours(1));
        updater.checkForUpdate(true);
        QTest::qWait(300);
        QCOMPARE(service_.requests().size(), 0);
        QCOMPARE(found.size(), 0);
    }

    // The menu offers a version found earlier again, until there is none; the user is asked in
    // these words.
    void theOfferIsMadeAgain() {
        AppState state;
        Updater updater(state, KEY);
        QSignalSpy found(&updater, &Updater::updateFound);
        updater.offerAgain();
        state.setUpdateAvailable("1.4.0");
        updater.offerAgain();
        QCOMPARE(found.size(), 1);

        RecordingDesktop desktop;
        Prompts prompts(desktop);
        desktop.answers = {1, 0};
        QVERIFY(!prompts.offerUpdate("1.4.0"));  // "Later"
        QVERIFY(prompts.offerUpdate("1.4.0"));
        prompts.sayUpToDate();
        QCOMPARE(desktop.alerts.size(), 3);
        QCOMPARE(desktop.alerts[0].message, "Trackglint 1.4.0 is available");
        QCOMPARE(desktop.alerts[0].informativeText,
                 "You have 0. The update downloads and installs itself in a few seconds.");
        QCOMPARE(desktop.alerts[0].buttons, QStringList({"Update Now", "Later"}));
        QCOMPARE(desktop.alerts[2].message, "You're up to date");
        QCOMPARE(desktop.alerts[2].informativeText, "Trackglint 0 is the latest version.");
    }
};

QTEST_GUILESS_MAIN(UpdaterTest)
#include "tst_updater.moc"
