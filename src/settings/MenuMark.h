#pragma once

#include <QString>
#include <array>
#include <optional>

// The three ways the tray item can be drawn, in the order the dashboard offers them.
enum class MenuMark { Wordmark, PlayCursor, Prompt };
inline constexpr std::array<MenuMark, 3> ALL_MENU_MARKS = {MenuMark::Wordmark, MenuMark::PlayCursor,
                                                           MenuMark::Prompt};

// The stored name of a mark: "wordmark", "playCursor" or "prompt".
QString rawValue(MenuMark mark);
// The mark with exactly that stored name, or none.
std::optional<MenuMark> menuMarkFromRaw(const QString& raw);
