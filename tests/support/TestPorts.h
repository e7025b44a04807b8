#pragma once

#include <QTcpServer>

// A loopback port that nothing listens on right now.
inline quint16 freeLoopbackPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}
