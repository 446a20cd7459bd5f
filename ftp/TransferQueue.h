#pragma once
// TTransferQueue: the transfers a user asked for, as a list of items that run
// one after another on one FTP client: files, and folders copied whole (their
// trees listed first, see TransferTree.h). Each item knows its direction, both
// paths, its size, its state and its progress; the user may cancel one item or
// all, retry failed ones and remove finished ones.
//
// A target that exists already (or a download's kept partial file) is never
// replaced without an answer: OnConflict decides, and may answer for all the
// conflicts still to come.
#include "ftp/LocalFolder.h"
#include "ftp/TransferCheck.h"
#include "ftp/TransferTree.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QSet>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

class TFTPClient;

enum class TTransferDirection { Download, Upload };
enum class TTransferState { Waiting, Running, Done, Failed, Skipped, Cancelled };

struct TTransferItem {
    TTransferDirection Direction = TTransferDirection::Download;
    QString LocalPath;   // the local file or folder
    QString RemotePath;  // the remote one, as the server's (wire) path
    bool Folder = false; // a folder to create on the other side
    qint64 Size = 0;     // bytes, as listed
    QDateTime Modified;  // the source's time (UTC), when known
    TTransferState State = TTransferState::Waiting;
    QString Error;       // why it failed
    qint64 Moved = 0;    // bytes moved so far
    bool TextType = false; // travels in ASCII type ("TYPE A") rather than binary
    // A download's chosen folder, which LocalPath lies in: the folders between
    // are made and entered from it one by one, never through a link.
    QString LocalFolder;
    TTransferCheck Checked = TTransferCheck::None; // how a done item was checked
};

enum class TConflictAnswer { Overwrite, OverwriteIfNewer, Resume, Rename, Skip };

// What is known about a target that exists.
struct TConflict {
    const TTransferItem* Item = nullptr; // valid during the question only
    qint64 TargetSize = 0;
    QDateTime TargetModified;   // UTC, when known
    bool CanResume = false;     // the target is shorter than the source (or a kept part exists)
    bool PartOnly = false;      // no target, only the part a stopped download kept
    QString FreeName;           // a name beside the target that is free, for Rename
};

struct TConflictDecision {
    TConflictAnswer Answer = TConflictAnswer::Skip;
    bool ForAll = false;        // the same answer for every conflict still to come
    QString NewName;            // Rename: the target's new file name (empty: FreeName)
};

class TTransferQueue {
public:
    explicit TTransferQueue(TFTPClient& Client);

    // ---- filling
    // The transfer type of the items added from now on: ASCII (true) or binary.
    bool TextType = false;
    // A remote file or folder (Name inside RemoteFolder, as listed) into LocalFolder,
    // under LocalName when given (the name as the user saw it), else the name decoded.
    // A folder's tree is listed at once through the client.
    void AddDownload(const QString& RemoteFolder, const QString& Name, bool Folder, qint64 Size,
                     const QString& LocalFolder, const QString& LocalName = {});
    // A local file or folder into RemoteFolder.
    void AddUpload(const QString& LocalPath, const QString& RemoteFolder);

    // ---- running
    // Runs the waiting items in order until none waits (or CancelAll). Returns
    // when the queue is done; the event loop keeps running meanwhile.
    void Run();
    bool Running() const { return m_running >= 0; }
    void Cancel(int Index);    // a waiting item is cancelled, the running one stopped
    void CancelAll();          // also stops the listing of a folder's tree
    // Whether a folder's tree is being listed (inside AddDownload), and the
    // user's stop of that listing.
    bool Listing() const { return m_listing; }
    void StopListing();
    void RetryFailed();        // failed and cancelled items wait again
    void RemoveFinished();     // done, skipped and cancelled items leave the list

    // ---- what it shows
    const std::vector<TTransferItem>& Items() const { return m_items; }
    qint64 TotalBytes() const;  // of every item not skipped or cancelled
    qint64 MovedBytes() const;
    double Speed() const;       // bytes per second of the running item; 0 when none runs
    // Seconds until the running item is done at the current speed; none when unknown.
    std::optional<qint64> SecondsLeft() const;

    // ---- events
    std::function<void(int Index)> OnItemChanged;   // state or progress of one item
    std::function<void()> OnItemsChanged;           // items added or removed
    std::function<TConflictDecision(const TConflict&)> OnConflict; // unassigned: skip
    std::function<void(const QString& Text)> OnReport; // for the log

private:
    void Add(TTransferDirection direction, const QString& local, const QString& remote, bool folder, qint64 size,
             const QDateTime& modified);
    void RunItem(int index);
    TTransferItem& Current();
    // The running item's transfer: false when it was skipped.
    bool Transfer();
    // What exists where the item goes; none when nothing does. A download's
    // source time is asked for here when the listing gave none.
    std::optional<TConflict> ConflictOf(TTransferItem& item);
    // What is at a remote path, from the server or, where it cannot tell,
    // from the listing of the folder (listed once per run).
    bool RemoteTaken(const QString& path, qint64& size, QDateTime& modified);
    // Whether a kept part is the whole file from an earlier attempt, to be finished unasked.
    bool CompletePart(const TConflict& conflict) const;
    // Whether the item goes ahead, after asking about a target that exists;
    // Resume is set when it should continue the target.
    bool Settle(bool& resume);
    // The folder the running download goes into, entered from its chosen folder.
    TLocalFolder EnterLocalFolder(const TTransferItem& item, bool whole) const;
    // Whether what is at the running download's target is something other than
    // a regular file of the user's (a link, say), which is never continued.
    bool OddTarget() const;
    void Report(const QString& text) const;
    void Changed(int index) const;

    TFTPClient& m_client;
    std::vector<TTransferItem> m_items;
    int m_running = -1;                    // index of the running item
    bool m_stopAll = false;
    std::optional<TConflictDecision> m_forAll;
    QElapsedTimer m_clock;                 // since the running item started
    // Remote folders this run made, and the files it wrote into them: anything
    // else in such a folder cannot exist, so it needs no "SIZE" to find out.
    QSet<QString> m_madeFolders;
    QSet<QString> m_written;
    std::optional<TLocalFolder> m_into;    // the running download's folder
    bool m_listing = false;
    bool m_stopListing = false;
    QHash<QString, QHash<QString, TTreeEntry>> m_listed; // remote folder -> its listing's entries by name
};

// A free name beside path: "name (1).ext", "name (2).ext" ... for which Taken is false.
QString FreeFileName(const QString& path, const std::function<bool(const QString&)>& Taken);
