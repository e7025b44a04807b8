#pragma once

#include <QString>
#include <array>

#include <QtGlobal>

// Seconds between two sync steps.
inline constexpr double SYNC_SECONDS = 15.0;
// Lifetime on Slack of a status this program sets; renewed before it runs out while the track
// plays.
inline constexpr int STATUS_TTL_SECONDS = 300;
// The loopback port that receives the end of a Slack sign-in.
inline constexpr quint16 OAUTH_PORT = 8899;
// How long a sign-in waits for the browser to come back.
inline constexpr int SIGN_IN_DEADLINE_SECONDS = 600;

// The user scopes a sign-in asks for.
inline const QString SLACK_SCOPES =
    QStringLiteral("users.profile:write,users.profile:read,emoji:read");

// The Slack app's OAuth client identifier fixed when the program was built; empty for a build
// without one, whose user gives their own app's at sign-in.
extern const QString SLACK_CLIENT_ID;
// Where Slack sends the browser back to after a sign-in, fixed when the program is built:
// normally the sign-in listener on this computer itself, else a hosted page that forwards to
// it. It does not follow TRACKGLINT_BROKER.
extern const QString SLACK_REDIRECT;

// The status emoji used when the user has chosen none.
inline const QString DEFAULT_EMOJI = QStringLiteral(":musical_note:");
// The status text's format used until the user writes their own (see sync/StatusFormat.h):
// "track — artist", or the track alone.
inline const QString DEFAULT_STATUS_FORMAT = QStringLiteral("{title} — {artist}");

struct EmojiChoice {
    QString code;
    QString glyph;
    // A word for it, shown beside the glyph, so a panel or a screen reader without the emoji
    // still has a name to show or say.
    QString name;
};

// The status emoji the user can choose from, in the order they are offered.
inline const std::array<EmojiChoice, 7> EMOJI_CHOICES = {{
    {QStringLiteral(":musical_note:"), QStringLiteral("🎵"), QStringLiteral("Note")},
    {QStringLiteral(":spotify:"), QStringLiteral("🟢"), QStringLiteral("Spotify")},
    {QStringLiteral(":headphones:"), QStringLiteral("🎧"), QStringLiteral("Headphones")},
    {QStringLiteral(":notes:"), QStringLiteral("🎶"), QStringLiteral("Notes")},
    {QStringLiteral(":guitar:"), QStringLiteral("🎸"), QStringLiteral("Guitar")},
    {QStringLiteral(":cd:"), QStringLiteral("💿"), QStringLiteral("CD")},
    {QStringLiteral(":radio:"), QStringLiteral("📻"), QStringLiteral("Radio")},
}};

// Where Spotify can be downloaded.
inline const QString SPOTIFY_DOWNLOAD_URL = QStringLiteral("https://www.spotify.com/download");

// The settings file: ".trackglint-mac.json" in the user's home folder.
QString configPath();

// The Slack host, without a trailing slash: the build's default (normally https://slack.com),
// or TRACKGLINT_SLACK_URL when that is set (a development and test setting).
QString slackHost();

// The base address of the Slack Web API: the host followed by "/api/".
QString slackApiBase();
// Slack's OAuth authorisation page.
QString slackAuthorizeUrl();
// Slack's web root, the workspace address when Slack names none.
QString slackWebRoot();

// The vendor web service's base address, without a trailing slash: TRACKGLINT_BROKER when it
// is set (even when empty), otherwise the address fixed when the program was built.
QString broker();
