#pragma once

#include <QObject>
#include <QString>

namespace platform {

// Keeps one copy of the program running per desktop session: the running copy owns the name
// com.trackglint.app on the session bus and answers ShowDashboard and Quit there. It allows a
// newer copy to take the name over, and says when that happens.
class SingleInstance : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.trackglint.app")

  public:
    static inline const QString NAME = QStringLiteral("com.trackglint.app");

    enum class Claim {
        Owned,          // this copy is the one running
        HeldByAnother,  // another copy runs and keeps the name
        NoBus,          // no session bus: the program runs alone, unseen by other copies
    };

    using QObject::QObject;

    // Claims the name; with `takeOver`, takes it from the copy that holds it, which then quits.
    Claim claim(bool takeOver);
    // Asks the copy that owns the name to show its dashboard; false when none answered.
    static bool showRunningDashboard();
    // Ends the process that holds the name without answering on it (hung, or not a copy of
    // this program at all): asks it to terminate, then, if it has not let go of the name within
    // a few seconds, kills it. True when the name is free afterwards.
    static bool endHolder();

  public slots:  // exported on the bus
    Q_SCRIPTABLE void ShowDashboard() { emit showDashboardRequested(); }
    Q_SCRIPTABLE void Quit() { emit quitRequested(); }

  signals:
    void showDashboardRequested();
    // A Quit call.
    void quitRequested();
    // A newer copy has taken the name over.
    void replaced();

  private slots:
    void nameLost(const QString& name);
};

}  // namespace platform
