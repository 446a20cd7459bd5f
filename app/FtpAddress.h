#pragma once
// What a user may type where a host is asked for:
//   host, host:port, [IPv6 address], [IPv6 address]:port, a bare IPv6 address
//   (no port then, since its colons leave none to spare), and
//   ftp://[user[:password]@]host[:port][/folder], and the same with ftps://
// In such an address the user, password and folder are percent-decoded
// ("%40" is "@", "%20" a space). ftps:// means TLS from the first byte
// (implicit TLS, port 990 unless one is given), as curl and FileZilla read it.
#include <QString>
#include <optional>

struct TFtpAddress {
    QString Host = {};                    // without brackets
    std::optional<int> Port = {};         // 1 to 65535, when given
    std::optional<QString> User = {};     // each of these only in an ftp:// or ftps:// address,
    std::optional<QString> Password = {}; // and only when it holds them
    std::optional<QString> Folder = {};   // "" for "ftp://host/"; no leading "/"
    bool ImplicitTls = false;             // an ftps:// address
    QString Error = {};                   // why the text is no address; empty when it is

    bool Valid() const { return Error.isEmpty(); }
};

// Pure: blanks around the text are ignored; nothing is looked up.
TFtpAddress ParseFtpAddress(const QString& text);
