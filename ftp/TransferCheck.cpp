#include "ftp/TransferCheck.h"

#include <QFile>

#include <algorithm>
#include <array>

namespace {

struct TAlgorithmName {
    TTransferCheck Algorithm;
    const char* HashName;  // as "HASH" spells it
    const char* XVerb;     // the X command
    int HexLength;
};

// The best first: the order in which a choice is made.
constexpr std::array<TAlgorithmName, 5> kAlgorithms{{
    {TTransferCheck::Sha256, "SHA-256", "XSHA256", 64},
    {TTransferCheck::Sha512, "SHA-512", "XSHA512", 128},
    {TTransferCheck::Sha1, "SHA-1", "XSHA1", 40},
    {TTransferCheck::Md5, "MD5", "XMD5", 32},
    {TTransferCheck::Crc32, "CRC32", "XCRC", 8},
}};

const TAlgorithmName* Named(TTransferCheck algorithm)
{
    const auto it = std::find_if(kAlgorithms.begin(), kAlgorithms.end(),
                                 [&](const TAlgorithmName& a) { return a.Algorithm == algorithm; });
    return it == kAlgorithms.end() ? nullptr : &*it;
}

int Rank(TTransferCheck algorithm)
{
    const TAlgorithmName* named = Named(algorithm);
    return named ? int(named - kAlgorithms.data()) : int(kAlgorithms.size());
}

TTransferCheck AlgorithmNamed(QStringView name)
{
    for (const TAlgorithmName& a : kAlgorithms)
        if (name.compare(QLatin1String(a.HashName), Qt::CaseInsensitive) == 0)
            return a.Algorithm;
    return TTransferCheck::None;
}

bool IsHex(QStringView text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) { return isxdigit(c.unicode()) && c.unicode() < 128; });
}

// The words of a reply after its code.
QStringList WordsOf(const QString& reply) { return reply.trimmed().mid(4).split(u' ', Qt::SkipEmptyParts); }

// The feature lines (those that start with a space), each without it.
QStringList FeatureLines(const QStringList& featLines)
{
    QStringList lines;
    for (const QString& line : featLines)
        if (line.startsWith(u' '))
            lines << line.trimmed();
    return lines;
}

std::array<quint32, 256> MakeCrcTable()
{
    std::array<quint32, 256> table{};
    for (quint32 n = 0; n < 256; ++n) {
        quint32 c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

const std::array<quint32, 256> kCrcTable = MakeCrcTable();

QCryptographicHash::Algorithm QtAlgorithm(TTransferCheck algorithm)
{
    switch (algorithm) {
    case TTransferCheck::Md5: return QCryptographicHash::Md5;
    case TTransferCheck::Sha1: return QCryptographicHash::Sha1;
    case TTransferCheck::Sha512: return QCryptographicHash::Sha512;
    default: return QCryptographicHash::Sha256;
    }
}

} // namespace

QString CheckText(TTransferCheck check)
{
    if (check == TTransferCheck::None)
        return QStringLiteral("not checked");
    if (check == TTransferCheck::Size)
        return QStringLiteral("size checked");
    return HashName(check) + QStringLiteral(" verified");
}

QString HashName(TTransferCheck algorithm)
{
    const TAlgorithmName* named = Named(algorithm);
    return named ? QLatin1String(named->HashName) : QString();
}

std::optional<THashFeature> HashFeatureOf(const QStringList& featLines)
{
    for (const QString& line : FeatureLines(featLines)) {
        const QString word = line.section(u' ', 0, 0);
        if (word.compare(QLatin1String("HASH"), Qt::CaseInsensitive) != 0)
            continue;
        THashFeature feature;
        for (QString name : line.section(u' ', 1).split(u';', Qt::SkipEmptyParts)) {
            name = name.trimmed();
            const bool selected = name.endsWith(u'*');
            if (selected)
                name.chop(1);
            const TTransferCheck algorithm = AlgorithmNamed(name);
            if (algorithm == TTransferCheck::None)
                continue;
            feature.Algorithms.push_back(algorithm);
            if (selected)
                feature.Selected = algorithm;
        }
        std::sort(feature.Algorithms.begin(), feature.Algorithms.end(),
                  [](TTransferCheck a, TTransferCheck b) { return Rank(a) < Rank(b); });
        return feature;
    }
    return std::nullopt;
}

std::vector<THashCommand> ListedXCommands(const QStringList& featLines)
{
    const QStringList lines = FeatureLines(featLines);
    std::vector<THashCommand> commands;
    for (const TAlgorithmName& a : kAlgorithms)
        if (std::any_of(lines.begin(), lines.end(), [&](const QString& line) {
                return line.section(u' ', 0, 0).compare(QLatin1String(a.XVerb), Qt::CaseInsensitive) == 0;
            }))
            commands.push_back({a.Algorithm, QLatin1String(a.XVerb)});
    return commands;
}

std::optional<QByteArray> DigestOfHashReply(const QString& reply, TTransferCheck algorithm)
{
    const QStringList words = WordsOf(reply);
    if (words.size() < 3 || AlgorithmNamed(words[0]) != algorithm || !IsHex(words[2]))
        return std::nullopt;
    return words[2].toLatin1().toLower();
}

std::optional<QByteArray> DigestOfXReply(const QString& reply, TTransferCheck algorithm)
{
    const TAlgorithmName* named = Named(algorithm);
    if (!named)
        return std::nullopt;
    // The digest is the word of its length; a name beside it may be anything.
    // CRC-32 is a number, which some servers write without its leading zeros.
    const QStringList words = WordsOf(reply);
    for (auto it = words.rbegin(); it != words.rend(); ++it) {
        const bool fits = algorithm == TTransferCheck::Crc32 ? it->size() <= named->HexLength
                                                             : it->size() == named->HexLength;
        if (fits && IsHex(*it))
            return it->rightJustified(named->HexLength, u'0').toLatin1().toLower();
    }
    return std::nullopt;
}

// ---------------------------------------------------------------- TStreamDigest

TStreamDigest::TStreamDigest(TTransferCheck algorithm) : m_algorithm(algorithm)
{
    if (algorithm != TTransferCheck::Crc32)
        m_hash = std::make_unique<QCryptographicHash>(QtAlgorithm(algorithm));
}

void TStreamDigest::Add(const char* data, qint64 count)
{
    if (m_hash) {
        m_hash->addData(QByteArrayView(data, count));
        return;
    }
    quint32 c = m_crc;
    for (qint64 i = 0; i < count; ++i)
        c = kCrcTable[(c ^ quint8(data[i])) & 0xFFu] ^ (c >> 8);
    m_crc = c;
}

bool TStreamDigest::AddFilePrefix(const QString& path, qint64 count)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QByteArray block(1 << 20, Qt::Uninitialized);
    while (count > 0) {
        const qint64 got = file.read(block.data(), qMin<qint64>(block.size(), count));
        if (got <= 0)
            return false;
        Add(block.constData(), got);
        count -= got;
    }
    return true;
}

QByteArray TStreamDigest::HexResult() const
{
    if (m_hash)
        return m_hash->result().toHex();
    return QByteArray::number(m_crc ^ 0xFFFFFFFFu, 16).rightJustified(8, '0');
}
