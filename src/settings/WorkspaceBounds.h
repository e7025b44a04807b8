#pragma once

#include <QList>

#include "settings/WorkspaceList.h"

// What the settings keep of the workspaces a file lists. The file is the user's, and may have
// been edited by hand or by another program, so at load:
// - Entries for one workspace (the same key: its id, else its address) become one. Every
//   operation finds a workspace by its key, so a second entry would be a second room setting
//   statuses that no quit ever clears. The entry kept is one with a token, of those the one
//   renewed last (the later expiry; the first listed when that cannot tell), with its own
//   name and choices; should it have set no status there, it takes the text another entry set,
//   so that status is still taken down.
// - A name (the user's, the workspace's) keeps its first MAX_NAME_CHARACTERS characters, what
//   Slack allows for a display name. An id, an address or a status text longer than any Slack
//   gives or the program sets is dropped as unreadable.
// - At most MAX_WORKSPACES stay, those signed in first, each list in the order stored. Slack
//   lets a user sign in to many workspaces, but every one is a line in the menu and the window,
//   requests on every sync step and one more clear at quit; fifty keeps all of that quick while
//   leaving room for far more workspaces than anyone uses side by side.
inline constexpr qsizetype MAX_WORKSPACES = 50;
inline constexpr qsizetype MAX_NAME_CHARACTERS = 80;
inline constexpr qsizetype MAX_ID_LENGTH = 64;
inline constexpr qsizetype MAX_ADDRESS_LENGTH = 255;
inline constexpr qsizetype MAX_STATUS_TEXT_LENGTH = 2000;  // ample for Slack's 100 characters

// A workspace kept, and the index in the stored list of the entry it keeps.
struct KeptWorkspace {
    qsizetype from;
    Workspace workspace;
};

// What is kept of `stored`, in order.
QList<KeptWorkspace> keptWorkspaces(const QList<Workspace>& stored);
// Whether `kept` is exactly `stored`.
bool keepsAll(const QList<KeptWorkspace>& kept, const QList<Workspace>& stored);
