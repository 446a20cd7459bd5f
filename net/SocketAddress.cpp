#include "net/SocketAddress.h"

#include <cstring>
#include <net/if.h>
#include <netinet/in.h>

socklen_t ToSockaddr(const QHostAddress& address, quint16 port, sockaddr_storage& record)
{
    record = sockaddr_storage{};
    if (address.protocol() == QAbstractSocket::IPv4Protocol) {
        auto& v4 = reinterpret_cast<sockaddr_in&>(record);
        v4.sin_family = AF_INET;
        v4.sin_port = htons(port);
        v4.sin_addr.s_addr = htonl(address.toIPv4Address());
        return sizeof v4;
    }
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        auto& v6 = reinterpret_cast<sockaddr_in6&>(record);
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(port);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&v6.sin6_addr, bytes.c, sizeof v6.sin6_addr);
        // A link-local address needs its interface, given by number or by name.
        const QString scope = address.scopeId();
        if (!scope.isEmpty()) {
            bool numeric = false;
            const uint index = scope.toUInt(&numeric);
            v6.sin6_scope_id = numeric ? index : ::if_nametoindex(scope.toUtf8().constData());
        }
        return sizeof v6;
    }
    return 0;
}

quint16 PortOf(const sockaddr_storage& record)
{
    if (record.ss_family == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in&>(record).sin_port);
    if (record.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6&>(record).sin6_port);
    return 0;
}

// Only ::ffff:a.b.c.d: Qt's own conversion would also turn "::" into 0.0.0.0.
QHostAddress Unmapped(const QHostAddress& address)
{
    if (address.protocol() != QAbstractSocket::IPv6Protocol)
        return address;
    const Q_IPV6ADDR bytes = address.toIPv6Address();
    for (int i = 0; i < 10; ++i) {
        if (bytes.c[i] != 0)
            return address;
    }
    if (bytes.c[10] != 0xFF || bytes.c[11] != 0xFF)
        return address;
    return QHostAddress(quint32(bytes.c[12]) << 24 | quint32(bytes.c[13]) << 16 | quint32(bytes.c[14]) << 8 | bytes.c[15]);
}

bool ParseIPv6(const QString& text, QHostAddress& result)
{
    QHostAddress parsed;
    if (!text.contains(QLatin1Char(':')) || !parsed.setAddress(text)
        || parsed.protocol() != QAbstractSocket::IPv6Protocol)
        return false;
    result = parsed;
    return true;
}
