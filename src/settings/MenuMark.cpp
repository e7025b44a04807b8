#include "settings/MenuMark.h"

QString rawValue(MenuMark mark) {
    switch (mark) {
        case MenuMark::PlayCursor:
            return QStringLiteral("playCursor");
        case MenuMark::Prompt:
            return QStringLiteral("prompt");
        case MenuMark::Wordmark:
            break;
    }
    return QStringLiteral("wordmark");
}

std::optional<MenuMark> menuMarkFromRaw(const QString& raw) {
    for (const MenuMark mark : ALL_MENU_MARKS) {
        if (rawValue(mark) == raw) return mark;
    }
    return std::nullopt;
}
