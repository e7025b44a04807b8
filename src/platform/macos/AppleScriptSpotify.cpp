#include "platform/macos/AppleScriptSpotify.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

namespace platform {
namespace {

// Long enough for the user to answer the system's "allow control of Spotify" prompt once.
constexpr int SCRIPT_TIMEOUT_MS = 30'000;

// osascript reports "<file>: execution error: <message> (<code>)"; the message alone is the
// brief form the user is shown.
QString briefMessage(const QByteArray& errorOutput) {
    QString message = QString::fromUtf8(errorOutput).trimmed();
    const QString marker = QStringLiteral("execution error: ");
    const qsizetype at = message.indexOf(marker);
    if (at >= 0) message = message.mid(at + marker.size());
    static const QRegularExpression errorCode(QStringLiteral("\\s*\\(-?\\d+\\)$"));
    return message.remove(errorCode);
}

}  // namespace

AppleScriptSpotify::AppleScriptSpotify(QString toolPath) : toolPath_(std::move(toolPath)) {}

const QString& AppleScriptSpotify::script() {
    static const QString text = QStringLiteral(
        "tell application \"Spotify\"\n"
        "  if it is running then\n"
        "    set playerState to player state as string\n"
        "    if playerState is \"playing\" then\n"
        "      return \"PLAYING\" & tab & (id of current track) & tab & (name of current track) "
        "& tab & (artist of current track)\n"
        "    else\n"
        "      return \"STATE\" & tab & playerState\n"
        "    end if\n"
        "  else\n"
        "    return \"STATE\" & tab & \"notrunning\"\n"
        "  end if\n"
        "end tell");
    return text;
}

bool AppleScriptSpotify::installed() const {
    return spotifyInstalled();
}

PlayerReply AppleScriptSpotify::ask() {
    QProcess tool;
    tool.start(toolPath_, {QStringLiteral("-")});
    if (!tool.waitForStarted()) return {};
    tool.write(script().toUtf8());
    tool.closeWriteChannel();
    if (!tool.waitForFinished(SCRIPT_TIMEOUT_MS)) {
        tool.kill();
        tool.waitForFinished();
        return {std::nullopt, QStringLiteral("Spotify did not answer in time")};
    }
    if (tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0) {
        return {std::nullopt, briefMessage(tool.readAllStandardError())};
    }
    QString reply = QString::fromUtf8(tool.readAllStandardOutput());
    if (reply.endsWith(u'\n')) reply.chop(1);  // osascript ends its output with a line feed
    return {reply, {}};
}

// The app bundle in the system's or the user's Applications folder.
bool spotifyInstalled() {
    for (const QString& folder :
         {QStringLiteral("/Applications"), QDir::homePath() + "/Applications"}) {
        if (QFileInfo(folder + "/Spotify.app").isDir()) return true;
    }
    return false;
}

std::unique_ptr<SpotifyBridge> makeSpotifyBridge() {
    return std::make_unique<AppleScriptSpotify>();
}

}  // namespace platform
