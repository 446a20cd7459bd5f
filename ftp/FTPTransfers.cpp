// Downloads and uploads: the partial file beside the target, the temporary
// name of an upload, resuming either way, and the files' modification times.
#include "ftp/DataSocket.h"
#include "ftp/DirectoryList.h"
#include "ftp/FTPClient.h"
#include "ftp/FTPText.h"
#include "ftp/LineEnds.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// Longest file name, in bytes, that the local file systems take.
constexpr qsizetype MaxFileNameBytes = 255;

// Fails before anything is sent when the folder cannot take the file.
void CheckWritable(const QString& target, const QString& partial)
{
    QFile probe(partial);
    const bool existed = probe.exists();
    if (!probe.open(QIODevice::WriteOnly | QIODevice::Append))
        throw Exception(QStringLiteral("Cannot write \"%1\": %2").arg(target, probe.errorString()));
    // The capture creates the file afresh: truncating an existing one makes ext4
    // write it out synchronously on close.
    if (!existed)
        probe.remove();
}

} // namespace

QString TFTPClient::PartialFileOf(const QString& target)
{
    const QFileInfo info(target);
    const QString tail = QStringLiteral(".part");
    // A long target name is shortened, so that the name still fits the limit.
    QString stem = u'.' + info.fileName();
    while (QFile::encodeName(stem + tail).size() > MaxFileNameBytes) {
        stem.chop(1);
        if (stem.back().isHighSurrogate())
            stem.chop(1);
    }
    return info.dir().filePath(stem + tail);
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

void TFTPClient::TakeRemoteTime(const QString& RemoteFile, const QString& target, QDateTime time)
{
    if (!KeepModificationTimes)
        return;
    if (!time.isValid() && Supports(QStringLiteral("MDTM")))
        time = RemoteModified(RemoteFile);
    QFile file(target);
    if (time.isValid() && file.open(QIODevice::ReadWrite))
        file.setFileTime(time, QFileDevice::FileModificationTime);
}

void TFTPClient::GiveRemoteTime(const QString& LocalFile, const QString& name)
{
    if (KeepModificationTimes)
        SetRemoteModified(name, QFileInfo(LocalFile).lastModified().toUTC());
}

// ---------------------------------------------------------------- download

// Where a resumed download starts: the kept bytes, when the server's file is
// larger than they are; 0 for a whole download.
qint64 TFTPClient::ResumePoint(const QString& RemoteFile, const QString& partial, std::optional<qint64>& size)
{
    const qint64 kept = QFileInfo(partial).size();
    if (kept <= 0 || m_textType) // in text type the offsets of the two sides differ
        return 0;
    size = RemoteSize(RemoteFile);
    if (size && kept >= *size) {
        Report(QStringLiteral("The kept part of \"%1\" (%2 bytes) is not shorter than the file on the server (%3 "
                              "bytes): the whole file is downloaded again.")
                   .arg(RemoteFile)
                   .arg(kept)
                   .arg(*size));
        return 0;
    }
    return kept;
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
    RejectUnsafeText(RemoteFile);
    const auto operation = BeginOperation();
    const QString target = LocalFile.isEmpty() ? RemoteFile : LocalFile;
    const QString partial = PartialFileOf(target);
    CheckWritable(target, partial);
    LastCheck = TTransferCheck::None;
    ChooseHashCommands();
    std::optional<qint64> size;
    qint64 offset = Resume ? ResumePoint(RemoteFile, partial, size) : 0;
    if (offset == 0)
        QFile::remove(partial);
    // What arrived stays for a later resume, unless nothing did or the type
    // makes the bytes unfit to continue.
    const auto settle = qScopeGuard([&] {
        if (m_textType || QFileInfo(partial).size() == 0)
            QFile::remove(partial);
    });
    RunTransfer(TCmdType::Download, [&] {
        m_dataConnection->Prepare(TCmdType::Download);
        m_data->OnPacketRecvd = [this, user = OnPacketRecvd](QObject* sender) {
            ArmDataDeadline();
            if (user)
                user(sender);
        };
        if (offset > 0 && !Restart(offset)) {
            Report(QStringLiteral("The whole file is downloaded again."));
            offset = 0;
            size.reset();
        }
        StartDigests(partial, offset);
        SendRetr(RemoteFile);
        const qint64 announced = BytesTotal;
        if (!ReceiveFile(RemoteFile, partial, offset, size))
            return; // refused, and the refusal handled: the old file stays
        try {
            VerifyTransfer(RemoteFile, QFileInfo(partial).size(),
                           offset > 0 ? size : announced > 0 ? std::optional<qint64>(announced) : std::nullopt);
        } catch (const ETransferCheckFailed&) {
            QFile::remove(partial); // damaged bytes are no start for a resume
            throw;
        }
        if (QFileInfo::exists(target))
            QFile::setPermissions(partial, QFile::permissions(target));
        ReplaceFile(partial, target);
    });
    TakeRemoteTime(RemoteFile, target, Modified);
}

// The data of a download after "RETR" was accepted, into partial (after its
// first offset bytes): whether the server confirmed it; raises when it is
// incomplete.
bool TFTPClient::ReceiveFile(const QString& RemoteFile, const QString& partial, qint64 offset,
                             std::optional<qint64> size)
{
    CompleteDataConnection(TCmdType::Download);
    StartFlow();
    if (DataMayFlow())
        WaitForData([&] { m_data->CaptureFile(partial, offset > 0); },
                    QStringLiteral("The download stalled: no data for %1 s."));
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
        ConvertToLocalLineEnds(partial);
    return true;
}

void TFTPClient::ReplaceFile(const QString& from, const QString& to)
{
    // rename() replaces the old file in one step: it is either the old or the new one.
    if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0) {
        const QString reason = QString::fromLocal8Bit(std::strerror(errno));
        throw Exception(QStringLiteral("Cannot write \"%1\": %2").arg(to, reason));
    }
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
