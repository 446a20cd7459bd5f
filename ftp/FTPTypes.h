#pragma once
// Types shared by the FTP component and its callers: the transaction types
// reported by its events, its exceptions and its event signatures.
#include "net/AsyncSocket.h"
#include "net/Exception.h"
#include "net/Tls.h"

#include <QString>
#include <functional>

// The operation an event reports about. The main window dispatches on every
// value, including those no operation of the component reports (6, 7, 10-13).
enum class TCmdType : int {
    ChangeDir = 0,
    MakeDir = 1,
    Delete = 2,
    RemoveDir = 3,
    List = 4,
    Rename = 5,
    UploadRestore = 6,
    DownloadRestore = 7,
    Download = 8,
    Upload = 9,
    UploadAppend = 10,
    ReInit = 11,
    Allocate = 12,
    NList = 13,
    DoCommand = 14,
    CurrentDir = 15,
};

// The server refused a command; the message is its reply line (with its line end).
class FTPException : public Exception {
public:
    using Exception::Exception;
};

// A command or name that would change the conversation if sent (a line break
// or a NUL inside it). Nothing was sent; the connection is unaffected.
class EUnsafeCommand : public Exception {
public:
    using Exception::Exception;
};

// A "421" or "426" reply ended a wait: the server gave up on the operation
// or the session. The message is the reply (with its line end); the reply was
// read and logged, so nothing of it is left owing.
class EServerAbort : public EAbortError {
public:
    using EAbortError::EAbortError;
};

// The server confirmed a download that brought fewer bytes than it announced.
// The old local file is kept; the connection stays up.
class EIncompleteTransfer : public Exception {
public:
    using Exception::Exception;
};

// How a host's connection is secured (FTP over TLS, RFC 4217).
enum class TSecurity : int {
    TlsIfAvailable = 0, // "AUTH TLS"; a server that refuses it is used in plain text, said in the log
    RequireTls = 1,     // "AUTH TLS"; a refusal or a failed handshake ends the session before login
    ImplicitTls = 2,    // TLS from the first byte (port 990 by default)
    PlainFtp = 3,       // no TLS
};
inline constexpr int DefaultImplicitTlsPort = 990;

// The connection could not be secured as the settings require (TLS refused, the
// handshake failed, the certificate was not accepted). The connection is closed,
// nothing more was sent: no user name, no password.
class ESecurityError : public Exception {
public:
    using Exception::Exception;
};

using TFailureEvent = std::function<void(bool& Handled, TCmdType Trans_Type)>;
using TSuccessEvent = std::function<void(TCmdType Trans_Type)>;
using TUnsupportedEvent = std::function<void(TCmdType Trans_Type)>;
using TListItemEvent = std::function<void(const QString& Listing)>;
// The server's certificate, at each TLS handshake of the control connection, before
// anything is sent inside it. Accept starts as Certificate.Verified; the handler may
// change it (the user accepted or refused the certificate).
using TCertificateEvent = std::function<void(const TCertificateInfo& Certificate, bool& Accept)>;
