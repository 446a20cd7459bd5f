#include "app/HostsFile.h"
#include "app/AppInfo.h"
#include "app/IniFile.h"
#include "ftp/WireText.h"
#include "net/Exception.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QHostInfo>
#include <cerrno>
#include <unistd.h>

namespace {
const QString EndMarker = QStringLiteral("*");
const QString PortKey = QStringLiteral("Port");
const QString TransferModeKey = QStringLiteral("TransferMode");
const QString ActiveMode = QStringLiteral("active");
const QString EncodingKey = QStringLiteral("Encoding");
const QString SecurityKey = QStringLiteral("Security");
const QString UploadNamesKey = QStringLiteral("UploadNames");
const QString FinalNames = QStringLiteral("final");
const QString TimesKey = QStringLiteral("ModificationTimes");
const QString IgnoreTimes = QStringLiteral("ignore");
const std::pair<TSecurity, QString> SecurityTexts[] = {
    {TSecurity::TlsIfAvailable, QStringLiteral("tls-if-available")},
    {TSecurity::RequireTls, QStringLiteral("require-tls")},
    {TSecurity::ImplicitTls, QStringLiteral("implicit-tls")},
    {TSecurity::PlainFtp, QStringLiteral("plain")},
};

QString SectionName(std::size_t position)
{
    return QStringLiteral("Host") + QString::number(position + 1);
}

// A value no version wrote (a hand edit) reads as the default.
int ReadPort(const TIniFile& ini, const QString& section)
{
    bool ok = false;
    const int port = ini.ReadString(section, PortKey, QString()).toInt(&ok);
    return ok && port >= 1 && port <= 65535 ? port : DefaultFtpPort;
}

// Whether key holds the one word that turns a setting away from its default;
// anything else keeps the default, the safer choice.
bool Holds(const TIniFile& ini, const QString& section, const QString& key, const QString& word)
{
    return ini.ReadString(section, key, QString()).trimmed().compare(word, Qt::CaseInsensitive) == 0;
}

TIniSection Section(std::size_t position, const THostEntry& host)
{
    TIniSection section{SectionName(position),
                        {{QStringLiteral("Hostname"), host.Hostname},
                         {QStringLiteral("Description"), host.Description},
                         {QStringLiteral("Username"), host.Username},
                         {QStringLiteral("Password"), host.Password},
                         {QStringLiteral("LocalDir"), host.LocalDir},
                         {QStringLiteral("RemoteDir"), host.RemoteDir}}};
    if (host.Port != DefaultFtpPort)
        section.Values.append({PortKey, QString::number(host.Port)});
    if (!host.Passive)
        section.Values.append({TransferModeKey, ActiveMode});
    if (!host.Encoding.isEmpty())
        section.Values.append({EncodingKey, host.Encoding});
    if (host.Security != TSecurity::TlsIfAvailable)
        section.Values.append({SecurityKey, SecurityText(host.Security)});
    if (!host.TemporaryUploadNames)
        section.Values.append({UploadNamesKey, FinalNames});
    if (!host.KeepModificationTimes)
        section.Values.append({TimesKey, IgnoreTimes});
    return section;
}

Exception WriteFailure(const QString& fileName)
{
    return Exception(QStringLiteral("Unable to write to %1").arg(fileName));
}

std::vector<THostEntry> ReadHosts(const TIniFile& ini, const THostDefaults& defaults, QStringList& unknownSecurity)
{
    std::vector<THostEntry> hosts;
    for (;;) {
        const QString section = SectionName(hosts.size());
        const QString hostname = ini.ReadString(section, QStringLiteral("Hostname"), EndMarker);
        if (hostname == EndMarker)
            break;
        const std::optional<QString> password = ini.Read(section, QStringLiteral("Password"));
        bool unknown = false;
        const TSecurity security = SecurityFromText(ini.ReadString(section, SecurityKey, QString()), &unknown);
        if (unknown)
            unknownSecurity << hostname;
        hosts.push_back({
            .Hostname = hostname,
            .Description = ini.ReadString(section, QStringLiteral("Description"), DefaultHostDescription),
            .Username = ini.ReadString(section, QStringLiteral("Username"), DefaultUserName),
            .Password = password ? *password : (defaults.Password ? defaults.Password() : QString()),
            .LocalDir = ini.ReadString(section, QStringLiteral("LocalDir"), defaults.LocalDir),
            .RemoteDir = ini.ReadString(section, QStringLiteral("RemoteDir"), QString()),
            .Port = ReadPort(ini, section),
            .Passive = !Holds(ini, section, TransferModeKey, ActiveMode),
            .Encoding = KnownEncoding(ini.ReadString(section, EncodingKey, QString())),
            .Security = security,
            .TemporaryUploadNames = !Holds(ini, section, UploadNamesKey, FinalNames),
            .KeepModificationTimes = !Holds(ini, section, TimesKey, IgnoreTimes),
        });
    }
    return hosts;
}

THostsFileStatus StatusOf(const TIniFile& ini, const std::vector<THostEntry>& hosts)
{
    if (ini.State() == TIniFile::TState::Unreadable)
        return THostsFileStatus::Unreadable;
    if (!hosts.empty())
        return THostsFileStatus::Hosts;
    return ini.State() == TIniFile::TState::Missing || ini.Blank() ? THostsFileStatus::Absent
                                                                   : THostsFileStatus::NoHosts;
}

// A second name for the old file, taken only when free. A hard link keeps it
// without reading or copying; a copy serves where links are not supported.
QString KeepAside(const QString& fileName)
{
    for (int n = 0; n < 1000; ++n) {
        const QString kept = n == 0 ? fileName + QStringLiteral(".bak")
                                    : QStringLiteral("%1.%2.bak").arg(fileName).arg(n);
        if (::link(QFile::encodeName(fileName).constData(), QFile::encodeName(kept).constData()) == 0)
            return kept;
        if (errno == EEXIST)
            continue;
        if (!QFileInfo::exists(kept) && QFile::copy(fileName, kept))
            return kept;
        break;
    }
    throw Exception(QStringLiteral("Unable to write to %1: no host could be read from it, and it could not be kept "
                                   "under another name before being replaced.")
                        .arg(fileName));
}
}

QString KnownEncoding(const QString& setting)
{
    for (const QString& known : QStringList{Utf8Encoding} + LegacyEncodings())
        if (setting.trimmed().compare(known, Qt::CaseInsensitive) == 0)
            return known;
    return {};
}

QString SecurityText(TSecurity security)
{
    for (const auto& [value, text] : SecurityTexts)
        if (value == security)
            return text;
    return SecurityText(TSecurity::TlsIfAvailable);
}

TSecurity SecurityFromText(const QString& text, bool* unknown)
{
    if (unknown)
        *unknown = false;
    // No word at all: a host saved before the setting existed, which has the default.
    if (text.trimmed().isEmpty())
        return TSecurity::TlsIfAvailable;
    for (const auto& [value, known] : SecurityTexts)
        if (text.trimmed().compare(known, Qt::CaseInsensitive) == 0)
            return value;
    // A word no version wrote (a typo, a newer version's): never weaker than the user may have meant.
    if (unknown)
        *unknown = true;
    return TSecurity::RequireTls;
}

QString ClientNameEncoding(const QString& setting)
{
    return setting == Utf8Encoding ? QString() : setting;
}

QString HostsFileName(const QString& executablePath, const QString& configFolder)
{
    const int slash = executablePath.lastIndexOf(QLatin1Char('/'));
    const int dot = executablePath.lastIndexOf(QLatin1Char('.'));
    const QString stem = dot > slash ? executablePath.left(dot) : executablePath;
    const QString besideProgram = stem + QStringLiteral(".vth");
    const QFileInfo folder(executablePath.left(slash + 1));
    const bool folderWritable = folder.isDir() && folder.isWritable();
    const QFileInfo existing(besideProgram);
    if (folderWritable && existing.isFile() && existing.isWritable())
        return besideProgram;
    if (folderWritable && !ProgramInstalled(executablePath))
        return besideProgram;
    return configFolder + QLatin1Char('/') + existing.fileName();
}

QString GetLocalIP()
{
    const QList<QHostAddress> addresses = QHostInfo::fromName(QHostInfo::localHostName()).addresses();
    for (auto it = addresses.crbegin(); it != addresses.crend(); ++it)
        if (it->protocol() == QAbstractSocket::IPv4Protocol)
            return it->toString();
    return {};
}

THostsFileContents LoadHostsFile(const QString& fileName, const THostDefaults& defaults)
{
    const TIniFile ini(fileName);
    QStringList unknownSecurity;
    THostsFileContents contents{.Hosts = ReadHosts(ini, defaults, unknownSecurity), .Problem = ini.Problem(), .Notice = {}};
    contents.Status = StatusOf(ini, contents.Hosts);
    if (!unknownSecurity.isEmpty())
        contents.Notice = QStringLiteral("The security setting of %1 in the hosts file %2 is not one this version "
                                         "knows, so it is taken as \"Require TLS\". Edit the host to choose another.")
                              .arg(unknownSecurity.join(QStringLiteral(", ")), fileName);
    return contents;
}

std::vector<THostEntry> ReadHostsFile(const QString& fileName, const THostDefaults& defaults)
{
    return LoadHostsFile(fileName, defaults).Hosts;
}

void WriteHostsFile(const QString& fileName, const std::vector<THostEntry>& hosts)
{
    if (hosts.empty()) {
        if (QFile::exists(fileName) && !QFile::remove(fileName))
            throw WriteFailure(fileName);
        return;
    }
    QList<TIniSection> sections;
    for (std::size_t i = 0; i < hosts.size(); ++i)
        sections.append(Section(i, hosts[i]));
    if (!WriteIniFile(fileName, sections))
        throw WriteFailure(fileName);
}

QString SaveHostsFile(const QString& fileName, THostsFileStatus& status, const std::vector<THostEntry>& hosts)
{
    if (status == THostsFileStatus::Unreadable)
        throw Exception(QStringLiteral("Unable to write to %1: it could not be read at start, so it is left as it is.")
                            .arg(fileName));
    if (status == THostsFileStatus::NoHosts && hosts.empty())
        return {};
    QString kept;
    if (status == THostsFileStatus::NoHosts)
        kept = KeepAside(fileName);
    try {
        WriteHostsFile(fileName, hosts);
    } catch (...) {
        // The old file is still in its place: the second name is not needed.
        if (!kept.isEmpty())
            QFile::remove(kept);
        throw;
    }
    status = hosts.empty() ? THostsFileStatus::Absent : THostsFileStatus::Hosts;
    return kept;
}
