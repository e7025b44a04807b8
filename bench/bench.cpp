// Measures the built agent as a user runs it, against the test stand-ins: a Spotify player on
// a private session bus, Slack on loopback, a panel's tray watcher and an X server. A bare Qt
// Widgets tray program is started beside it and run over the same time, as the baseline.
//
//   trackglint_bench                      prints one line per figure; exit status 1 when one
//                                         misses its target
//   trackglint_bench --callgrind FILE     runs the agent under callgrind instead, counting
//                                         instructions per thread over the renewal steps into
//                                         FILE.1-NN and over the track changes into FILE.2-NN

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/prctl.h>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <functional>

#include "FakeSlack.h"
#include "FakeSpotify.h"
#include "Panel.h"
#include "PrivateBus.h"
#include "ProcessMeter.h"
#include "TestFiles.h"

namespace {

using SteadyClock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// A signal-driven step starts 250 ms after the player's signal, and such steps start at least
// 2 s apart. Signals this far apart never meet that limit, so each track change measures the
// way from the signal to Slack alone.
constexpr auto CHANGE_SPACING = 2300ms;
constexpr int TRACK_CHANGES = 20;
// Renewal steps: the player announces the track it already plays, and the step re-sends the
// same status, as the 15-second timer's steps do.
constexpr auto RENEWAL_SPACING = 2100ms;
constexpr int RENEWALS = 10;
constexpr auto SETTLE_TIME = 2s;
const QString ARTIST = QStringLiteral("Bench Artist");
// What only the update helper needs, and the idle agent should not map.
const QStringList UPDATE_LIBRARIES = {"libarchive", "libsodium", "libxml2", "libnettle"};

struct Targets {
    double rssRatio = 1.25;
    double cpuPerStepMs = 1.0;
    double firstSetMs = 300;
    double changeP95Ms = 1000;
};

double milliseconds(SteadyClock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

QString trackTitle(int change) {
    return QStringLiteral("Track %1").arg(change);
}

// Run in each program the bench starts: the program ends when the bench does, however it ends.
void endWithTheBench() {
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
}

// The nearest-rank percentile of `values`.
double percentile(QList<double> values, double share) {
    std::sort(values.begin(), values.end());
    const qsizetype rank = qsizetype(std::ceil(share * double(values.size())));
    return values.value(std::max<qsizetype>(rank - 1, 0));
}

// The CPU both programs spent over one stretch of time, and the sync steps the agent made.
struct CpuWindow {
    double agentMs = 0;
    double bareMs = 0;
    qsizetype steps = 0;

    double perStepMs() const { return steps ? (agentMs - bareMs) / double(steps) : 0; }
    QString describe() const {
        return QStringLiteral("%1 ms (%2 steps; %3 − %4 ms)")
            .arg(perStepMs(), 0, 'f', 2)
            .arg(steps)
            .arg(agentMs, 0, 'f', 1)
            .arg(bareMs, 0, 'f', 1);
    }
};

class Bench {
  public:
    explicit Bench(QString callgrindOut) : callgrindOut_(std::move(callgrindOut)) {}
    ~Bench() {
        for (QProcess* program : {&agent_, &bare_, &xserver_}) {
            program->terminate();
            program->waitForFinished(30'000);
        }
    }

    // Runs every measurement; returns false when the stand-ins or the programs fail.
    bool run() {
        if (!prepare()) return false;
        launch();
        if (!waitForFirstSet() || !openDashboard()) return false;
        QTest::qWait(int(std::chrono::milliseconds(SETTLE_TIME).count()));
        if (!closeDashboard()) return false;
        QTest::qWait(int(std::chrono::milliseconds(SETTLE_TIME).count()));
        agentKiB_ = agentMeter_->residentKiB();
        bareKiB_ = bareMeter_->residentKiB();
        updateLibraries_ = agentMeter_->mapped(UPDATE_LIBRARIES);
        renewal_ = measureSteps(RENEWALS, RENEWAL_SPACING,
                                [this](int) { spotify_.play(trackTitle(0), {ARTIST}); });
        change_ = measureSteps(TRACK_CHANGES, CHANGE_SPACING, [this](int change) {
            const SteadyClock::time_point changed = SteadyClock::now();
            spotify_.play(trackTitle(change), {ARTIST});
            const QString text = trackTitle(change) + QStringLiteral(" — ") + ARTIST;
            (void)QTest::qWaitFor([&] { return setArrival(text).has_value(); }, 2000);
            if (const auto arrived = setArrival(text))
                changeMs_ += milliseconds(*arrived - changed);
        });
        return true;
    }

    // Prints the figures; returns whether all of them meet their targets.
    bool printFigures() const;

  private:
    bool prepare();
    void launch();
    bool waitForFirstSet();
    bool openDashboard();
    bool closeDashboard();
    int visibleDashboards() const;
    CpuWindow measureSteps(int count, std::chrono::milliseconds spacing,
                           const std::function<void(int)>& act);
    QProcessEnvironment programEnvironment() const;
    std::optional<SteadyClock::time_point> setArrival(const QString& text) const;
    void callgrindControl(const QString& option) const;

    QString callgrindOut_;
    PrivateBus bus_;
    FakeSlack slack_;
    FakeSpotify spotify_{bus_.address()};
    PanelWatcher panel_;
    QTemporaryDir home_;
    QProcess xserver_;
    QByteArray display_;
    QString agentProgram_;
    QProcess agent_;
    QProcess bare_;
    std::unique_ptr<ProcessMeter> agentMeter_;
    std::unique_ptr<ProcessMeter> bareMeter_;
    SteadyClock::time_point started_;

    std::optional<double> firstSetMs_;
    qint64 agentKiB_ = 0;
    qint64 bareKiB_ = 0;
    QStringList updateLibraries_;
    CpuWindow renewal_;
    CpuWindow change_;
    QList<double> changeMs_;
};

bool Bench::prepare() {
    if (!bus_.isRunning() || !panel_.registerOnSessionBus() || !spotify_.run()) {
        std::fprintf(stderr, "bench: the private session bus did not start\n");
        return false;
    }
    for (QProcess* program : {&xserver_, &agent_, &bare_}) {
        program->setChildProcessModifier(endWithTheBench);
    }
    xserver_.start("Xvfb", {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1024x768x24"});
    if (!xserver_.waitForReadyRead(10'000)) {
        std::fprintf(stderr, "bench: Xvfb did not start\n");
        return false;
    }
    display_ = xserver_.readLine().trimmed();

    // Signed in, no status of the user's own, the :spotify: emoji present (so steps start no
    // emoji checks), and Spotify installed and playing.
    slack_.shows(QString());
    slack_.script("users.profile.set", R"({"ok":true})");
    slack_.script("emoji.list", R"({"ok":true,"emoji":{"spotify":"https://emoji.example/s.png"}})");
    spotify_.play(trackTitle(0), {ARTIST});
    // Run as the copy installed in ~/Applications, as a user runs it: from elsewhere it would
    // first offer to move itself there.
    agentProgram_ = installProgram(TRACKGLINT_PROGRAM, home_.path());
    QDir(home_.path()).mkpath(".local/share/applications");
    QFile(home_.filePath(".local/share/applications/spotify.desktop")).open(QIODevice::WriteOnly);
    return writeSettings(home_.filePath(".trackglint-mac.json"), {{"slackToken", "xoxp-bench"}});
}

QProcessEnvironment Bench::programEnvironment() const {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", home_.path());
    environment.insert("XDG_CONFIG_HOME", home_.filePath(".config"));
    environment.insert("XDG_DATA_HOME", home_.filePath(".local/share"));
    environment.insert("XDG_RUNTIME_DIR", home_.path());  // private to the user, as it must be
    environment.insert("DISPLAY", ":" + display_);
    environment.insert("QT_QPA_PLATFORM", "xcb");
    environment.insert("TRACKGLINT_SLACK_URL", slack_.url());
    // The update check, 20 s after launch, asks the fake too rather than a name to look up.
    environment.insert("TRACKGLINT_BROKER", slack_.url());
    return environment;
}

void Bench::launch() {
    for (QProcess* program : {&agent_, &bare_}) {
        program->setProcessEnvironment(programEnvironment());
        program->setProcessChannelMode(QProcess::ForwardedChannels);
    }
    bare_.start(QStringLiteral(BARE_PROGRAM), {});
    started_ = SteadyClock::now();
    if (callgrindOut_.isEmpty()) {
        agent_.start(agentProgram_, {});
    } else {
        agent_.start("valgrind",
                     {"--tool=callgrind", "--instr-atstart=no", "--separate-threads=yes",
                      "--callgrind-out-file=" + callgrindOut_, agentProgram_});
    }
    agent_.waitForStarted();
    bare_.waitForStarted();
    agentMeter_ = std::make_unique<ProcessMeter>(agent_.processId());
    bareMeter_ = std::make_unique<ProcessMeter>(bare_.processId());
}

bool Bench::waitForFirstSet() {
    const int timeout = callgrindOut_.isEmpty() ? 10'000 : 120'000;
    if (!QTest::qWaitFor([this] { return !slack_.requests("users.profile.set").isEmpty(); },
                         timeout)) {
        std::fprintf(stderr, "bench: the agent set no status\n");
        return false;
    }
    firstSetMs_ = milliseconds(slack_.requests("users.profile.set").first().received - started_);
    return true;
}

// Opens the dashboard from the agent's tray menu, as a user would.
bool Bench::openDashboard() {
    if (!QTest::qWaitFor([this] { return panel_.items.size() == 2; }, 30'000)) {
        std::fprintf(stderr, "bench: the tray items did not appear\n");
        return false;
    }
    const QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    for (const QString& item : std::as_const(panel_.items)) {
        if (bus->servicePid(item).value() != agent_.processId()) continue;
        for (const MenuEntry& entry : openTrayMenu(item)) {
            if (entry.label != QStringLiteral("Open Trackglint…")) continue;
            clickTrayMenu(item, entry.id);
            return true;
        }
    }
    std::fprintf(stderr, "bench: the agent's menu has no way to the dashboard\n");
    return false;
}

// Closes the dashboard as a user would, with Escape: steps then run with the window hidden,
// as they mostly do.
bool Bench::closeDashboard() {
    if (!QTest::qWaitFor([this] { return visibleDashboards() == 1; }, 10'000)) {
        std::fprintf(stderr, "bench: the dashboard did not open\n");
        return false;
    }
    // Focus the window, then press and release Escape on the keyboard itself; a key sent to
    // the window would stay down once the window that took the press has gone.
    const auto xdotool = [this](const QStringList& arguments) {
        QProcess process;
        process.setProcessEnvironment(programEnvironment());
        process.start("xdotool", arguments);
        process.waitForFinished();
    };
    xdotool({"search", "--onlyvisible", "--name", "^Trackglint$", "windowfocus", "--sync", "%1"});
    xdotool({"key", "Escape"});
    if (!QTest::qWaitFor([this] { return visibleDashboards() == 0; }, 10'000)) {
        std::fprintf(stderr, "bench: the dashboard did not close\n");
        return false;
    }
    return true;
}

int Bench::visibleDashboards() const {
    QProcess search;
    search.setProcessEnvironment(programEnvironment());
    search.start("xdotool", {"search", "--onlyvisible", "--name", "^Trackglint$"});
    search.waitForFinished();
    return int(search.readAllStandardOutput().count('\n'));
}

// Does `act` `count` times, `spacing` apart, and returns the CPU spent from the first act
// until `spacing` after the last, with the steps the agent made meanwhile.
CpuWindow Bench::measureSteps(int count, std::chrono::milliseconds spacing,
                              const std::function<void(int)>& act) {
    if (!callgrindOut_.isEmpty()) callgrindControl("--instr=on");
    const SteadyClock::time_point windowStart = SteadyClock::now();
    const qint64 agentStart = agentMeter_->cpuNanoseconds();
    const qint64 bareStart = bareMeter_->cpuNanoseconds();
    for (int round = 1; round <= count; ++round) {
        const SteadyClock::time_point started = SteadyClock::now();
        act(round);
        // Sampled while waiting, so threads that end meanwhile still count.
        (void)QTest::qWaitFor(
            [&] {
                agentMeter_->cpuNanoseconds();
                bareMeter_->cpuNanoseconds();
                return SteadyClock::now() - started >= spacing;
            },
            int(spacing.count()));
    }
    CpuWindow window;
    window.agentMs = double(agentMeter_->cpuNanoseconds() - agentStart) / 1e6;
    window.bareMs = double(bareMeter_->cpuNanoseconds() - bareStart) / 1e6;
    for (const FakeSlack::Request& request : slack_.requests("users.profile.get")) {
        if (request.received >= windowStart) ++window.steps;
    }
    if (!callgrindOut_.isEmpty()) callgrindControl("--dump");
    return window;
}

// When the fake Slack received the first status set with `text`.
std::optional<SteadyClock::time_point> Bench::setArrival(const QString& text) const {
    for (const FakeSlack::Request& request : slack_.requests("users.profile.set")) {
        const QJsonDocument profile =
            QJsonDocument::fromJson(request.formValue("profile").toUtf8());
        if (profile["status_text"].toString() == text) return request.received;
    }
    return std::nullopt;
}

void Bench::callgrindControl(const QString& option) const {
    QProcess::execute("callgrind_control", {option, QString::number(agent_.processId())});
}

bool Bench::printFigures() const {
    const Targets targets;
    bool all = true;
    const auto line = [&](const QString& figure, const QString& value, const QString& target,
                          bool pass) {
        std::printf("%s %s target %s %s\n", qPrintable(figure.leftJustified(32)),
                    qPrintable(value.leftJustified(46)), qPrintable(target.leftJustified(13)),
                    pass ? "pass" : "FAIL");
        all = all && pass;
    };

    const double ratio = double(agentKiB_) / double(std::max<qint64>(bareKiB_, 1));
    line("idle RSS ÷ bare RSS",
         QStringLiteral("%1 (%2 MiB ÷ %3 MiB)")
             .arg(ratio, 0, 'f', 2)
             .arg(double(agentKiB_) / 1024, 0, 'f', 1)
             .arg(double(bareKiB_) / 1024, 0, 'f', 1),
         QStringLiteral("≤ %1").arg(targets.rssRatio), ratio <= targets.rssRatio);
    line("update libraries mapped, idle",
         updateLibraries_.isEmpty() ? QStringLiteral("none") : updateLibraries_.join(", "),
         QStringLiteral("none"), updateLibraries_.isEmpty());
    const QString cpuTarget = QStringLiteral("≤ %1 ms").arg(targets.cpuPerStepMs);
    line("CPU per sync step (renewal)", renewal_.describe(), cpuTarget,
         renewal_.steps > 0 && renewal_.perStepMs() <= targets.cpuPerStepMs);
    line("CPU per sync step (new track)", change_.describe(), cpuTarget,
         change_.steps > 0 && change_.perStepMs() <= targets.cpuPerStepMs);
    line("exec → first status set", QStringLiteral("%1 ms").arg(firstSetMs_.value_or(0), 0, 'f', 0),
         QStringLiteral("≤ %1 ms").arg(targets.firstSetMs),
         firstSetMs_ && *firstSetMs_ <= targets.firstSetMs);
    const double p95 = percentile(changeMs_, 0.95);
    line("track change → Slack request",
         QStringLiteral("median %1 ms, p95 %2 ms (%3 of %4)")
             .arg(percentile(changeMs_, 0.5), 0, 'f', 0)
             .arg(p95, 0, 'f', 0)
             .arg(changeMs_.size())
             .arg(TRACK_CHANGES),
         QStringLiteral("p95 ≤ %1 ms").arg(targets.changeP95Ms),
         changeMs_.size() == TRACK_CHANGES && p95 <= targets.changeP95Ms);
    return all;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const qsizetype callgrindAt = arguments.indexOf("--callgrind");
    const QString callgrindOut = callgrindAt > 0 ? arguments.value(callgrindAt + 1) : QString();

    Bench bench(callgrindOut);
    if (!bench.run()) return 2;
    if (!callgrindOut.isEmpty()) {
        const QByteArray out = callgrindOut.toLocal8Bit();
        std::printf("callgrind counts: renewal steps in %s.1, track changes in %s.2\n",
                    out.constData(), out.constData());
        return 0;
    }
    return bench.printFigures() ? 0 : 1;
}
