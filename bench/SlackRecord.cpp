#include "SlackRecord.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <algorithm>

QString statusTextOf(const FakeSlack::Request& request) {
    if (request.path != QLatin1String("/api/users.profile.set")) return {};
    const QString profile = request.formValue(QStringLiteral("profile"));
    return QJsonDocument::fromJson(profile.toUtf8())[QStringLiteral("status_text")].toString();
}

std::optional<SteadyClock::time_point> setArrival(const SlackRequests& requests,
                                                  const QByteArray& token, const QString& text,
                                                  SteadyClock::time_point after) {
    for (const FakeSlack::Request& request : requests) {
        if (request.refused || request.received < after || request.token() != token) continue;
        if (statusTextOf(request) == text) return request.received;
    }
    return std::nullopt;
}

SlackRequests receivedBetween(const SlackRequests& requests, SteadyClock::time_point from,
                              SteadyClock::time_point to) {
    SlackRequests between;
    for (const FakeSlack::Request& request : requests) {
        if (request.received >= from && request.received < to) between += request;
    }
    return between;
}

SlackRequests withToken(const SlackRequests& requests, const QByteArray& token) {
    SlackRequests matching;
    for (const FakeSlack::Request& request : requests) {
        if (request.token() == token) matching += request;
    }
    return matching;
}

SlackRequests ofMethod(const SlackRequests& requests, const QString& method) {
    SlackRequests matching;
    for (const FakeSlack::Request& request : requests) {
        if (request.path == QStringLiteral("/api/") + method) matching += request;
    }
    return matching;
}

int refusedIn(const SlackRequests& requests) {
    return int(std::count_if(requests.cbegin(), requests.cend(),
                             [](const FakeSlack::Request& request) { return request.refused; }));
}

int busiestStretch(const SlackRequests& requests, SteadyClock::duration length) {
    QList<SteadyClock::time_point> times;
    for (const FakeSlack::Request& request : requests) times += request.received;
    std::sort(times.begin(), times.end());
    int busiest = 0;
    qsizetype last = 0;
    for (qsizetype first = 0; first < times.size(); ++first) {
        while (last < times.size() && times[last] < times[first] + length) ++last;
        busiest = std::max(busiest, int(last - first));
    }
    return busiest;
}

QString countsByMethod(const SlackRequests& requests) {
    QMap<QString, int> counts;
    for (const FakeSlack::Request& request : requests) ++counts[request.path.mid(5)];
    QStringList parts;
    for (auto count = counts.cbegin(); count != counts.cend(); ++count) {
        parts += QStringLiteral("%1 %2").arg(count.value()).arg(count.key());
    }
    return parts.isEmpty() ? QStringLiteral("none") : parts.join(QStringLiteral(", "));
}
