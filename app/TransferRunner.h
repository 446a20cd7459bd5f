#pragma once
// Runs the window's transfer queue on a connection of its own, made with the
// browsing session's host settings, so that browsing and transfers do not wait
// for each other. Requests are taken at once and added to the queue when it is
// idle (a folder's tree is listed on the queue's connection); the queue runs
// from the event loop, never inside the click that asked for it.
#include "ftp/FTPTypes.h"
#include "ftp/TransferQueue.h"

#include <QObject>
#include <deque>
#include <functional>
#include <memory>

class TFTPClient;
class TTransferQueueModel;

class TTransferRunner : public QObject {
    Q_OBJECT
public:
    explicit TTransferRunner(QObject* parent = nullptr);
    ~TTransferRunner() override;

    const TTransferQueue& Queue() const { return *m_queue; }
    // How long the queue waits before it asks again a server that turned its
    // connection away ("421 Too many connections").
    int RetryRefusedMs = 10000;
    TTransferQueueModel* Model() const { return m_model; }
    TFTPClient* Client() const { return m_client; }

    // The host, login, data mode, name encoding and security of `session`, used
    // from the next connection on (a different server ends the current one), and
    // its transfer type (ASCII or binary) from the next item on.
    void UseSettingsOf(const TFTPClient& session);

    // ---- the user's requests; the queue starts soon after
    void AddDownload(const QString& remoteFolder, const QString& wireName, bool folder, qint64 size,
                     const QString& localFolder, const QString& localName);
    void AddUpload(const QString& localPath, const QString& remoteFolder);
    void Cancel(int index);
    void CancelRunning(); // the running item, or the listing of a folder's tree
    void CancelAll();
    void RetryFailed();
    // Only between runs: the running queue counts its items by position.
    void RemoveFinished();

    // True while requests are taken in or the queue runs.
    bool Active() const { return m_active; }
    // Requests not yet in the queue (a folder waits to be listed, or is being listed).
    int PendingRequests() const { return int(m_requests.size()) + (m_queue->Listing() ? 1 : 0); }
    // Says goodbye to the server; the window calls it while it is still whole.
    void ReleaseClient();

    // ---- announcements
    std::function<TConflictDecision(const TConflict&)> OnConflict; // unassigned: skip
    std::function<void(const TCertificateInfo&, bool& accept)> OnCertificate;
    std::function<void(const QString& line)> OnLog;
    std::function<void(const QString& text)> OnError; // the queue could not go on
    std::function<void()> OnStateChanged;             // Active() or the buttons' use changed
    std::function<void(const TTransferItem&)> OnItemChanged; // its state or progress
    // The queue has stopped; downloaded/uploaded: whether files landed on that side.
    std::function<void(bool downloaded, bool uploaded)> OnFinished;

private:
    void Request(std::function<void()> request);
    void StartSoon();
    void Pump();
    void TakeRequests();
    void EnsureConnected();
    // The run ended on an error: the items and requests stay; a server that turned
    // the connection away is asked again later.
    void Stopped(const QString& reason);
    bool AnyWaiting() const;
    void Announce() const;

    TFTPClient* m_client; // a child; released first
    std::unique_ptr<TTransferQueue> m_queue; // refers to m_client; not run once it is released
    TTransferQueueModel* m_model;
    std::deque<std::function<void()>> m_requests;
    QString m_server; // the server the client's settings name
    bool m_textType = false; // the browsing session's type, which requests take along
    bool m_downloaded = false, m_uploaded = false; // files landed in this run
    bool m_active = false;
    bool m_startPosted = false;
    bool m_connecting = false;  // inside the connect of a run
    bool m_refused = false;     // the server turned the last connection away (said once in the log)
    bool m_retryPosted = false;
};

// Whether a server's reply turns a further connection away ("421 Too many
// connections", "530 ... too many users"), rather than refusing the login.
bool RefusesAnotherConnection(const QString& reply);
