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
