// Measures the built agent as users run it, against the test stand-ins: Spotify players on
// private session buses and Slack on loopback, keeping Slack's limits.
//
//   trackglint_bench                      one copy on a desktop (a panel's tray watcher and an
//                                         X server), beside a bare Qt Widgets tray program
//                                         started at the same time as the baseline
//   trackglint_bench --callgrind FILE     the same with the agent under callgrind, counting
//                                         instructions per thread over the steady minute into
//                                         FILE.1-NN and over the track changes into FILE.2-NN
//   trackglint_bench --team N [--start-gap SECONDS] [--first-day] [--workspaces 2]
//                                         N copies, each its own user, in one workspace; each
//                                         ran the day before, or with --first-day never ran;
//                                         with --workspaces 2, each user is in two
//   trackglint_bench --workday N [--hours H] [--seed S] [--demand]
//                                         N listeners in one workspace through a simulated
//                                         day of H working hours (default 8), drawn from seed S
//   trackglint_bench --steady             one user, one track for five minutes
//   trackglint_bench --skipping           one user skipping every 2 s for a minute
//
// Each prints one line per figure; the exit status is 1 when one misses its target, 2 when
// the programs could not be run.

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>

#include "FakeSlack.h"
#include "FakeSpotify.h"
#include "Figures.h"
#include "Panel.h"
#include "PrivateBus.h"
#include "ProcessMeter.h"
#include "SlackRecord.h"
#include "TeamBench.h"
#include "TestFiles.h"
#include "UserScenarios.h"
#include "Workday.h"

namespace {

using namespace std::chrono_literals;

// Status changes keep to ten a minute per token; changes this far apart stay within that, and
// a signal-driven step (250 ms after the player's signal, at least 2 s after the last one) is
// never held back, so each measures the way from the signal to Slack alone.
constexpr auto CHANGE_SPACING = 6500ms;
constexpr int TRACK_CHANGES = 10;
// The steady minute starts this long after launch, past the update check at 20 s, which comes
// once a day.
constexpr auto STEADY_FROM_LAUNCH = 25s;
constexpr auto STEADY_MINUTE = 60s;
constexpr auto SAMPLE_EVERY = 250ms;
constexpr auto SETTLE_TIME = 2s;
const QString ARTIST = QStringLiteral("Bench Artist");
// What only the update helper needs, and the idle agent should not map.
const QStringList UPDATE_LIBRARIES = {"libarchive", "libsodium", "libxml2", "libnettle"};

struct Targets {
    double rssRatio = 1.25;
    double steadyCpuMs = 4;
    qint64 steadySwitches = 60;
    double firstSetMs = 300;
    double changeP95Ms = 1000;
};

QString trackTitle(int change) {
    return QStringLiteral("Track %1").arg(change);
}

int msecs(std::chrono::milliseconds duration) {
    return int(duration.count());
}

// What one program used over a stretch of time, or so far.
struct Usage {
    double cpuMs = 0;
    qint64 voluntary = 0;  // context switches where a thread waited
    qint64 forced = 0;     // context switches where a thread was preempted

    qint64 switches() const { return voluntary + forced; }
    Usage operator-(const Usage& earlier) const {
        return {cpuMs - earlier.cpuMs, voluntary - earlier.voluntary, forced - earlier.forced};
    }
};

// What the process `meter` reads has used so far, as of its last sample.
Usage usedSoFar(const ProcessMeter& meter) {
    return {double(meter.cpuNanoseconds()) / 1e6, meter.voluntarySwitches(),
            meter.forcedSwitches()};
}

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
        QTest::qWait(msecs(SETTLE_TIME));
        if (!closeDashboard()) return false;
        QTest::qWait(msecs(SETTLE_TIME));
        agentKiB_ = agentMeter_->residentKiB();
        bareKiB_ = bareMeter_->residentKiB();
        updateLibraries_ = agentMeter_->mapped(UPDATE_LIBRARIES);
        QTest::qWait(
            std::max(0, int(milliseconds(started_ + STEADY_FROM_LAUNCH - SteadyClock::now()))));
        measureSteadyMinute();
        measureTrackChanges();
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
    void measureSteadyMinute();
    void measureTrackChanges();
    QProcessEnvironment programEnvironment() const;
    void callgrindControl(const QString& option) const;
    void printThreads() const;

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
    Usage agentSteady_;
    Usage bareSteady_;
    QList<ProcessMeter::Thread> agentThreads_;  // over the steady minute, busiest first
    QList<double> agentWakes_;  // seconds into the steady minute when its threads switched
    int steadyCalls_ = 0;
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
    slack_.keepStatuses();
    slack_.script("users.profile.set", R"({"ok":true})");
    slack_.script("emoji.list", R"({"ok":true,"emoji":{"spotify":"https://emoji.example/s.png"}})");
    spotify_.setLength(std::nullopt);  // one track all along: its end must not come
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

void Bench::callgrindControl(const QString& option) const {
    QProcess::execute("callgrind_control", {option, QString::number(agent_.processId())});
}

// A minute of one steady track with the window closed: no player signals, four timer steps,
// one of which reads the status. Both programs are sampled often, so threads that end
// meanwhile still count.
void Bench::measureSteadyMinute() {
    if (!callgrindOut_.isEmpty()) callgrindControl("--instr=on");
    agentMeter_->sample();
    bareMeter_->sample();
    const auto agentThreads = agentMeter_->threads();
    const Usage agentBefore = usedSoFar(*agentMeter_);
    const Usage bareBefore = usedSoFar(*bareMeter_);
    const SteadyClock::time_point start = SteadyClock::now();
    while (SteadyClock::now() - start < STEADY_MINUTE) {
        const qint64 switches = agentMeter_->contextSwitches();
        QTest::qWait(msecs(SAMPLE_EVERY));
        agentMeter_->sample();
        bareMeter_->sample();
        if (agentMeter_->contextSwitches() != switches)
            agentWakes_ += milliseconds(SteadyClock::now() - start) / 1000;
    }
    agentSteady_ = usedSoFar(*agentMeter_) - agentBefore;
    bareSteady_ = usedSoFar(*bareMeter_) - bareBefore;
    agentThreads_ = threadsBetween(agentThreads, agentMeter_->threads());
    steadyCalls_ = int(receivedBetween(slack_.requests(), start, SteadyClock::now()).size());
    if (!callgrindOut_.isEmpty()) callgrindControl("--dump");
}

// Changes the track TRACK_CHANGES times and times each change until Slack has its status.
void Bench::measureTrackChanges() {
    if (!callgrindOut_.isEmpty()) callgrindControl("--instr=on");
    const QByteArray token = "xoxp-bench";
    for (int change = 1; change <= TRACK_CHANGES; ++change) {
        const SteadyClock::time_point changed = SteadyClock::now();
        spotify_.play(trackTitle(change), {ARTIST});
        const QString text = trackTitle(change) + QStringLiteral(" — ") + ARTIST;
        const auto arrival = [&] { return setArrival(slack_.requests(), token, text, changed); };
        (void)QTest::qWaitFor([&] { return arrival().has_value(); }, 2000);
        if (const auto arrived = arrival()) changeMs_ += milliseconds(*arrived - changed);
        QTest::qWait(std::max(0, int(milliseconds(changed + CHANGE_SPACING - SteadyClock::now()))));
    }
    if (!callgrindOut_.isEmpty()) callgrindControl("--dump");
}

bool Bench::printFigures() const {
    const Targets targets;
    FigureLines lines;
    const double ratio = double(agentKiB_) / double(std::max<qint64>(bareKiB_, 1));
    lines.line("idle RSS ÷ bare RSS",
               QStringLiteral("%1 (%2 MiB ÷ %3 MiB)")
                   .arg(ratio, 0, 'f', 2)
                   .arg(double(agentKiB_) / 1024, 0, 'f', 1)
                   .arg(double(bareKiB_) / 1024, 0, 'f', 1),
               QStringLiteral("≤ %1").arg(targets.rssRatio), ratio <= targets.rssRatio);
    lines.line("update libraries mapped, idle",
               updateLibraries_.isEmpty() ? QStringLiteral("none") : updateLibraries_.join(", "),
               QStringLiteral("none"), updateLibraries_.isEmpty());
    lines.line("steady minute: CPU, all threads",
               QStringLiteral("%1 ms (bare %2 ms; %3 Slack calls)")
                   .arg(agentSteady_.cpuMs, 0, 'f', 1)
                   .arg(bareSteady_.cpuMs, 0, 'f', 1)
                   .arg(steadyCalls_),
               QStringLiteral("≤ %1 ms").arg(targets.steadyCpuMs),
               agentSteady_.cpuMs <= targets.steadyCpuMs);
    lines.line("steady minute: context switches",
               QStringLiteral("%1 (%2 voluntary, %3 not; bare %4)")
                   .arg(agentSteady_.switches())
                   .arg(agentSteady_.voluntary)
                   .arg(agentSteady_.forced)
                   .arg(bareSteady_.switches()),
               QStringLiteral("≤ %1").arg(targets.steadySwitches),
               agentSteady_.switches() <= targets.steadySwitches);
    lines.line("exec → first status set",
               QStringLiteral("%1 ms").arg(firstSetMs_.value_or(0), 0, 'f', 0),
               QStringLiteral("≤ %1 ms").arg(targets.firstSetMs),
               firstSetMs_ && *firstSetMs_ <= targets.firstSetMs);
    const double p95 = percentile(changeMs_, 0.95);
    lines.line("track change → Slack request",
               QStringLiteral("median %1 ms, p95 %2 ms (%3 of %4)")
                   .arg(percentile(changeMs_, 0.5), 0, 'f', 0)
                   .arg(p95, 0, 'f', 0)
                   .arg(changeMs_.size())
                   .arg(TRACK_CHANGES),
               QStringLiteral("p95 ≤ %1 ms").arg(targets.changeP95Ms),
               changeMs_.size() == TRACK_CHANGES && p95 <= targets.changeP95Ms);
    printThreads();
    return lines.allPass();
}

// Where the agent's steady minute went, thread by thread.
void Bench::printThreads() const {
    std::printf(
        "the agent's threads over the steady minute: context switches (voluntary + "
        "not), CPU\n");
    for (const ProcessMeter::Thread& thread : agentThreads_) {
        std::printf("  %-16s %4lld + %-4lld %6.1f ms\n", qPrintable(thread.name),
                    static_cast<long long>(thread.voluntarySwitches),
                    static_cast<long long>(thread.forcedSwitches),
                    double(thread.cpuNanoseconds) / 1e6);
    }
    QStringList wakes;
    for (const double second : agentWakes_) wakes += QString::number(second, 'f', 2);
    std::printf("  switching in the 250 ms before: %s s into the minute\n",
                qPrintable(wakes.join(QStringLiteral(", "))));
}

// The figures of one copy on a desktop, or its callgrind counts.
int desktop(const QString& callgrindOut) {
    Bench bench(callgrindOut);
    if (!bench.run()) return 2;
    if (callgrindOut.isEmpty()) return bench.printFigures() ? 0 : 1;
    const QByteArray out = callgrindOut.toLocal8Bit();
    std::printf("callgrind counts: the steady minute in %s.1, track changes in %s.2\n",
                out.constData(), out.constData());
    return 0;
}

int team(const QStringList& arguments) {
    TeamPlan plan;
    plan.users = arguments.value(arguments.indexOf("--team") + 1).toInt();
    plan.firstDay = arguments.contains("--first-day");
    if (arguments.contains("--workspaces"))
        plan.workspaces = arguments.value(arguments.indexOf("--workspaces") + 1).toInt();
    const qsizetype gapAt = arguments.indexOf("--start-gap");
    if (gapAt > 0) {
        plan.startGap =
            std::chrono::milliseconds(qRound64(arguments.value(gapAt + 1).toDouble() * 1000));
    }
    if (plan.users < 1 || plan.startGap.count() < 0 || plan.workspaces < 1 || plan.workspaces > 2) {
        std::fprintf(stderr,
                     "bench: --team needs a number of users, --start-gap seconds, --workspaces "
                     "1 or 2\n");
        return 2;
    }
    TeamBench bench(plan);
    if (!bench.run()) return 2;
    return bench.printFigures() ? 0 : 1;
}

// The machine's load averages, as /proc/loadavg gives them.
QString loadAverages() {
    QFile file("/proc/loadavg");
    if (!file.open(QIODevice::ReadOnly)) return QStringLiteral("?");
    return QString::fromLatin1(file.readAll()).section(' ', 0, 2);
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    std::printf("load averages at the start: %s\n", qPrintable(loadAverages()));
    std::fflush(stdout);
    int status = 0;
    if (arguments.contains("--workday")) {
        status = workdayBench(arguments);
    } else if (arguments.contains("--team")) {
        status = team(arguments);
    } else if (arguments.contains("--steady")) {
        status = steadyTrack();
    } else if (arguments.contains("--skipping")) {
        status = fastSkipping();
    } else {
        const qsizetype callgrindAt = arguments.indexOf("--callgrind");
        status = desktop(callgrindAt > 0 ? arguments.value(callgrindAt + 1) : QString());
    }
    std::printf("load averages at the end: %s\n", qPrintable(loadAverages()));
    return status;
}
