#pragma once
// The hosts file: one "Host<n>" section per saved FTP host, numbered from 1
// without gaps, each with the keys Hostname, Description, Username, Password,
// LocalDir and RemoteDir in that order, then Port, TransferMode ("passive"
// or "active"), Encoding, Security, UploadNames ("final") and
// ModificationTimes ("ignore") when they differ from port 21, passive,
// automatic, TLS if available, temporary upload names and kept times: so a
// file of hosts that use none of them stays as older versions wrote and read it.
#include "ftp/FTPTypes.h"
#include <QString>
#include <functional>
#include <vector>

inline constexpr int DefaultFtpPort = 21;

struct THostEntry {
    QString Hostname;
    QString Description;
    QString Username;
    QString Password;
    QString LocalDir;
    QString RemoteDir;
    int Port = DefaultFtpPort;
    bool Passive = true; // data connections: passive, or active ("PORT")
    QString Encoding = {}; // of names: "" automatic, Utf8Encoding, or one of LegacyEncodings()
    TSecurity Security = TSecurity::TlsIfAvailable;
    // Uploads go to a temporary name and replace the target only when complete;
    // off for servers that need the final name from the first byte.
    bool TemporaryUploadNames = true;
    // Transferred files keep the source's modification time.
    bool KeepModificationTimes = true;
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
inline const QString Utf8Encoding = QStringLiteral("UTF-8");

// A host's encoding setting as this program names it ("iso-8859-1" -> "ISO-8859-1");
// anything it does not know is automatic.
QString KnownEncoding(const QString& setting);
// The encoding the FTP client speaks for a host's setting: automatic and UTF-8 are
// both UTF-8, the client's empty default.
QString ClientNameEncoding(const QString& setting);

// A security setting as the hosts file writes it ("require-tls"), and back. No
// value reads as the default, TLS if available; a value no version wrote reads
// as Require TLS, never as a weaker setting, and sets *unknown.
QString SecurityText(TSecurity security);
TSecurity SecurityFromText(const QString& text, bool* unknown = nullptr);

// Where the hosts file is: the executable's path with its extension replaced by
// ".vth", beside the program, when a hosts file is there and can be replaced (its
// folder can be written), or when the program's folder can be written and the
// program is not installed. Installed means that the program's folder is named
// "bin" (/usr/bin, /usr/local/bin, ~/bin): no place for a user's file, even for
// root, who may write there. Otherwise the same file name inside `configFolder`,
// the user's configuration folder ($XDG_CONFIG_HOME/Ferrit).
QString HostsFileName(const QString& executablePath, const QString& configFolder);

// The local host's last IPv4 address in dotted form; empty when the look-up fails.
QString GetLocalIP();

// What start-up found in the hosts file's place; it decides what saving may do
// to the file, so that no hosts file is ever lost.
enum class THostsFileStatus {
    Absent,     // missing, or nothing but blanks: written freely
    Hosts,      // hosts were read: rewritten, or deleted for an empty list
    NoHosts,    // a file without a host this program can read (another format, a first
                // section without "Hostname"): never deleted, kept aside before it is replaced
    Unreadable, // there but not read (no permission, not a regular file, too large): never replaced
};

struct THostsFileContents {
    std::vector<THostEntry> Hosts;
    THostsFileStatus Status = THostsFileStatus::Absent;
    QString Problem; // for Unreadable: why, in words for the user
    QString Notice;  // read, but with settings taken otherwise than written: for the user, once
};

// Reads entries from Host1 on until a section has no Hostname or the Hostname "*".
THostsFileContents LoadHostsFile(const QString& fileName, const THostDefaults& defaults);
std::vector<THostEntry> ReadHostsFile(const QString& fileName, const THostDefaults& defaults);

// Rewrites the file from the entries, or deletes it when there are none.
// Throws Exception("Unable to write to <file>") and keeps the old file on failure.
void WriteHostsFile(const QString& fileName, const std::vector<THostEntry>& hosts);

// Writes the list over a file that LoadHostsFile found in `status`, as that status
// allows, and updates `status` to what the file then is. An unreadable file is never
// replaced (throws); a file without readable hosts is left alone for an empty list and
// otherwise first kept beside it under a new name, which is returned (empty when
// nothing was kept). Throws Exception on failure, with the old file where it was.
QString SaveHostsFile(const QString& fileName, THostsFileStatus& status, const std::vector<THostEntry>& hosts);
