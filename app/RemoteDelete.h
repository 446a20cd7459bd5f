#pragma once
// Deleting remote entries, folders with everything in them. The trees of the
// selected folders are listed first, so that the question can say what goes;
// then every entry goes, each folder after everything it holds: "DELE" for
// files and links (a link goes itself, never what it points to), "RMD" for
// folders. Entries are named by their path from the folder shown, which is the
// client's current folder before and after.
#include "app/RemoteListing.h"

#include <QString>
#include <functional>
#include <vector>

class TFTPClient;

// What one selected entry takes with it.
struct TDeleteTarget {
    QString Caption;
    bool Folder = false;
    int Files = 0;   // files and links inside it, at every depth
    int Folders = 0; // folders inside it, at every depth
};

// One command of a delete.
struct TDeletion {
    QString WirePath; // from the folder shown, in the server's names: what is sent
    QString Shown;    // the same path as the list shows its names: what messages say
    bool Folder = false;
};

class TRemoteDelete {
public:
    struct TEvents {
        std::function<void(const QString& text)> Report;        // entries a walk left out
        std::function<bool()> Stopped;                          // the user pressed Stop
        std::function<void(const TDeletion& next)> Deleting;    // before each command
        std::function<void(qsizetype done, qsizetype total)> Progress; // after each command
    };

    // Folder: the folder shown, as the server names it from its root; the client is in it.
    TRemoteDelete(TFTPClient& client, QString folder, TEvents events);

    // Lists the trees of the selected folders. The entries have plain names: the
    // caller leaves out the way up and any name with "/" (IsPlainName). The client
    // is back in the folder shown afterwards, also when the listing fails or is
    // stopped (EAbortError).
    void Plan(const std::vector<TRemoteEntry>& selected);
    const std::vector<TDeleteTarget>& Targets() const { return m_targets; }
    const std::vector<TDeletion>& Deletions() const { return m_deletions; }

    // Sends the commands in order. A refusal raises FTPException naming the
    // entry and the server's reply; Stop raises EAbortError. Done() tells how
    // far it got.
    void Run();
    qsizetype Done() const { return m_done; }

private:
    void PlanFolder(const TRemoteEntry& entry);
    void ReturnToFolder();
    void Delete(const TDeletion& deletion);
    void CheckStopped() const;

    TFTPClient& m_client;
    const QString m_folder;
    const TEvents m_events;
    std::vector<TDeleteTarget> m_targets;
    std::vector<TDeletion> m_deletions;
    qsizetype m_done = 0;
};
