// The settings file as read at start: any bytes, then every accessor on what they gave.

#include <QDateTime>

#include "Fuzz.h"
#include "settings/Config.h"
#include "sync/WorkHours.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Never saved, and the folder does not exist, so nothing is read or written.
    static Config config(QStringLiteral("/nonexistent/trackglint-fuzz/settings.json"));
    const QJsonObject raw = settingsFromBytes(fuzzBytes(data, size));
    config.setRaw(raw);
    (void)config.slackToken();
    (void)config.slackName();
    (void)config.chosenEmoji();
    (void)config.paused();
    (void)config.lastSetText();
    const QDateTime noon(QDate(2026, 1, 5), QTime(12, 0));
    (void)config.menuMark();
    (void)config.teamUrl();
    (void)inWorkHours(config.workHoursEnabled(), config.workHoursRange(), noon);
    // Writing a workspace's own text back changes none of the workspaces.
    const QList<Workspace> workspaces = config.workspaces();
    for (const Workspace& workspace : workspaces) (void)workspace.title();
    if (!workspaces.isEmpty()) {
        config.setLastSetText(workspaces.first().key(), workspaces.first().lastSetText);
        REQUIRE(config.workspaces() == workspaces);
    }
    (void)workHoursLabel(config.workHoursRange(), noon);
    // What is loaded is written back unchanged, keys the program does not know included.
    REQUIRE(settingsFromBytes(settingsBytes(raw)) == raw);
    return 0;
}
