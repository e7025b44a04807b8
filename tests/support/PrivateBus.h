#pragma once

#include <QProcess>
#include <QString>

// A D-Bus session bus of the test's own: a dbus-daemon started for the test and made the
// process's session bus. Create it before anything touches the session bus.
class PrivateBus {
  public:
    PrivateBus();
    ~PrivateBus();

    bool isRunning() const { return !address_.isEmpty(); }
    const QString& address() const { return address_; }

  private:
    QProcess daemon_;
    QString address_;
};
