#include "UserCopy.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <cstdio>

#include "TestFiles.h"

namespace {

const QString ARTIST = QStringLiteral("Bench Artist");

}  // namespace

UserCopy::UserCopy(int user, QString slackUrl, QString vendorUrl)
    : token_("xoxp-user-" + QByteArray::number(user)),
      slackUrl_(std::move(slackUrl)),
      vendorUrl_(std::move(vendorUrl)) {
    agent_.setChildProcessModifier(endWithTheBench);
    agent_.setStandardOutputFile(QProcess::nullDevice());
}

UserCopy::~UserCopy() {
    quit();
    waitForExit();
}

bool UserCopy::prepare(const QString& program, bool usedBefore, int workspaces) {
    if (!home_.isValid() || !bus_.isRunning() || !spotify_.run()) {
        std::fprintf(stderr, "bench: %s: no home, session bus or player\n", token_.constData());
        return false;
    }
    program_ = installProgram(program, home_.path());
    QDir(home_.path()).mkpath(".local/share/applications");
    QFile(home_.filePath(".local/share/applications/spotify.desktop")).open(QIODevice::WriteOnly);
    QJsonObject settings{{"slackToken", QString::fromUtf8(token_)}};
    if (usedBefore) settings.insert("spotifyEmojiFound", true);
    if (workspaces == 2) {
        settings.insert("teamUrl", "https://acme.slack.com/");
        QJsonObject second{{"slackToken", QString::fromUtf8(tokenIn(1))},
                           {"teamUrl", "https://builders.slack.com/"}};
        if (usedBefore) second.insert("spotifyEmojiFound", true);
        settings.insert("moreWorkspaces", QJsonArray{second});
    }
    const bool written = writeSettings(home_.filePath(".trackglint-mac.json"), settings);
    if (program_.isEmpty() || !written) {
        std::fprintf(stderr, "bench: %s: could not install the agent\n", token_.constData());
        return false;
    }
    play(QStringLiteral("First track"));
    return true;
}

QProcessEnvironment UserCopy::environment() const {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("DISPLAY");
    environment.remove("WAYLAND_DISPLAY");
    environment.insert("HOME", home_.path());
    environment.insert("XDG_CONFIG_HOME", home_.filePath(".config"));
    environment.insert("XDG_DATA_HOME", home_.filePath(".local/share"));
    environment.insert("XDG_RUNTIME_DIR", home_.path());  // private to the user, as it must be
    environment.insert("DBUS_SESSION_BUS_ADDRESS", bus_.address());
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("TRACKGLINT_SLACK_URL", slackUrl_);
    environment.insert("TRACKGLINT_BROKER", vendorUrl_);
    return environment;
}

void UserCopy::start() {
    agent_.setProcessEnvironment(environment());
    // Kept aside: the offscreen platform warns of every window call it cannot carry out.
    agent_.setStandardErrorFile(home_.filePath("agent.log"));
    startedAt_ = SteadyClock::now();
    agent_.start(program_, {});
}

void UserCopy::quit() {
    if (quitAsked_ || startedAt_ == SteadyClock::time_point{}) return;
    quitAsked_ = true;
    if (agent_.state() == QProcess::NotRunning) return reportEarlyEnd();
    agent_.terminate();
}

void UserCopy::reportEarlyEnd() const {
    QFile log(home_.filePath("agent.log"));
    const QByteArray messages = log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
    std::fprintf(stderr, "bench: %s: the agent ended early (exit status %d); it wrote:\n%s\n",
                 token_.constData(), agent_.exitCode(), messages.constData());
}

void UserCopy::waitForExit() {
    if (agent_.state() != QProcess::NotRunning && !agent_.waitForFinished(30'000)) agent_.kill();
}

void UserCopy::play(const QString& title) {
    spotify_.setLength(std::nullopt);  // as the simulated team's player: no end told
    spotify_.play(title, {ARTIST});
}

QString UserCopy::statusText(const QString& title) {
    return title + QStringLiteral(" — ") + ARTIST;
}
