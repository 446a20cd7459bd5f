#include "app/LaunchAddress.h"

namespace {
int DefaultPort(const TFtpAddress& address)
{
    return address.ImplicitTls ? DefaultImplicitTlsPort : DefaultFtpPort;
}

// A saved host name may still hold "host:port" (a file edited by hand).
bool SameServer(const THostEntry& saved, const QString& host, int port, const QString& user)
{
    const TFtpAddress savedAddress = ParseFtpAddress(saved.Hostname);
    if (!savedAddress.Valid())
        return false;
    return savedAddress.Host.compare(host, Qt::CaseInsensitive) == 0
           && savedAddress.Port.value_or(saved.Port) == port && saved.Username == user;
}
} // namespace

TLaunchTarget LaunchTarget(const TFtpAddress& address, const std::vector<THostEntry>& saved,
                           const std::function<QString()>& anonymousPassword)
{
    TLaunchTarget target;
    THostEntry& host = target.Host;
    host.Hostname = address.Host;
    host.Port = address.Port.value_or(DefaultPort(address));
    host.Username = address.User.value_or(DefaultUserName);
    host.RemoteDir = address.Folder.value_or(QString());
    for (std::size_t i = 0; i < saved.size() && !target.SavedHost; ++i) {
        if (!SameServer(saved[i], host.Hostname, host.Port, host.Username))
            continue;
        target.SavedHost = i;
        host.Description = saved[i].Description;
        host.LocalDir = saved[i].LocalDir;
        host.Passive = saved[i].Passive;
        host.Encoding = saved[i].Encoding;
        host.Security = saved[i].Security;
        host.TemporaryUploadNames = saved[i].TemporaryUploadNames;
        host.KeepModificationTimes = saved[i].KeepModificationTimes;
        host.Password = saved[i].Password;
    }
    if (address.ImplicitTls)
        host.Security = TSecurity::ImplicitTls;
    // "ftp://anonymous@host" is no reason to ask for a password.
    const bool anonymous = host.Username.compare(DefaultUserName, Qt::CaseInsensitive) == 0;
    if (address.Password)
        host.Password = *address.Password;
    else if (anonymous && !target.SavedHost)
        host.Password = anonymousPassword ? anonymousPassword() : QString();
    target.AskPassword = !anonymous && !address.Password && host.Password.isEmpty();
    return target;
}

QString MaskedAddress(const QString& text)
{
    const qsizetype scheme = text.indexOf(QStringLiteral("://"));
    if (scheme < 0)
        return text;
    const qsizetype start = scheme + 3;
    const qsizetype slash = text.indexOf(u'/', start);
    const qsizetype at = text.lastIndexOf(u'@', slash < 0 ? -1 : slash);
    if (at < start)
        return text;
    const qsizetype colon = text.indexOf(u':', start);
    if (colon < 0 || colon > at)
        return text;
    return text.left(colon + 1) + QStringLiteral("****") + text.mid(at);
}

QString LaunchErrorText(const QString& text, const QString& reason)
{
    return QStringLiteral("The address \"%1\" cannot be opened: %2").arg(MaskedAddress(text.trimmed()), reason);
}
