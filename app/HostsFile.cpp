#include "app/HostsFile.h"
#include "app/IniFile.h"
#include "net/Exception.h"
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QHostInfo>

namespace {
const QString EndMarker = QStringLiteral("*");

QString SectionName(std::size_t position)
{
    return QStringLiteral("Host") + QString::number(position + 1);
}
}

QString HostsFileName(const QString& executablePath, const QString& configFolder)
{
    const int slash = executablePath.lastIndexOf(QLatin1Char('/'));
    const int dot = executablePath.lastIndexOf(QLatin1Char('.'));
    const QString stem = dot > slash ? executablePath.left(dot) : executablePath;
    const QString besideProgram = stem + QStringLiteral(".vth");
    const QFileInfo folder(executablePath.left(slash + 1));
    if (folder.isDir() && folder.isWritable())
        return besideProgram;
    return configFolder + QLatin1Char('/') + QFileInfo(besideProgram).fileName();
}

QString GetLocalIP()
{
    const QList<QHostAddress> addresses = QHostInfo::fromName(QHostInfo::localHostName()).addresses();
    for (auto it = addresses.crbegin(); it != addresses.crend(); ++it)
        if (it->protocol() == QAbstractSocket::IPv4Protocol)
            return it->toString();
    return {};
}

bool HostsFileUnreadable(const QString& fileName)
{
    QFile file(fileName);
    return file.exists() && !file.open(QIODevice::ReadOnly);
}

std::vector<THostEntry> ReadHostsFile(const QString& fileName, const THostDefaults& defaults)
{
    const TIniFile ini(fileName);
    std::vector<THostEntry> hosts;
    for (;;) {
        const QString section = SectionName(hosts.size());
        const QString hostname = ini.ReadString(section, QStringLiteral("Hostname"), EndMarker);
        if (hostname == EndMarker)
            break;
        const std::optional<QString> password = ini.Read(section, QStringLiteral("Password"));
        hosts.push_back({
            .Hostname = hostname,
            .Description = ini.ReadString(section, QStringLiteral("Description"), DefaultHostDescription),
            .Username = ini.ReadString(section, QStringLiteral("Username"), DefaultUserName),
            .Password = password ? *password : (defaults.Password ? defaults.Password() : QString()),
            .LocalDir = ini.ReadString(section, QStringLiteral("LocalDir"), defaults.LocalDir),
            .RemoteDir = ini.ReadString(section, QStringLiteral("RemoteDir"), QString()),
        });
    }
    return hosts;
}

void WriteHostsFile(const QString& fileName, const std::vector<THostEntry>& hosts)
{
    const auto failed = [&] { return Exception(QStringLiteral("Unable to write to %1").arg(fileName)); };
    if (hosts.empty()) {
        if (QFile::exists(fileName) && !QFile::remove(fileName))
            throw failed();
        return;
    }
    QList<TIniSection> sections;
    for (std::size_t i = 0; i < hosts.size(); ++i) {
        const THostEntry& host = hosts[i];
        sections.append({SectionName(i),
                         {{QStringLiteral("Hostname"), host.Hostname},
                          {QStringLiteral("Description"), host.Description},
                          {QStringLiteral("Username"), host.Username},
                          {QStringLiteral("Password"), host.Password},
                          {QStringLiteral("LocalDir"), host.LocalDir},
                          {QStringLiteral("RemoteDir"), host.RemoteDir}}});
    }
    if (!WriteIniFile(fileName, sections))
        throw failed();
}
