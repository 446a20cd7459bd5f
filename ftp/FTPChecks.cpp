// What the server knows of a remote file, and the check of every finished
// transfer: its size, and its digest where the server can compute one.
#include "ftp/DataSocket.h"
#include "ftp/DirectoryList.h"
#include "ftp/FTPClient.h"
#include "ftp/FTPText.h"

#include <QFileInfo>

namespace {

// Longest file name, in bytes, that servers' file systems commonly take.
constexpr qsizetype MaxRemoteNameBytes = 255;

// The fact line of an "MLST" reply: the one line that starts with a space.
std::optional<TMachineListLine> FactsOf(const QStringList& lines)
{
    for (QString line : lines) {
        if (!line.startsWith(u' '))
            continue;
        while (line.endsWith(u'\n') || line.endsWith(u'\r'))
            line.chop(1);
        return ParseMachineListLine(QStringView(line).mid(1));
    }
    return std::nullopt;
}

} // namespace

QString TFTPClient::TemporaryUploadNameOf(const QString& RemoteFile)
{
    const qsizetype slash = RemoteFile.lastIndexOf(u'/');
    const QString folder = RemoteFile.left(slash + 1);
    const QString tail = QStringLiteral(".part");
    QString stem = u'.' + RemoteFile.mid(slash + 1);
    while ((stem + tail).toUtf8().size() > MaxRemoteNameBytes) {
        stem.chop(1);
        if (stem.back().isHighSurrogate())
            stem.chop(1);
    }
    return folder + stem + tail;
}

bool TFTPClient::TryCommand(const QString& command)
{
    Report(command);
    Transaction(command);
    return InRange(ReplyNumber, 200, 399);
}

// Sizes count bytes only in binary type, and servers such as pyftpdlib refuse
// "SIZE" in text type: a session in text type switches for the command and
// back. LastReply and ReplyNumber are the command's; so is the returned text.
QString TFTPClient::InBinaryType(const QString& command)
{
    const bool text = m_textType;
    if (text)
        TryCommand(QStringLiteral("TYPE I"));
    Report(command);
    Transaction(command);
    const QString reply = LastReply;
    const int number = ReplyNumber;
    if (text && !TryCommand(QStringLiteral("TYPE A")))
        m_textType = false;
    LastReply = reply;
    ReplyNumber = number;
    return reply;
}

TFTPClient::TRemoteStat TFTPClient::RemoteStat(const QString& Name)
{
    RejectUnsafeText(Name);
    TRemoteStat stat;
    if (Supports(QStringLiteral("MLST"))) {
        const auto operation = BeginOperation();
        m_replies.SettleDebts();
        Report(QStringLiteral("MLST ") + Name);
        Transaction(QStringLiteral("MLST ") + Name);
        if (ReplyNumber == 250) {
            stat.Known = TRemoteStat::Present;
            if (const std::optional<TMachineListLine> facts = FactsOf(m_replies.Lines())) {
                bool ok = false;
                const qint64 size = facts->Size.toLongLong(&ok);
                stat.Size = ok ? size : -1;
                stat.Modified = MachineListTime(facts->Modify);
                stat.Folder = facts->Type == TListedType::Folder;
            }
            return stat;
        }
        if (ReplyNumber == 550) {
            stat.Known = TRemoteStat::Absent;
            return stat;
        }
    }
    if (const std::optional<qint64> size = RemoteSize(Name)) {
        stat.Known = TRemoteStat::Present;
        stat.Size = *size;
        if (Supports(QStringLiteral("MDTM")))
            stat.Modified = RemoteModified(Name);
    }
    return stat;
}

// ---------------------------------------------------------------- checks

void TFTPClient::ChooseHashCommands()
{
    if (m_hashChosen)
        return;
    m_hashChosen = true;
    if (const std::optional<THashFeature> feature = HashFeatureOf(m_featureLines);
        feature && !feature->Algorithms.empty()) {
        TTransferCheck algorithm = feature->Selected;
        const TTransferCheck best = feature->Algorithms.front();
        if (best != algorithm) {
            m_replies.SettleDebts();
            if (TryCommand(QStringLiteral("OPTS HASH ") + HashName(best)))
                algorithm = best;
        }
        if (algorithm != TTransferCheck::None)
            m_hashCommands = {{algorithm, QStringLiteral("HASH")}};
    }
    // The X commands a server lists stand in where "HASH" is refused.
    for (const THashCommand& command : ListedXCommands(m_featureLines))
        m_hashCommands.push_back(command);
    m_hashKnown = !m_hashCommands.empty();
    // Many servers know "XSHA256" without listing it: a server that answers
    // "FEAT" is asked once, after the first transfer. One digest only, so that
    // the first transfer to a server without any is not slowed by several.
    if (m_hashCommands.empty() && !m_featureLines.isEmpty())
        m_hashCommands = {{TTransferCheck::Sha256, QStringLiteral("XSHA256")}};
}

void TFTPClient::PrepareDigests(const QString& prefixFile, qint64 offset)
{
    m_digests.clear();
    if (m_textType) // the bytes on the two sides differ in their line ends
        return;
    // The first way's algorithm where it is known to work here, else every
    // way's, until the server shows which it knows.
    for (const THashCommand& command : m_hashCommands) {
        if (m_hashKnown && command.Algorithm != m_hashCommands.front().Algorithm)
            continue;
        if (!DigestOf(command.Algorithm))
            m_digests.emplace_back(command.Algorithm);
    }
    // A resumed transfer moves only the rest: the part already there is read once.
    for (TStreamDigest& digest : m_digests) {
        if (offset > 0 && !digest.AddFilePrefix(prefixFile, offset)) {
            m_digests.clear();
            break;
        }
    }
}

void TFTPClient::StartDigests(const QString& prefixFile, qint64 offset)
{
    PrepareDigests(prefixFile, offset);
    if (!m_digests.empty())
        m_data->OnFileBlock = [this](const char* data, qint64 count) {
            for (TStreamDigest& digest : m_digests)
                digest.Add(data, count);
        };
}

std::optional<qint64> TFTPClient::ServerSize(const QString& RemoteFile)
{
    if (Supports(QStringLiteral("MLST"))) {
        const TRemoteStat stat = RemoteStat(RemoteFile);
        if (stat.Size >= 0)
            return stat.Size;
    }
    if (Supports(QStringLiteral("SIZE")))
        return RemoteSize(RemoteFile);
    return std::nullopt;
}

void TFTPClient::VerifyTransfer(const QString& RemoteFile, qint64 localSize, std::optional<qint64> serverSize)
{
    LastCheck = TTransferCheck::None;
    const auto done = qScopeGuard([this] { m_digests.clear(); });
    if (m_textType)
        return;
    if (!serverSize)
        serverSize = ServerSize(RemoteFile);
    if (serverSize && *serverSize != localSize)
        throw ETransferCheckFailed(QStringLiteral("The server's copy of \"%1\" has %2 bytes and this side's %3: "
                                                  "the transfer went wrong.")
                                       .arg(RemoteFile)
                                       .arg(*serverSize)
                                       .arg(localSize));
    if (serverSize)
        LastCheck = TTransferCheck::Size;
    if (!m_digests.empty())
        VerifyDigest(RemoteFile);
}

const TStreamDigest* TFTPClient::DigestOf(TTransferCheck algorithm) const
{
    const auto it = std::find_if(m_digests.begin(), m_digests.end(),
                                 [&](const TStreamDigest& d) { return d.Algorithm() == algorithm; });
    return it == m_digests.end() ? nullptr : &*it;
}

bool TFTPClient::VerifyDigest(const QString& RemoteFile)
{
    const std::vector<THashCommand> ways = m_hashCommands;
    for (const THashCommand& way : ways) {
        const TStreamDigest* ours = DigestOf(way.Algorithm);
        if (!ours)
            continue;
        bool unknown = false;
        const std::optional<QByteArray> theirs = ServerDigest(way, RemoteFile, unknown);
        if (unknown) {
            std::erase(m_hashCommands, way);
            continue;
        }
        if (!theirs)
            continue; // refused for this file (too large for the server, say)
        // The way that answered goes first from now on.
        std::erase(m_hashCommands, way);
        m_hashCommands.insert(m_hashCommands.begin(), way);
        m_hashKnown = true;
        if (*theirs != ours->HexResult())
            throw ETransferCheckFailed(QStringLiteral("The %1 digest of \"%2\" on the server (%3) is not that of the "
                                                      "bytes that moved (%4): the file was damaged on the way.")
                                           .arg(HashName(way.Algorithm), RemoteFile, QString::fromLatin1(*theirs),
                                                QString::fromLatin1(ours->HexResult())));
        LastCheck = way.Algorithm;
        return true;
    }
    return false;
}

std::optional<QByteArray> TFTPClient::ServerDigest(const THashCommand& command, const QString& RemoteFile,
                                                   bool& unknown)
{
    TryCommand(command.Verb + u' ' + RemoteFile);
    unknown = InRange(ReplyNumber, 500, 502);
    // ProFTPD says "213-Computing SHA-256 digest" first: the digest is on the last line.
    const QString last = m_replies.Lines().isEmpty() ? LastReply : m_replies.Lines().constLast();
    if (command.Verb == QStringLiteral("HASH"))
        return ReplyNumber == 213 ? DigestOfHashReply(last, command.Algorithm) : std::nullopt;
    return ReplyNumber == 250 ? DigestOfXReply(last, command.Algorithm) : std::nullopt;
}
