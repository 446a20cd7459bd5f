#pragma once
// TFTPClient: an FTP client (RFC 959, active mode) on the control connection
// of the TAsyncSocket it is. Every operation returns when its exchange with the
// server has finished; while it waits, the event loop keeps running, so the
// caller's window stays live and a stop button can call Abort. Results come
// back as properties and events, refusals as FTPException, socket failures
// and time-outs as ESockError.
//
// Status reports of the conversation (each command before it is sent, each
// reply line, byte counts, "Disconnected" after a failed login) go to OnStatus
// at level 1; the password never does.
//
// Failures the caller should tell apart:
// - FTPException: the server refused; the connection stays up (except at login).
// - EUnsafeCommand: a name or command held CR, LF or NUL; nothing was sent.
// - ETimeOutError (an ESockError): nothing came for InactivityTimeOut. On the
//   control connection this closes it (Connected turns false); on the data
//   connection it ends only the transfer.
// - EServerAbort (an EAbortError): a 421 or 426 reply ended the wait; the
//   message is the reply. After 421 the server closes the connection.
// - EAbortError (an ESockError): Abort ended the wait; the connection stays up.
// - EIncompleteTransfer: a download brought fewer bytes than the server
//   announced, or a resumed one more than the missing ones; the old local
//   file stays.
// - ESockError: the connection failed or was closed by the server.
#include "ftp/DirectoryList.h"
#include "ftp/FTPTypes.h"
#include "ftp/ReplyReader.h"
#include "ftp/TransferCheck.h"
#include "net/AsyncSocket.h"

#include <QDateTime>
#include <QScopeGuard>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class TFTPDataSocket;
class TLocalFolder;
struct TLocalFile;

class TFTPClient : public TAsyncSocket {
    Q_OBJECT
public:
    explicit TFTPClient(QObject* Owner = nullptr);
    // Sends "QUIT" when still connected, waiting at most 5 s for the reply.
    // Fires no events.
    ~TFTPClient() override;

    // ---- events (besides those of TAsyncSocket: OnPacketRecvd, OnPacketSent,
    // OnError, OnConnectionRequired, OnDisconnect, OnStatus, OnConnectionFailed ...)
    TNotifyEvent OnConnect;                // after a successful login
    TNotifyEvent OnTransactionStart;       // a listing or transfer starts to flow
    TNotifyEvent OnTransactionStop;        // it has stopped
    THandlerEvent OnAuthenticationNeeded;  // at login, UserID or Password is empty
    THandlerEvent OnAuthenticationFailed;  // assignable; nothing raises it
    TFailureEvent OnFailure;               // a command was refused; Handled = go on
    TSuccessEvent OnSuccess;               // an operation completed
    TListItemEvent OnListItem;             // one raw line of a listing
    TUnsupportedEvent OnUnSupportedFunction; // the server answered 500, 501 or 502
    // The server closed the control connection of a logged-in session (not in
    // answer to "QUIT"): Connected is false now. When no operation was running,
    // the log has a line saying so, with the server's last reply.
    TNotifyEvent OnServerDisconnect;
    // The server's certificate, at each TLS handshake of the control connection
    // (see TCertificateEvent). Unassigned: only certificates that verify are accepted.
    TCertificateEvent OnCertificate;

    // ---- settings
    QString UserID;
    QString Password;
    int Vendor = FTPVendorUnknown; // the server's system; detected by the first List
    bool ParseList = false;        // List feeds FTPDirectoryList
    // List asks for "MLSD" where the server offers it. Off for a walk that must
    // see links as links: some servers (pyftpdlib) describe a link to a folder
    // in "MLSD" as the folder it points to; "LIST" shows the link on every one.
    bool MachineListingsWanted = true;
    // Data connections: passive ("EPSV", then "PASV"; the client connects to
    // the server) or active ("PORT"; the server connects to the client).
    bool Passive = true;
    // How the server's names are encoded: empty for UTF-8 (the default), or a
    // legacy encoding of LegacyEncodings() (WireText.h). Names taken from the
    // server go back as the bytes that came, whatever this says.
    QString NameEncoding;
    // Bounds every wait on the server (a reply, the server's data connection,
    // a stalled listing or transfer), in ms; 0 = no bound.
    int InactivityTimeOut = 30000;
    // FTP over TLS: see TSecurity. On a TLS session every listing and transfer
    // runs over TLS too ("PBSZ 0", "PROT P" after login). The component speaks
    // plain FTP unless told otherwise; the window sets each host's choice.
    TSecurity Security = TSecurity::PlainFtp;
    // CA certificates (PEM) trusted besides the system's (a company CA, a test CA).
    QString TrustedCAFile;
    // The host has shown TLS before (a trusted certificate, an earlier TLS
    // session): under "TLS if available" a refusal of "AUTH TLS" then ends the
    // session before the user name, as under "Require TLS". Set by the client
    // itself once a TLS session is established; "Plain FTP" never asks.
    bool TlsExpected = false;
    // Data connections resume the control connection's TLS session, as servers
    // such as vsftpd require; false makes a full handshake on each.
    bool ReuseTlsSession = true;

    // ---- run-time state
    TAsyncSocket* DataSocket() const; // the data connection inside List/Download/Upload, else none
    TFTPDirectoryList* FTPDirectoryList() const { return m_directoryList.get(); }
    // Byte counters of the data connection; meaningful inside OnPacketRecvd/OnPacketSent.
    qint64 BytesRecvd() const;
    qint64 BytesSent() const;
    // The type the server is in: text after "TYPE A" (or when it refused
    // "TYPE I" at login), binary after "TYPE I". Login sets binary.
    bool TextType() const { return m_textType; }
    // Whether the server listed the feature (its first word, any case) in its
    // answer to "FEAT" at login: "UTF8", "MLST", "SIZE", "MDTM", "REST" ...
    bool Supports(const QString& feature) const;
    // Whether List asks for a machine listing ("MLSD": the server offers "MLST"
    // and MachineListingsWanted) rather than "LIST"; OnListItem then delivers its lines.
    bool MachineListings() const;
    // Encrypted() (TAsyncSocket): the control connection runs TLS, and with it
    // every data connection. TlsDescription() names the protocol and cipher.

    // ---- control connection (overrides)
    // Opens the control connection, logs in with UserID and Password and
    // sets binary type ("TYPE I").
    void Connect() override;
    // Sends "QUIT" and closes the control connection.
    void Disconnect() override;
    // Sends Command and reads its complete (multi-line) reply; returns the first line.
    QString Transaction(const QString& Command) override;
    // Ends the wait of the operation in progress (data connection, or the
    // control connection when that is what it waits on). Sends nothing.
    void Abort() override;

    // ---- commands
    void DoCommand(const QString& Command);
    void Delete(const QString& FileName);
    void MakeDirectory(const QString& FolderName);
    // "RMD": the folder must be empty; its success is reported as RemoveDir.
    void RemoveDirectory(const QString& FolderName);
    QString CurrentDir();
    void Rename(const QString& FromName, const QString& ToName);

    // ---- transfers (passive or active mode, as Passive says)
    // Lists the current folder: "MLSD" where the server offers it, else "LIST".
    void List();
    // Fetches RemoteFile into LocalFile (or a local file named RemoteFile when
    // LocalFile is empty). The bytes go to PartialFileOf(target) first, which
    // replaces the target only when the transfer completed; a transfer that
    // fails in binary type keeps what arrived there. Resume: continue such a
    // kept file ("REST", then "RETR" of the missing bytes only); a server that
    // refuses "REST" sends the whole file again, and the log says so. The
    // target's folder is opened once, and everything else happens in it as in
    // the Download into a folder below.
    // Modified: the server's time of RemoteFile when a listing gave it.
    void Download(const QString& RemoteFile, const QString& LocalFile, bool Resume = false,
                  const QDateTime& Modified = {});
    // Stores LocalFile as RemoteFile (or under its file-name part when RemoteFile
    // is empty). Resume: a remote file shorter than LocalFile is continued
    // ("REST" then "STOR" where the server offers "REST", else "APPE").
    void Upload(const QString& LocalFile, const QString& RemoteFile, bool Resume = false);
    // Where a download into target keeps its bytes until it completes: a hidden
    // name beside it, the same for every attempt, so that a later one can resume.
    static QString PartialFileOf(const QString& target);

    // ---- downloads into a folder held open (LocalFolder.h)
    // Download into the file Name of Folder, every step relative to the
    // folder's descriptor. A partial file or target that is not a regular file
    // of the user's (a link, say) is never written through or continued: the
    // part is removed, the target replaced once the download completed, and
    // the log says so. A resume is only made where the server's size is known,
    // and a server that sends more than the missing bytes fails it, the kept
    // part left as it was.
    void Download(const QString& RemoteFile, const TLocalFolder& Folder, const QString& Name, bool Resume = false,
                  const QDateTime& Modified = {});
    // PartialFileOf for a file name alone.
    static QString PartialNameOf(const QString& name);

    // ---- sizes and times (RFC 3659)
    // "SIZE", asked in binary type (a session in text type switches for the
    // question and back: servers refuse it in text type or count converted
    // line ends); none when the server refuses or does not know it.
    std::optional<qint64> RemoteSize(const QString& Name);
    // "MDTM": the file's modification time (UTC); invalid when refused.
    QDateTime RemoteModified(const QString& Name);
    // "MFMT" where the server offers it, else "SITE UTIME" until the server
    // shows it does not know it: false when neither is there, or refused.
    bool SetRemoteModified(const QString& Name, const QDateTime& Time);

    // ---- uploads, checks and times (FTPTransfers.cpp, FTPChecks.cpp)
    // Uploads go to TemporaryUploadNameOf(target) and are renamed over the
    // target only when complete and checked, so that a failed, stopped or
    // cancelled upload leaves the old file as it was; its temporary file stays
    // for the next upload of the same file to continue. A server that refuses
    // the rename over an existing file gets "DELE" first; one that refuses it
    // still has the target written itself (logged). False: the target is
    // written from the first byte, for servers that need the final name.
    bool TemporaryUploadNames = true;
    // Downloads take the server's modification time (the listing's when the
    // caller has it, else "MDTM"); uploads give the server the local one
    // ("MFMT", or "SITE UTIME"), where the server can.
    bool KeepModificationTimes = true;
    // How the last Download or Upload that completed was checked: a digest
    // of the streamed bytes matched the server's, or only the size did, or
    // the server could tell neither (and in text type, nothing is checked).
    // A mismatch raises ETransferCheckFailed instead: a download keeps the old
    // local file, an upload removes its temporary file.
    TTransferCheck LastCheck = TTransferCheck::None;
    // The hidden name beside RemoteFile under which an upload travels.
    static QString TemporaryUploadNameOf(const QString& RemoteFile);
    // What the server says of a remote name: there (with what it knows of it),
    // not there, or it cannot tell ("MLST" where offered, else "SIZE" in
    // binary type; a refused or unknown "SIZE" is no proof of absence).
    struct TRemoteStat {
        enum { Absent, Present, Unknown } Known = Unknown;
        qint64 Size = -1;   // -1: not known
        QDateTime Modified; // UTC, when known
        bool Folder = false;
    };
    TRemoteStat RemoteStat(const QString& Name);

private:
    enum class Window { Unsupported, Plain }; // whether 500-502 also raise OnUnSupportedFunction

    void Report(const QString& text);
    void PeerClosed() override;
    bool Idle() const; // no operation waits on the server
    // Starts a command or transfer. The outermost operation to end clears a
    // cancel, so that the idle connection goes on noticing a server that leaves.
    using TOperation = QScopeGuard<std::function<void()>>;
    [[nodiscard]] TOperation BeginOperation();
    // FTP over TLS (FTPSecurity.cpp)
    TTlsContext& TlsContext();
    void NegotiateTls();
    void SecureControl();
    void CheckCertificate();
    void ProtectData();
    [[noreturn]] void RefuseSecurity(const QString& why);
    void BeginDataTls();
    void CompleteDataConnection(TCmdType type);
    void FinishDataTls();
    bool DataCut() const; // the data connection ended without its TLS close
    void CloseDataTls();
    void AwaitDataTicket();

    // Connect's work; announce: raise OnConnect (not for a renewal of the session).
    void Open(bool announce);
    // A TLS 1.3 session whose data connection the server refused, as ProFTPD
    // does once its tickets are spent: the session is renewed on TLS 1.2,
    // whose sessions serve every data connection (FTPSecurity.cpp).
    bool DataSessionRefused() const;
    void RenewTlsSession();
    void ReadGreeting();
    void Login();
    void AskFeatures();
    void SetBinaryType();
    void CheckLoginReply();
    void CheckReply(int low, int high, TCmdType type, Window window);
    void Failure(TCmdType type, Window window);
    void Success(TCmdType type);

    // The data connection of List, Download and Upload.
    void RunTransfer(TCmdType type, const std::function<void()>& body);
    void EndTransfer(TCmdType type);
    void ArmDataDeadline();
    void WaitForData(const std::function<void()>& step, const QString& stalled);
    void WaitForDataUntilDeadline(const std::function<void()>& step, const QString& stalled);
    void PrepareParser();
    // How the data connection of a listing or transfer is made: Prepare runs
    // before the transfer command, Complete once the server accepted it, so
    // that the transfers do not know which mode runs.
    class TDataConnection {
    public:
        explicit TDataConnection(TFTPClient& client) : m_client(client) {}
        virtual ~TDataConnection() = default;
        virtual void Prepare(TCmdType type) = 0;
        virtual void Complete(TCmdType type) = 0;

    protected:
        TFTPClient& m_client;
    };
    class TActiveConnection;  // the server connects to our listener ("PORT", "EPRT")
    class TPassiveConnection; // we connect to the server's port ("EPSV", "PASV")
    std::unique_ptr<TDataConnection> MakeDataConnection();
    void StartFlow();
    void StopFlow();
    bool DataMayFlow() const;
    qint64 ReceiveListing();
    void DeliverListingLine(const QString& line);
    void ReportReceived(qint64 count);
    bool FinishTransfer(TCmdType type); // whether the server confirmed the transfer
    // Transfers (FTPTransfers.cpp)
    qint64 ResumePoint(const QString& RemoteFile, qint64 kept, std::optional<qint64>& size);
    void CheckTarget(const TLocalFolder& folder, const QString& name);
    TLocalFile OpenPart(const QString& RemoteFile, const TLocalFolder& folder, const QString& name, bool resume,
                        qint64& offset, std::optional<qint64>& size);
    bool Restart(qint64 offset);
    void SendRetr(const QString& RemoteFile);
    bool ReceiveFile(const QString& RemoteFile, QFile& part, qint64 offset, std::optional<qint64> size);
    bool CompleteFromPart(const QString& RemoteFile, const TLocalFolder& folder, const QString& name,
                          TLocalFile& part, const QDateTime& Modified);
    void PutInPlace(const TLocalFolder& folder, const TLocalFile& part, const QString& name);
    qint64 UploadResumePoint(const QString& LocalFile, const QString& name);
    void SendFrom(const QString& LocalFile, const QString& RemoteFile, qint64 offset);
    void SendStor(const QString& LocalFile, const QString& RemoteFile, const QString& verb);
    void SendFileData(const QString& LocalFile, qint64 offset);
    void TakeRemoteTime(const QString& RemoteFile, QFile& target, QDateTime time);
    void GiveRemoteTime(const QString& LocalFile, const QString& name);
    // Uploads, checks and times (FTPTransfers.cpp, FTPChecks.cpp)
    void UploadDirect(const QString& LocalFile, const QString& RemoteFile, const QString& name, qint64 offset);
    void UploadViaTemporary(const QString& LocalFile, const QString& name);
    void UploadFrom(const QString& LocalFile, const QString& RemoteFile, qint64 offset);
    bool PutOver(const QString& temporary, const QString& name);
    bool TryCommand(const QString& command);
    QString InBinaryType(const QString& command);
    void ChooseHashCommands();
    // Digests of a transfer, with the prefixFile's first offset bytes already in them;
    // StartDigests also feeds them every block of the data connection.
    void PrepareDigests(const QString& prefixFile, qint64 offset);
    void StartDigests(const QString& prefixFile, qint64 offset);
    void VerifyTransfer(const QString& RemoteFile, qint64 localSize, std::optional<qint64> serverSize);
    bool VerifyDigest(const QString& RemoteFile);
    const TStreamDigest* DigestOf(TTransferCheck algorithm) const;
    std::optional<QByteArray> ServerDigest(const THashCommand& command, const QString& RemoteFile, bool& unknown);
    std::optional<qint64> ServerSize(const QString& RemoteFile);

    TReplyReader m_replies; // every reply of the control connection
    std::unique_ptr<TTlsContext> m_tlsContext; // made at the first TLS connection
    QByteArray m_certificate;         // the accepted certificate of the control connection
    bool m_dataTls = false;           // the current data connection runs TLS
    int m_dataTicketMark = 0;         // sessions received before the current data connection
    bool m_dataTicketsCome = true;    // the server gives data connections TLS 1.3 tickets
    QString m_tls12Server;            // "host\nport" of a server spoken to in TLS 1.2 at most
    std::unique_ptr<TFTPDirectoryList> m_directoryList;
    TFTPDataSocket* m_data = nullptr; // child, only inside a transfer
    std::unique_ptr<TDataConnection> m_dataConnection; // only inside a transfer
    bool m_epsvRefused = false;       // the server does not know "EPSV": "PASV" at once
    QStringList m_features;           // first words of the server's "FEAT" lines, upper case
    bool m_connecting = false;        // inside the look-up and connect of Connect
    int m_operations = 0;             // operations running (List asks "SYST" inside its own)
    bool m_textType = false;          // text type: downloads arrive with CR LF line ends
    bool m_loggedIn = false;          // between login and Disconnect: a close is the server leaving
    // Uploads, checks and times
    QStringList m_featureLines;       // the server's answer to "FEAT", its lines
    bool m_hashChosen = false;        // m_hashCommands was chosen for this session
    bool m_hashKnown = false;         // the first of m_hashCommands works here
    std::vector<THashCommand> m_hashCommands; // ways to ask for a digest, the best first
    std::vector<TStreamDigest> m_digests;     // of the running transfer, one per way
    bool m_renameRefused = false;     // the server renames no upload over its target
    bool m_siteUtimeRefused = false;  // the server does not know "SITE UTIME"
};
