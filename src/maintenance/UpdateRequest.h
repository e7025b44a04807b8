#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>
#include <optional>

// The install the agent asks of its update helper, the program trackglint-update beside its own
// executable, passed as the helper's arguments: what to fetch and where to put it. Nothing in it
// says whom to trust or how much to download; the helper has its own key and limits.
struct UpdateRequest {
    QString workFolder;     // a new private folder for the download and the unpacked copy
    QUrl archive;           // the vendor's archive of the new copy
    QString expecting;      // the offered version, which the new copy must carry
    QString running;        // the running version, which the offered one must be newer than
    QString installFolder;  // where the installed copy lives

    QStringList arguments() const;
    // The request that `arguments` carry; none when they are not one.
    static std::optional<UpdateRequest> fromArguments(const QStringList& arguments);
};

// How the helper's install ended, as its exit status. With Installed it has written to its
// standard output where the copy it replaced was set aside (nothing when there was none); with
// NotReplaced, the reason the new copy could not be put in place.
enum class UpdateOutcome {
    Installed = 0,
    DownloadFailed = 10,
    TooLarge,
    Stalled,
    NotUnpacked,
    NotGenuine,
    CannotRun,
    WrongVersion,
    NotReplaced,
    TookTooLong,
};
