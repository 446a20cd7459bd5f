#include "app/RemoteAddress.h"
#include "ftp/FTPTypes.h"

#include <QHostAddress>
#include <QStringList>
#include <QUrl>

namespace {

QString Encoded(const QString& part)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(part));
}

QString HostText(const QString& host)
{
    if (QHostAddress(host).protocol() != QAbstractSocket::IPv6Protocol)
        return host;
    // A zone's "%" would read as an escape.
    return u'[' + QString(host).replace(u'%', QStringLiteral("%25")) + u']';
}

// The path as the address's folder: relative to the login folder, else from the root.
QString PathText(const QString& loginFolder, const QString& path)
{
    const QString base = loginFolder.endsWith(u'/') ? loginFolder : loginFolder + u'/';
    const bool inside = path.startsWith(base);
    QStringList parts;
    for (const QString& name : (inside ? path.mid(base.size()) : path).split(u'/', Qt::SkipEmptyParts))
        parts << Encoded(name);
    return (inside ? QString() : QStringLiteral("%2F")) + parts.join(u'/');
}

} // namespace

QString RemoteEntryAddress(const TAddressOrigin& origin, const QString& path)
{
    const int defaultPort = origin.ImplicitTls ? DefaultImplicitTlsPort : 21;
    const bool anonymous = origin.User.isEmpty() || origin.User.compare(u"anonymous", Qt::CaseInsensitive) == 0;
    QString address = origin.ImplicitTls ? QStringLiteral("ftps://") : QStringLiteral("ftp://");
    if (!anonymous)
        address += Encoded(origin.User) + u'@';
    address += HostText(origin.Host);
    if (origin.Port != defaultPort)
        address += u':' + QString::number(origin.Port);
    return address + u'/' + PathText(origin.LoginFolder, path);
}
