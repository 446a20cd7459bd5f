#pragma once
// Between Qt's addresses and the socket layer's address records, for both
// families. Internal to the socket component.
#include <QHostAddress>
#include <QString>

#include <sys/socket.h>

// Fills record with address and port (host order); returns its length, 0 for
// an address of neither family.
socklen_t ToSockaddr(const QHostAddress& address, quint16 port, sockaddr_storage& record);

// The port of an IPv4 or IPv6 record, host order; 0 for another family.
quint16 PortOf(const sockaddr_storage& record);

// An IPv4-mapped IPv6 address as the IPv4 address it stands for, so that one
// peer always shows, and compares, as the same text.
QHostAddress Unmapped(const QHostAddress& address);

// Address is IPv6 text ("::1", "fe80::1%eth0"); stores it in result.
bool ParseIPv6(const QString& text, QHostAddress& result);
