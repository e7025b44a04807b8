#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

#include "FakeSlack.h"
#include "Figures.h"

// Readings of what the stand-in Slack recorded.

using SlackRequests = QList<FakeSlack::Request>;

// The status text a users.profile.set request sent; empty for any other request.
QString statusTextOf(const FakeSlack::Request& request);

// When Slack first accepted a status set with `token` and `text`, at or after `after`.
std::optional<SteadyClock::time_point> setArrival(const SlackRequests& requests,
                                                  const QByteArray& token, const QString& text,
                                                  SteadyClock::time_point after);

// The requests received in [from, to).
SlackRequests receivedBetween(const SlackRequests& requests, SteadyClock::time_point from,
                              SteadyClock::time_point to);
SlackRequests withToken(const SlackRequests& requests, const QByteArray& token);
SlackRequests ofMethod(const SlackRequests& requests, const QString& method);
int refusedIn(const SlackRequests& requests);

// The most requests that fall in any one stretch of `length`.
int busiestStretch(const SlackRequests& requests, SteadyClock::duration length);

// "12 users.profile.get, 12 users.profile.set, 1 emoji.list": the requests by method.
QString countsByMethod(const SlackRequests& requests);
