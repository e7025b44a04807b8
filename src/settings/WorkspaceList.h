#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>
#include <optional>

// One Slack workspace the user signed in to, as the settings keep it.
struct Workspace {
    QString token;        // empty: Slack signed the user out of this workspace
    QString name;         // the user's name there
    QString teamUrl;      // the workspace's address, such as "https://acme.slack.com/"
    QString teamId;       // Slack's id of the workspace; empty when not known
    QString teamName;     // such as "Acme"; empty when not known
    QString lastSetText;  // the text of the last status the program set there, empty when none
    std::optional<QString> refreshToken;    // for a token that expires: what renews it,
    std::optional<qint64> expiresAt;        // and when it expires (Unix seconds)
    std::optional<bool> spotifyEmojiFound;  // whether it had :spotify: when last asked

    // A workspace signed in to, known by its token, the user's name there and its address.
    static Workspace signedIn(const QString& token, const QString& name, const QString& teamUrl) {
        Workspace workspace;
        workspace.token = token;
        workspace.name = name;
        workspace.teamUrl = teamUrl;
        return workspace;
    }

    // What tells this workspace from the others: its id, else its address.
    QString key() const { return teamId.isEmpty() ? teamUrl : teamId; }
    // Its address without the scheme, such as "acme.slack.com".
    QString host() const;
    // Its name for sentences: the workspace's name, else its address.
    QString title() const;
    bool operator==(const Workspace&) const = default;
};

// The workspaces a settings object holds, read from it once. The first is stored under the
// top-level keys a single sign-in has always used, so older copies read it; each other in an
// object of its own in a list. Every workspace keeps the object it is stored in, so keys the
// program does not know stay beside it through every change.
class WorkspaceList {
  public:
    WorkspaceList() = default;
    // Reads the workspaces `raw` holds, first bringing them within bounds
    // (settings/WorkspaceBounds.h); `raw` changes only where they were not.
    static WorkspaceList readFrom(QJsonObject& raw);

    const QList<Workspace>& all() const { return workspaces_; }
    // Stores `workspaces` in `raw` in place of those it held, each over the object the
    // workspace with its key was stored in, and reads them back as stored.
    void store(QJsonObject& raw, const QList<Workspace>& workspaces);

  private:
    // Takes `objects` as the stored workspaces, in order, leaving out any that holds none.
    void readObjects(const QList<QJsonObject>& objects);

    QList<Workspace> workspaces_;
    QList<QJsonObject> objects_;  // where each of workspaces_ is stored
};
