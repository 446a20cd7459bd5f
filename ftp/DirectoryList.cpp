#include "ftp/DirectoryList.h"

#include <utility>

int VendorFromSystReply(const QString& reply)
{
    static const std::pair<const char*, int> words[] = {
        {"UNIX", FTPVendorUnix}, {"NETWARE", FTPVendorNetware}, {"DOS", FTPVendorDos},
        {"VMS", FTPVendorVMS},   {"MVS", FTPVendorMVS},         {"VM", FTPVendorVM},
        {"MACOS", FTPVendorMacOS}, {"OS/400", FTPVendorOS400},
    };
    for (const auto& [word, vendor] : words)
        if (reply.contains(QLatin1String(word), Qt::CaseSensitive))
            return vendor;
    return FTPVendorOther;
}

QByteArrayView TTextList::Bytes(qsizetype i) const
{
    const qsizetype begin = i == 0 ? 0 : m_ends[size_t(i - 1)];
    return QByteArrayView(m_text).sliced(begin, m_ends[size_t(i)] - begin);
}

qsizetype TTextList::indexOf(const QString& text) const
{
    const QByteArray wanted = text.toUtf8();
    for (qsizetype i = 0; i < size(); ++i)
        if (Bytes(i) == wanted)
            return i;
    return -1;
}

QString TTextList::join(const QString& separator) const
{
    return toList().join(separator);
}

QStringList TTextList::toList() const
{
    QStringList list;
    list.reserve(size());
    for (qsizetype i = 0; i < size(); ++i)
        list << at(i);
    return list;
}

TTextList TTextList::mid(qsizetype first) const
{
    TTextList tail;
    first = qBound<qsizetype>(0, first, size());
    if (first == size())
        return tail;
    const qsizetype begin = first == 0 ? 0 : m_ends[size_t(first - 1)];
    tail.m_text = m_text.sliced(begin);
    tail.m_ends.reserve(m_ends.size() - size_t(first));
    for (size_t i = size_t(first); i < m_ends.size(); ++i)
        tail.m_ends.push_back(m_ends[i] - begin);
    return tail;
}

void TTextList::append(const QString& text)
{
    m_text += text.toUtf8();
    m_ends.push_back(m_text.size());
}

void TTextList::clear()
{
    m_text = QByteArray();
    m_ends = std::vector<qsizetype>();
}

bool operator==(const TTextList& a, const QStringList& b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (a.at(i) != b[i])
            return false;
    return true;
}

bool operator==(const TTextList& a, const TTextList& b)
{
    return a.m_ends == b.m_ends && a.m_text == b.m_text;
}

void TFTPDirectoryList::ParseLine(const QString& Line)
{
    int k = 1;
    Columns[1].clear();
    const qsizetype n = Line.size();
    for (qsizetype i = 0; i < n;) {
        if (Line[i] != u' ') {
            if (Columns[k].size() < MaxColumnLength)
                Columns[k].append(Line[i]);
            ++i;
            continue;
        }
        while (i < n && Line[i] == u' ')
            ++i;
        if (k < MaxColumns) {
            ++k;
            Columns[k].clear();
        } else if (i < n && Columns[k].size() < MaxColumnLength) {
            Columns[k].append(u' ');
        }
    }
    ColumnCount = k;
}

void TFTPDirectoryList::Clear()
{
    Rights.clear();
    Names.clear();
    ModifiedDates.clear();
    Sizes.clear();
}

void TFTPUnixList::ParseLine(const QString& Line)
{
    TFTPDirectoryList::ParseLine(Line);
    const int n = ColumnCount;
    if (n <= 7)
        return;
    Names.append(Columns[n]);
    Sizes.append(Columns[n - 4]);
    ModifiedDates.append((Columns[n - 3] + u' ' + Columns[n - 2] + u' ' + Columns[n - 1]).left(MaxColumnLength));
    Rights.append(Columns[1]);
}

std::unique_ptr<TFTPDirectoryList> MakeDirectoryList(int vendor)
{
    if (vendor == FTPVendorUnknown)
        return nullptr;
    return std::make_unique<TFTPUnixList>();
}
