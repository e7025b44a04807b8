#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QLatin1String>

#include "settings/Config.h"
#include "state/Constants.h"

// Every key of the settings file, described once; Config's loading, saving, getters and
// `changed` signal follow what is here, and no other file spells a key.

// A setting at the top level of the file: its key, the JSON type it is stored as, what reads
// in its place when it is missing or of another type (undefined: nothing), and what a change to
// it announces.
struct SettingKey {
    QLatin1String key;
    QJsonValue::Type type;
    QJsonValue fallback;
    Config::Setting announces;
};

// A time of day as stored, two-digit hours and minutes such as "09:00".
QString storedTime(qint64 minutes);

namespace keys {

inline constexpr qint64 DEFAULT_WORK_START = 9 * 60;
inline constexpr qint64 DEFAULT_WORK_END = 17 * 60;
inline constexpr QLatin1String WORK_HOURS_ENABLED("enabled");
inline constexpr QLatin1String WORK_HOURS_START("start");
inline constexpr QLatin1String WORK_HOURS_END("end");

inline const SettingKey PAUSED{QLatin1String("paused"), QJsonValue::Bool, false,
                               Config::Setting::Paused};
inline const SettingKey CHOSEN_EMOJI{QLatin1String("emoji"), QJsonValue::String,
                                     QJsonValue::Undefined, Config::Setting::Emoji};
inline const SettingKey SLACK_CLIENT_ID{QLatin1String("slackClientId"), QJsonValue::String,
                                        QJsonValue::Undefined, Config::Setting::SlackApp};
inline const SettingKey MENU_MARK{QLatin1String("menuMark"), QJsonValue::String,
                                  rawValue(MenuMark::Wordmark), Config::Setting::MenuMark};
// Players shared or not against their default, by the name each is chosen by: true or false.
inline const SettingKey SHARED_PLAYERS{QLatin1String("sharedPlayers"), QJsonValue::Object,
                                       QJsonObject(), Config::Setting::SharedPlayers};
inline const SettingKey WORK_HOURS{QLatin1String("workHours"), QJsonValue::Object,
                                   QJsonObject{{WORK_HOURS_ENABLED, false},
                                               {WORK_HOURS_START, storedTime(DEFAULT_WORK_START)},
                                               {WORK_HOURS_END, storedTime(DEFAULT_WORK_END)}},
                                   Config::Setting::WorkHours};
inline const SettingKey STATUS_FORMAT{QLatin1String("statusFormat"), QJsonValue::String,
                                      DEFAULT_STATUS_FORMAT, Config::Setting::StatusFormat};
inline const SettingKey PRIVATE_ARTISTS{QLatin1String("privateArtists"), QJsonValue::Array,
                                        QJsonValue::Undefined, Config::Setting::PrivateArtists};

// The list every workspace after the first is stored in.
inline constexpr QLatin1String MORE_WORKSPACES("moreWorkspaces");

}  // namespace keys

// The workspace `object` holds under the workspace keys (settings/SettingKeys.cpp lists them),
// each value of another JSON type read as none.
Workspace workspaceIn(const QJsonObject& object);
// `workspace` written over `object`, which keeps its other keys; empty texts and missing values
// are not stored.
QJsonObject withWorkspace(QJsonObject object, const Workspace& workspace);
// What `raw` holds under the workspace keys, and `raw` without them.
QJsonObject workspaceKeysIn(const QJsonObject& raw);
void removeWorkspaceKeys(QJsonObject& raw);
