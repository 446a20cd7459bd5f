#pragma once
// The address of a remote entry, as "Copy address" writes it and ParseFtpAddress
// (FtpAddress.h) reads it back:
//   ftp://[user@]host[:port]/path          ftps:// for implicit TLS
// The user is left out when anonymous, the port when it is the scheme's own, and
// the password always. Each part is percent-encoded where it needs to be (spaces,
// "@", "%", non-ASCII as UTF-8). The path is relative to the folder the login
// lands in, as an address's folder is opened; one outside it starts with "%2F".
#include <QString>

struct TAddressOrigin {
    QString Host = {};       // a name or an IPv4 or IPv6 address, without brackets
    int Port = 21;
    QString User = {};       // "" or "anonymous": left out
    bool ImplicitTls = false;
    QString LoginFolder = QStringLiteral("/"); // where the login landed, absolute
};

// path: the entry's absolute remote path ("/pub/a b.txt").
QString RemoteEntryAddress(const TAddressOrigin& origin, const QString& path);
