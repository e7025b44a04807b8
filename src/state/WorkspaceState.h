#pragma once

#include <QString>

// What one workspace shows, as its last step found it, and why; views put it into words.
struct WorkspaceState {
    enum class Kind {
        NotStepped,  // no step has reached it yet
        Sharing,     // the track shows as the status
        NotSharing,  // nothing to share: none of the program's status shows
        UsersOwn,    // a status of the user's own shows, and wins: `reason` is its text
        SignedOut,   // Slack signed the user out of it
        Waiting,     // Slack asked to wait, or the budget of changes is spent: `reason` says
                     // until when
        Trouble,     // Slack could not be asked or told: `reason`
        Refused,     // Slack refused this very text, even shortened: `reason`
    };
    Kind kind = Kind::NotStepped;
    QString reason;

    bool operator==(const WorkspaceState&) const = default;
};
