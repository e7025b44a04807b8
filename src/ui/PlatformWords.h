#pragma once

#include <QString>

// The texts that name things the platforms name differently: the computer, the bar the mark
// sits in, the folder apps are installed in, and how soon a paused song leaves Slack. Each
// platform's build holds its own table.
struct PlatformWords {
    // The window's introduction while signed out.
    QString signInIntro;
    // The title of the row that chooses the mark.
    QString markRowTitle;
    // The second and third of the notes on how sharing behaves.
    QString pauseNote;
    QString asleepNote;
    // The offer to move a copy into the install folder; "%1" is the folder it runs from.
    QString moveTitle;
    QString moveText;
    QString moveButton;
    // What to do when the move failed; "%1" is the failure.
    QString moveFailed;
};

const PlatformWords& platformWords();
