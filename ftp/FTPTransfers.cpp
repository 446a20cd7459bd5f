// Downloads and uploads: the partial file beside the target, the temporary
// name of an upload, resuming either way, and the files' modification times.
#include "ftp/DataSocket.h"
#include "ftp/DirectoryList.h"
#include "ftp/FTPClient.h"
#include "ftp/FTPText.h"
#include "ftp/LineEnds.h"
#include "ftp/LocalFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace {

// Longest file name, in bytes, that the local file systems take.
constexpr qsizetype MaxFileNameBytes = 255;

} // namespace

QString TFTPClient::PartialNameOf(const QString& name)
{
    const QString tail = QStringLiteral(".part");
    // A long target name is shortened, so that the name still fits the limit.
    QString stem = u'.' + name;
    while (QFile::encodeName(stem + tail).size() > MaxFileNameBytes) {
        stem.chop(1);
        if (stem.back().isHighSurrogate())
            stem.chop(1);
    }
    return stem + tail;
}

QString TFTPClient::PartialFileOf(const QString& target)
{
    const QFileInfo info(target);
    return info.dir().filePath(PartialNameOf(info.fileName()));
}

// ---------------------------------------------------------------- sizes and times

std::optional<qint64> TFTPClient::RemoteSize(const QString& Name)
{
    RejectUnsafeText(Name);
    const auto operation = BeginOperation();
    m_replies.SettleDebts();
    InBinaryType(QStringLiteral("SIZE ") + Name);
    bool ok = false;
    const qint64 size = LastReply.mid(4).trimmed().toLongLong(&ok);
    return ReplyNumber == 213 && ok && size >= 0 ? std::optional<qint64>(size) : std::nullopt;
}

QDateTime TFTPClient::RemoteModified(const QString& Name)
{
    RejectUnsafeText(Name);
    const auto operation = BeginOperation();
    m_replies.SettleDebts();
    Report(QStringLiteral("MDTM ") + Name);
    Transaction(QStringLiteral("MDTM ") + Name);
    return ReplyNumber == 213 ? MachineListTime(QStringView(LastReply).mid(4).trimmed()) : QDateTime();
}

bool TFTPClient::SetRemoteModified(const QString& Name, const QDateTime& Time)
{
    RejectUnsafeText(Name);
    const bool mfmt = Supports(QStringLiteral("MFMT"));
    // "SITE UTIME" is listed nowhere but in "SITE HELP": servers that answer
    // "FEAT" are tried until they show that they do not know it.
    if (!Time.isValid() || (!mfmt && (m_siteUtimeRefused || m_featureLines.isEmpty())))
        return false;
    const auto operation = BeginOperation();
    m_replies.SettleDebts();
    const QString command = (mfmt ? QStringLiteral("MFMT %1 %2") : QStringLiteral("SITE UTIME %1 %2"))
                                .arg(FtpTimeText(Time), Name);
    Report(command);
    Transaction(command);
    if (!mfmt && InRange(ReplyNumber, 500, 504))
        m_siteUtimeRefused = true;
    return InRange(ReplyNumber, 200, 299);
}

// Through the open file: its name may lead elsewhere by now.
void TFTPClient::TakeRemoteTime(const QString& RemoteFile, QFile& target, QDateTime time)
{
    if (!KeepModificationTimes)
        return;
    if (!time.isValid() && Supports(QStringLiteral("MDTM")))
        time = RemoteModified(RemoteFile);
    if (time.isValid())
        target.setFileTime(time, QFileDevice::FileModificationTime);
}

void TFTPClient::GiveRemoteTime(const QString& LocalFile, const QString& name)
{
    if (KeepModificationTimes)
        SetRemoteModified(name, QFileInfo(LocalFile).lastModified().toUTC());
}

// ---------------------------------------------------------------- download

// Where a resumed download starts: the kept bytes, when the server's file is
// known to be at least as large as they are (as large: the part is complete);
// 0 for a whole download. Without the server's size nothing could tell a
// resumed file from a mix of two.
qint64 TFTPClient::ResumePoint(const QString& RemoteFile, qint64 kept, std::optional<qint64>& size)
{
    if (kept <= 0 || m_textType) // in text type the offsets of the two sides differ
        return 0;
    size = RemoteSize(RemoteFile);
    if (!size) {
        Report(QStringLiteral("The server does not tell the size of \"%1\", so a resumed download could not be "
                              "checked: the whole file is downloaded again.")
                   .arg(RemoteFile));
        return 0;
    }
    if (kept > *size) {
        Report(QStringLiteral("The kept part of \"%1\" (%2 bytes) is longer than the file on the server (%3 "
                              "bytes): the whole file is downloaded again.")
                   .arg(RemoteFile)
                   .arg(kept)
                   .arg(*size));
        return 0;
    }
    return kept;
}

// Fails before anything is sent when the name is taken by a folder; anything
// else that is not a file of the user's is replaced, never written through.
void TFTPClient::CheckTarget(const TLocalFolder& folder, const QString& name)
{
    const std::optional<TLocalEntry> target = folder.Entry(name);
    if (target && target->Folder)
        throw Exception(QStringLiteral("Cannot write \"%1\": a folder has that name.").arg(folder.PathOf(name)));
    if (target && !target->OwnFile)
        Report(QStringLiteral("\"%1\" is not a regular file of yours (a link, say): nothing is written through it, "
                              "the download replaces it.")
                   .arg(folder.PathOf(name)));
}

// The file a download writes: its kept part when a resume can continue it
// (offset: where), else a fresh one, made before anything is sent, so that a
// folder that cannot take it fails at once.
TLocalFile TFTPClient::OpenPart(const QString& RemoteFile, const TLocalFolder& folder, const QString& name,
                                bool resume, qint64& offset, std::optional<qint64>& size)
{
    CheckTarget(folder, name);
    const QString partName = PartialNameOf(name);
    offset = 0;
    const std::optional<TLocalEntry> kept = folder.Entry(partName);
    if (kept && !kept->OwnFile) {
        Report(QStringLiteral("The kept part \"%1\" is not a regular file of yours (a link, say): it is removed, not "
                              "followed, and the whole file is downloaded.")
                   .arg(folder.PathOf(partName)));
    } else if (kept && resume) {
        if (std::optional<TLocalFile> part = folder.OpenOwnFile(partName)) {
            offset = ResumePoint(RemoteFile, part->File->size(), size);
            if (offset > 0)
                return std::move(*part);
        }
    }
    // A fresh file, not a truncated one: truncating makes ext4 write it out
    // synchronously on close.
    folder.Remove(partName);
    return folder.CreateFile(partName);
}

// "REST offset" before the transfer command: whether the server will start there.
bool TFTPClient::Restart(qint64 offset)
{
    const QString command = QStringLiteral("REST %1").arg(offset);
    Report(command);
    Transaction(command);
    if (ReplyNumber == 350)
        return true;
    Report(QStringLiteral("The server cannot resume (%1).").arg(LastReply.trimmed()));
    return false;
}

void TFTPClient::SendRetr(const QString& RemoteFile)
{
    Report(QStringLiteral("RETR ") + RemoteFile);
    BytesTotal = 0;
    Transaction(QStringLiteral("RETR ") + RemoteFile);
    CheckReply(301, 599, TCmdType::Download, Window::Plain);
    for (const QString& line : m_replies.Lines())
        if (BytesTotal == 0)
            BytesTotal = ByteCountOf(line);
    m_replies.Owe(); // the transfer's completion
}

void TFTPClient::Download(const QString& RemoteFile, const QString& LocalFile, bool Resume, const QDateTime& Modified)
{
    const QFileInfo target(LocalFile.isEmpty() ? RemoteFile : LocalFile);
    std::optional<TLocalFolder> folder;
    try {
        folder = TLocalFolder::Open(target.path());
    } catch (const Exception& e) {
        throw Exception(QStringLiteral("Cannot write \"%1\": %2").arg(target.filePath(), e.Message()));
    }
    Download(RemoteFile, *folder, target.fileName(), Resume, Modified);
}

void TFTPClient::Download(const QString& RemoteFile, const TLocalFolder& Folder, const QString& Name, bool Resume,
                          const QDateTime& Modified)
{
    RejectUnsafeText(RemoteFile);
    const auto operation = BeginOperation();
    const QString partName = PartialNameOf(Name);
    LastCheck = TTransferCheck::None;
    ChooseHashCommands();
    std::optional<qint64> size;
    qint64 offset = 0;
    TLocalFile part = OpenPart(RemoteFile, Folder, Name, Resume, offset, size);
    if (offset > 0 && offset == size) {
        if (CompleteFromPart(RemoteFile, Folder, Name, part, Modified))
            return;
        offset = 0;
        size.reset();
    }
    bool replaced = false;
    // What arrived stays for a later resume, unless nothing did or the type
    // makes the bytes unfit to continue.
    const auto settle = qScopeGuard([&] {
        if (replaced || (!m_textType && part.File->size() > 0))
            return;
        try {
            Folder.Remove(partName);
        } catch (const Exception&) {
            // The download's own outcome is what the caller hears about.
        }
    });
    RunTransfer(TCmdType::Download, [&] {
        m_dataConnection->Prepare(TCmdType::Download);
        m_data->OnPacketRecvd = [this, user = OnPacketRecvd, &offset, &size](QObject* sender) {
            ArmDataDeadline();
            // More than the missing bytes: the server did not continue where
            // asked, and what comes is not the rest of the file.
            if (offset > 0 && m_data->BytesRecvd > *size - offset)
                m_data->Cancel();
            if (user)
                user(sender);
        };
        if (offset > 0 && !Restart(offset)) {
            Report(QStringLiteral("The whole file is downloaded again."));
            offset = 0;
            size.reset();
            if (!part.File->resize(0))
                throw Exception(QStringLiteral("Cannot write \"%1\": %2").arg(part.File->fileName(),
                                                                               part.File->errorString()));
        }
        // The kept bytes are read through the part's own descriptor, not its name.
        StartDigests(QStringLiteral("/proc/self/fd/%1").arg(part.File->handle()), offset);
        SendRetr(RemoteFile);
        const qint64 announced = BytesTotal;
        if (!ReceiveFile(RemoteFile, *part.File, offset, size))
            return; // refused, and the refusal handled: the old file stays
        try {
            VerifyTransfer(RemoteFile, part.File->size(),
                           offset > 0 ? size : announced > 0 ? std::optional<qint64>(announced) : std::nullopt);
        } catch (const ETransferCheckFailed&) {
            part.File->resize(0); // damaged bytes are no start for a resume: the part goes
            throw;
        }
        PutInPlace(Folder, part, Name);
        replaced = true;
    });
    if (replaced)
        TakeRemoteTime(RemoteFile, *part.File, Modified);
}

// The target takes the part's place, with the permissions of the file it replaces.
void TFTPClient::PutInPlace(const TLocalFolder& folder, const TLocalFile& part, const QString& name)
{
    if (const std::optional<TLocalEntry> old = folder.Entry(name); old && old->OwnFile)
        ::fchmod(part.File->handle(), old->Permissions);
    folder.ReplaceWith(part, PartialNameOf(name), name);
}

// A kept part as long as the server's file (a download that failed after its last
// byte arrived, say) is checked as a transfer would be and put in place, with nothing
// fetched. False when the check shows it is not the server's file: it is emptied, and
// the caller downloads the whole file.
bool TFTPClient::CompleteFromPart(const QString& RemoteFile, const TLocalFolder& folder, const QString& name,
                                  TLocalFile& part, const QDateTime& Modified)
{
    const qint64 size = part.File->size();
    Report(QStringLiteral("The kept part of \"%1\" holds all its %2 bytes: it is checked and kept, not downloaded "
                          "again.")
               .arg(RemoteFile)
               .arg(size));
    PrepareDigests(QStringLiteral("/proc/self/fd/%1").arg(part.File->handle()), size);
    try {
        VerifyTransfer(RemoteFile, size, size);
    } catch (const ETransferCheckFailed& e) {
        Report(e.Message().trimmed() + QStringLiteral(" The whole file is downloaded again."));
        if (!part.File->resize(0))
            throw Exception(QStringLiteral("Cannot write \"%1\": %2").arg(part.File->fileName(),
                                                                           part.File->errorString()));
        return false;
    }
    PutInPlace(folder, part, name);
    TakeRemoteTime(RemoteFile, *part.File, Modified);
    return true;
}

// The data of a download after "RETR" was accepted, into part (after its
// first offset bytes): whether the server confirmed it; raises when it is
// incomplete, or more than the missing bytes came after a restart.
bool TFTPClient::ReceiveFile(const QString& RemoteFile, QFile& part, qint64 offset, std::optional<qint64> size)
{
    CompleteDataConnection(TCmdType::Download);
    StartFlow();
    const auto overran = [&] { return offset > 0 && m_data->BytesRecvd > *size - offset; };
    if (DataMayFlow()) {
        try {
            WaitForData([&] { m_data->CaptureFile(part); },
                        QStringLiteral("The download stalled: no data for %1 s."));
        } catch (const EAbortError&) {
            if (!overran())
                throw;
        }
    }
    if (overran()) {
        m_data->RequestCloseSocket();
        part.resize(offset);
        throw EIncompleteTransfer(QStringLiteral("The server sent more than the %1 missing bytes of \"%2\": it did not "
                                                 "continue at byte %3 as asked. The kept part stays as it was; the "
                                                 "download may start afresh.")
                                      .arg(*size - offset)
                                      .arg(RemoteFile)
                                      .arg(offset));
    }
    StopFlow();
    const bool cut = DataCut();
    m_data->RequestCloseSocket();
    const qint64 announced = BytesTotal;
    const qint64 received = m_data->BytesRecvd;
    ReportReceived(received);
    if (!FinishTransfer(TCmdType::Download))
        return false;
    // Without the TLS close the end of the data may have been cut off.
    if (cut)
        throw EIncompleteTransfer(QStringLiteral("The download of \"%1\" ended without the TLS close of its "
                                                 "connection: it may be incomplete, so it was not kept.")
                                      .arg(RemoteFile));
    // In binary type the announced size is the file's (after a restart, servers
    // differ in what they announce, so the file's size from "SIZE" is used):
    // fewer bytes mean a cut transfer, whatever the server's reply claims.
    const qint64 have = offset + received;
    const qint64 expected = offset > 0 ? size.value_or(0) : announced;
    if (!m_textType && expected > 0 && have < expected)
        throw EIncompleteTransfer(QStringLiteral("The download of \"%1\" is incomplete: %2 of %3 bytes arrived.")
                                      .arg(RemoteFile)
                                      .arg(have)
                                      .arg(expected));
    if (m_textType)
        ConvertToLocalLineEnds(part);
    return true;
}

// ---------------------------------------------------------------- upload

// Where a resumed upload starts: the size of the server's file when it is
// shorter than the local one; 0 for a whole upload.
qint64 TFTPClient::UploadResumePoint(const QString& LocalFile, const QString& name)
{
    const std::optional<qint64> remote = RemoteSize(name);
    const qint64 local = QFileInfo(LocalFile).size();
    return remote && *remote > 0 && *remote < local ? *remote : 0;
}

void TFTPClient::SendStor(const QString& LocalFile, const QString& RemoteFile, const QString& verb)
{
    const QString name = RemoteFile.isEmpty() ? FileNamePart(LocalFile) : RemoteFile;
    Report(verb + u' ' + (RemoteFile.isEmpty() ? LocalFile : RemoteFile));
    Transaction(verb + u' ' + name);
    CheckReply(301, 599, TCmdType::Upload, Window::Unsupported);
    m_replies.Owe(); // the transfer's completion
}

void TFTPClient::Upload(const QString& LocalFile, const QString& RemoteFile, bool Resume)
{
    const QString name = RemoteFile.isEmpty() ? FileNamePart(LocalFile) : RemoteFile;
    RejectUnsafeText(name);
    const auto operation = BeginOperation();
    {
        QFile file(LocalFile);
        if (!file.open(QIODevice::ReadOnly))
            throw Exception(QStringLiteral("Cannot open \"%1\": %2").arg(LocalFile, file.errorString()));
    }
    LastCheck = TTransferCheck::None;
    ChooseHashCommands();
    const qint64 offset = Resume && !m_textType ? UploadResumePoint(LocalFile, name) : 0;
    // Continuing the target (the user chose to resume it) writes into it.
    if (offset > 0 || !TemporaryUploadNames || m_renameRefused)
        UploadDirect(LocalFile, RemoteFile, name, offset);
    else
        UploadViaTemporary(LocalFile, name);
}

void TFTPClient::UploadDirect(const QString& LocalFile, const QString& RemoteFile, const QString& name, qint64 offset)
{
    UploadFrom(LocalFile, RemoteFile, offset);
    VerifyTransfer(name, QFileInfo(LocalFile).size(), std::nullopt);
    GiveRemoteTime(LocalFile, name);
}

void TFTPClient::UploadViaTemporary(const QString& LocalFile, const QString& name)
{
    const QString temporary = TemporaryUploadNameOf(name);
    const qint64 local = QFileInfo(LocalFile).size();
    // What an upload that broke off left there is continued, unless the local
    // file changed since (its old bytes would be kept in front of the new
    // ones) and no digest will tell.
    qint64 offset = 0;
    if (!m_textType && (Supports(QStringLiteral("MLST")) || Supports(QStringLiteral("SIZE")))) {
        const TRemoteStat kept = RemoteStat(temporary);
        if (kept.Known == TRemoteStat::Present && kept.Size > 0 && kept.Size < local) {
            // The server's times count whole seconds.
            const bool unchanged = kept.Modified.isValid()
                && QFileInfo(LocalFile).lastModified().toUTC() <= kept.Modified.addSecs(1);
            if (unchanged || m_hashKnown)
                offset = kept.Size;
            Report(offset > 0 ? QStringLiteral("\"%1\" holds %2 bytes of an earlier upload: the upload goes on from "
                                               "there.")
                                    .arg(temporary)
                                    .arg(offset)
                              : QStringLiteral("\"%1\" holds bytes of an earlier upload of another version of the "
                                               "file: the whole file is uploaded again.")
                                    .arg(temporary));
        }
    }
    UploadFrom(LocalFile, temporary, offset);
    try {
        VerifyTransfer(temporary, local, std::nullopt);
    } catch (const ETransferCheckFailed&) {
        TryCommand(QStringLiteral("DELE ") + temporary);
        throw;
    }
    GiveRemoteTime(LocalFile, temporary); // a rename keeps the time
    if (PutOver(temporary, name))
        return;
    Report(QStringLiteral("The server does not rename an upload over \"%1\": it is written directly, and so are "
                          "the next uploads of this session.")
               .arg(name));
    m_renameRefused = true;
    UploadDirect(LocalFile, name, name, 0);
    TryCommand(QStringLiteral("DELE ") + temporary);
}

// Renames the finished temporary file over name; false when the server will not.
bool TFTPClient::PutOver(const QString& temporary, const QString& name)
{
    if (!TryCommand(QStringLiteral("RNFR ") + temporary))
        return false;
    if (TryCommand(QStringLiteral("RNTO ") + name))
        return true;
    // Some servers rename over no existing file: the old one goes first. Its
    // new content is complete and checked on the server by now.
    Report(QStringLiteral("The server did not rename \"%1\" over \"%2\" (%3): the old file is deleted first.")
               .arg(temporary, name, LastReply.trimmed()));
    return TryCommand(QStringLiteral("DELE ") + name) && TryCommand(QStringLiteral("RNFR ") + temporary)
        && TryCommand(QStringLiteral("RNTO ") + name);
}

void TFTPClient::UploadFrom(const QString& LocalFile, const QString& RemoteFile, qint64 offset)
{
    if (offset > 0) {
        try {
            SendFrom(LocalFile, RemoteFile, offset);
            return;
        } catch (const FTPException& e) {
            // Some servers take "REST" but not the upload after it ("451
            // Append/Restart not permitted"): the whole file goes again.
            Report(QStringLiteral("The server does not continue uploads (%1): the whole file is uploaded again.")
                       .arg(e.Message().trimmed()));
        }
    }
    SendFrom(LocalFile, RemoteFile, 0);
}

// One upload of LocalFile from offset on ("REST"/"STOR" or "APPE" for an offset).
void TFTPClient::SendFrom(const QString& LocalFile, const QString& RemoteFile, qint64 offset)
{
    RunTransfer(TCmdType::Upload, [&] {
        BytesTotal = QFileInfo(LocalFile).size();
        m_dataConnection->Prepare(TCmdType::Upload);
        m_data->OnPacketSent = [this, user = OnPacketSent](QObject* sender) {
            ArmDataDeadline();
            if (user)
                user(sender);
        };
        // "REST" with "STOR" where the server says it restarts streams; "APPE" elsewhere.
        QString verb = QStringLiteral("STOR");
        if (offset > 0)
            verb = !Supports(QStringLiteral("REST")) ? QStringLiteral("APPE")
                : Restart(offset) ? verb : QStringLiteral("APPE");
        StartDigests(LocalFile, offset);
        SendStor(LocalFile, RemoteFile, verb);
        SendFileData(LocalFile, offset);
    });
}

// The data of an upload after the server accepted it, from offset on.
void TFTPClient::SendFileData(const QString& LocalFile, qint64 offset)
{
    CompleteDataConnection(TCmdType::Upload);
    StartFlow();
    if (DataMayFlow()) {
        try {
            WaitForData([&] { m_data->SendFile(LocalFile, offset); },
                        QStringLiteral("The upload stalled: the server took no data for %1 s."));
            CloseDataTls();
        } catch (const EAbortError&) {
            throw;
        } catch (const ETimeOutError&) {
            throw;
        } catch (const ESockError&) {
            // The server broke the data connection off: its reply says why.
            if (!Connected || FinishTransfer(TCmdType::Upload))
                throw;
            return;
        }
    }
    StopFlow();
    m_data->SetLinger(false, 0); // close gracefully: the server must get every byte
    m_data->RequestCloseSocket();
    FinishTransfer(TCmdType::Upload);
}
