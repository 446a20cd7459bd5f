#pragma once
// Checking a finished transfer: the size the server has against the bytes that
// moved, and, where the server can hash a file, a digest computed while the
// bytes streamed against the server's digest of its copy.
//
// Servers hash with "HASH" (listed in "FEAT" with its algorithms, the one in
// use marked "*"; "OPTS HASH <name>" picks another) or with the older X
// commands ("XSHA256 name" and its kin), answered "250 <hex>".
#include "net/Exception.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

// How a done transfer was checked, weakest first.
enum class TTransferCheck { None, Size, Crc32, Md5, Sha1, Sha512, Sha256 };

// For the queue's view: "SHA-256 verified", "size checked", "not checked".
QString CheckText(TTransferCheck check);
// The algorithm's name as "HASH" and "OPTS HASH" spell it: "SHA-256", "CRC32".
QString HashName(TTransferCheck algorithm);

// One way of asking the server for a file's digest.
struct THashCommand {
    TTransferCheck Algorithm = TTransferCheck::None;
    QString Verb; // "HASH", or an X command such as "XSHA256"
    friend bool operator==(const THashCommand&, const THashCommand&) = default;
};

// The "HASH" feature of a "FEAT" reply: the algorithms it lists that can be
// checked here, the best first, and the one in use.
struct THashFeature {
    std::vector<TTransferCheck> Algorithms;
    TTransferCheck Selected = TTransferCheck::None;
};
std::optional<THashFeature> HashFeatureOf(const QStringList& featLines);

// The X commands a "FEAT" reply lists, the best first.
std::vector<THashCommand> ListedXCommands(const QStringList& featLines);

// The digest in a reply, in lower-case hex; none when the reply holds none.
// "HASH": "213 SHA-256 0-1233 <hex> name". X commands: "250 <hex>", some with
// the name before or after it.
// A "HASH" reply counts only when it names the algorithm asked for.
std::optional<QByteArray> DigestOfHashReply(const QString& reply, TTransferCheck algorithm);
std::optional<QByteArray> DigestOfXReply(const QString& reply, TTransferCheck algorithm);

// A digest fed block by block as the bytes move.
class TStreamDigest {
public:
    explicit TStreamDigest(TTransferCheck algorithm);
    TTransferCheck Algorithm() const { return m_algorithm; }
    void Add(const char* data, qint64 count);
    // The first count bytes of a file (the part a resumed transfer does not
    // move again); false when they cannot be read.
    bool AddFilePrefix(const QString& path, qint64 count);
    QByteArray HexResult() const; // lower case

private:
    TTransferCheck m_algorithm;
    std::unique_ptr<QCryptographicHash> m_hash; // none for CRC-32
    quint32 m_crc = 0xFFFFFFFFu;
};

// The server's copy differs from what moved (in size or digest). The message
// names the file and what differed; the connection stays up.
class ETransferCheckFailed : public Exception {
public:
    using Exception::Exception;
};
