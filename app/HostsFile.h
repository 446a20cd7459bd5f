#pragma once
// The hosts file: one "Host<n>" section per saved FTP host, numbered from 1
// without gaps, each with the keys Hostname, Description, Username, Password,
// LocalDir and RemoteDir in that order.
#include <QString>
#include <functional>
#include <vector>

struct THostEntry {
    QString Hostname;
    QString Description;
    QString Username;
    QString Password;
    QString LocalDir;
    QString RemoteDir;
    bool operator==(const THostEntry&) const = default;
};

// Values for keys missing from a section. The password default is asked for
// only when needed, since it costs a name look-up.
struct THostDefaults {
    QString LocalDir;
    std::function<QString()> Password;
};

inline const QString DefaultHostDescription = QStringLiteral("Vantle-FTP host");
inline const QString DefaultUserName = QStringLiteral("anonymous");

// The executable's path with its extension replaced by ".vth". When the
// executable's folder cannot be written (an installed program), the same file
// name inside `configFolder` instead.
QString HostsFileName(const QString& executablePath, const QString& configFolder);

// The local host's last IPv4 address in dotted form; empty when the look-up fails.
QString GetLocalIP();

// True when the file is there but cannot be read (another owner, no permission):
// it then reads as empty, and saving that empty list must not replace it.
bool HostsFileUnreadable(const QString& fileName);

// Reads entries from Host1 on until a section has no Hostname or the Hostname "*".
std::vector<THostEntry> ReadHostsFile(const QString& fileName, const THostDefaults& defaults);

// Rewrites the file from the entries, or deletes it when there are none.
// Throws Exception("Unable to write to <file>") and keeps the old file on failure.
void WriteHostsFile(const QString& fileName, const std::vector<THostEntry>& hosts);
