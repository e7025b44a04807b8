#include "player/SharedPlayers.h"

#include <algorithm>

QString choiceOf(const QString& busName) {
    const qsizetype dot = busName.lastIndexOf(u'.');
    if (dot < 0 || !QStringView(busName).mid(dot + 1).startsWith(QLatin1String("instance")))
        return busName;
    return busName.left(dot);
}

bool isShared(const platform::PlayerInfo& player, const PlayerChoices& choices) {
    return choices.value(choiceOf(player.busName), player.spotify);
}

QList<SharedPlayer> sharedPlayers(const QList<platform::PlayerInfo>& running,
                                  const PlayerChoices& choices) {
    QList<platform::PlayerInfo> players = running;
    std::stable_sort(players.begin(), players.end(), [](const auto& a, const auto& b) {
        if (a.rank != b.rank) return a.rank < b.rank;
        return a.identity.compare(b.identity, Qt::CaseInsensitive) < 0;
    });
    QList<SharedPlayer> found;
    for (const platform::PlayerInfo& player : players) {
        const QString choice = choiceOf(player.busName);
        const bool known = std::any_of(found.cbegin(), found.cend(), [&](const SharedPlayer& each) {
            return each.choice == choice;
        });
        if (!known) found += {choice, player.identity, isShared(player, choices), player.spotify};
    }
    return found;
}

PlayerChoices withChoice(PlayerChoices choices, const SharedPlayer& player, bool shared) {
    if (shared == player.sharedByDefault) {
        choices.remove(player.choice);
    } else {
        choices.insert(player.choice, shared);
    }
    return choices;
}

QList<platform::PlayerInfo> readingOrder(QList<platform::PlayerInfo> players) {
    std::stable_sort(players.begin(), players.end(), [](const auto& a, const auto& b) {
        if (a.lastChange != b.lastChange) return a.lastChange > b.lastChange;
        return a.rank < b.rank;
    });
    return players;
}
