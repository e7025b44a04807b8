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

PlayerReading AppleScriptSpotify::read(const QString&) {
    if (!spotifyInstalled()) return PlayerReading::notInstalled();
    QProcess tool;
    tool.start(toolPath_, {QStringLiteral("-")});
    if (!tool.waitForStarted()) return PlayerReading::error(QStringLiteral("AppleScript failed"));
    tool.write(script().toUtf8());
    tool.closeWriteChannel();
    if (!tool.waitForFinished(SCRIPT_TIMEOUT_MS)) {
        tool.kill();
        tool.waitForFinished();
        return PlayerReading::error(QStringLiteral("Spotify did not answer in time"));
    }
    if (tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0) {
        return PlayerReading::error(briefMessage(tool.readAllStandardError()));
    }
    QString reply = QString::fromUtf8(tool.readAllStandardOutput());
    if (reply.endsWith(u'\n')) reply.chop(1);  // osascript ends its output with a line feed
    return readingFrom(reply);
}

// The script answers "PLAYING\t<item id>\t<name>\t<artist>" while something plays,
// "STATE\t<player state>" while the app runs without playing, and "STATE\tnotrunning". The
// fields are cut at tabs, so a name that holds a tab comes apart here; a reply of any other form
// reads as stopped.
PlayerReading AppleScriptSpotify::readingFrom(const QString& reply) {
    const QStringList fields = reply.split(u'\t');
    if (fields.size() >= 4 && fields[0] == QLatin1String("PLAYING")) {
        return PlayerReading::playing(fields[1], fields[2], {fields[3]});
    }
    if (reply == QLatin1String("STATE\tnotrunning")) return PlayerReading::notRunning();
    return PlayerReading::stopped();
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
