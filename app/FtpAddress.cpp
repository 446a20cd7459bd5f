#include "app/FtpAddress.h"
#include <QByteArray>
#include <QHostAddress>
#include <algorithm>

namespace {
const QString Scheme = QStringLiteral("ftp://");
const QString SecureScheme = QStringLiteral("ftps://");

struct THostPort {
    QString Host = {};
    std::optional<int> Port = {};
    QString Error = {};
};

THostPort Failed(const QString& error)
{
    return {.Error = error};
}

QString Decoded(const QString& text)
{
    return QString::fromUtf8(QByteArray::fromPercentEncoding(text.toUtf8()));
}

bool IsControl(QChar c)
{
    return c.unicode() < 0x20 || c.unicode() == 0x7f;
}

// A line break or NUL would end the FTP command that carries the text.
bool HasControlCharacter(const QString& text)
{
    return std::any_of(text.begin(), text.end(), IsControl);
}

std::optional<int> PortNumber(const QString& text)
{
    if (text.size() > 5)
        return std::nullopt;
    for (const QChar c : text)
        if (c < u'0' || c > u'9')
            return std::nullopt;
    const int port = text.toInt();
    if (port < 1 || port > 65535)
        return std::nullopt;
    return port;
}

bool IsIPv6(const QString& text)
{
    return QHostAddress(text).protocol() == QAbstractSocket::IPv6Protocol;
}

THostPort WithPort(const QString& host, const QString& portText)
{
    if (portText.isEmpty())
        return Failed(QStringLiteral("The port after \":\" is missing."));
    const std::optional<int> port = PortNumber(portText);
    if (!port)
        return Failed(QStringLiteral("The port \"%1\" is not a number from 1 to 65535.").arg(portText));
    return {.Host = host, .Port = port};
}

THostPort BracketedHostPort(const QString& text, bool inUrl)
{
    const qsizetype close = text.indexOf(u']');
    if (close < 0)
        return Failed(QStringLiteral("The \"[\" before the IPv6 address has no \"]\" after it."));
    // A zone ("%eth0") is written "%25eth0" inside an ftp:// address.
    const QString address = inUrl ? Decoded(text.mid(1, close - 1)) : text.mid(1, close - 1);
    if (!IsIPv6(address))
        return Failed(QStringLiteral("\"%1\" between \"[\" and \"]\" is not an IPv6 address.").arg(address));
    const QString rest = text.mid(close + 1);
    if (rest.isEmpty())
        return {.Host = address};
    if (!rest.startsWith(u':'))
        return Failed(QStringLiteral("Only \":\" and a port may follow the \"]\" of an IPv6 address."));
    return WithPort(address, rest.mid(1));
}

THostPort SplitHostPort(const QString& text, bool inUrl)
{
    if (text.startsWith(u'['))
        return BracketedHostPort(text, inUrl);
    const qsizetype colons = text.count(u':');
    if (colons > 1) {
        if (!IsIPv6(text))
            return Failed(QStringLiteral("\"%1\" is not an IPv6 address. To give a port with an IPv6 address, "
                                         "put the address in brackets: [address]:port.")
                              .arg(text));
        return {.Host = text};
    }
    if (colons == 1) {
        const qsizetype colon = text.indexOf(u':');
        return WithPort(text.left(colon), text.mid(colon + 1));
    }
    return {.Host = text};
}

QString HostProblem(const QString& host)
{
    if (host.isEmpty())
        return QStringLiteral("The host name is missing.");
    if (std::any_of(host.begin(), host.end(), [](QChar c) { return c.isSpace() || IsControl(c); }))
        return QStringLiteral("A host name cannot hold blanks or line breaks.");
    return {};
}

TFtpAddress FromHostPort(const QString& text, bool inUrl)
{
    const THostPort parts = SplitHostPort(text, inUrl);
    TFtpAddress address{.Host = parts.Host, .Port = parts.Port, .Error = parts.Error};
    if (address.Valid())
        address.Error = HostProblem(address.Host);
    return address;
}

TFtpAddress ParseUrl(const QString& rest)
{
    const qsizetype slash = rest.indexOf(u'/');
    const QString authority = slash < 0 ? rest : rest.left(slash);
    // The host cannot hold "@", so the last one ends the user part even when a
    // password holds an "@" that was not percent-encoded.
    const qsizetype at = authority.lastIndexOf(u'@');
    TFtpAddress address = FromHostPort(authority.mid(at + 1), true);
    if (!address.Valid())
        return address;
    if (at >= 0) {
        const QString userInfo = authority.left(at);
        const qsizetype colon = userInfo.indexOf(u':');
        address.User = Decoded(userInfo.left(colon));
        if (colon >= 0)
            address.Password = Decoded(userInfo.mid(colon + 1));
        if (address.User->isEmpty())
            return {.Error = QStringLiteral("The user name before \"@\" is missing.")};
    }
    if (slash >= 0) {
        QString path = rest.mid(slash + 1);
        while (path.endsWith(u'/'))
            path.chop(1);
        address.Folder = Decoded(path);
    }
    for (const std::optional<QString>& part : {address.User, address.Password, address.Folder})
        if (part && HasControlCharacter(*part))
            return {.Error = QStringLiteral("The address holds a line break or another control character "
                                            "(such as %0A or %0D), which cannot be sent to a server.")};
    return address;
}
} // namespace

TFtpAddress ParseFtpAddress(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.startsWith(Scheme, Qt::CaseInsensitive))
        return ParseUrl(trimmed.mid(Scheme.size()));
    if (trimmed.startsWith(SecureScheme, Qt::CaseInsensitive)) {
        TFtpAddress address = ParseUrl(trimmed.mid(SecureScheme.size()));
        address.ImplicitTls = address.Valid();
        return address;
    }
    if (const qsizetype scheme = trimmed.indexOf(QStringLiteral("://")); scheme >= 0)
        return {.Error = QStringLiteral("Only ftp:// and ftps:// addresses can be used here, not %1.")
                             .arg(trimmed.left(scheme + 3))};
    return FromHostPort(trimmed, false);
}
