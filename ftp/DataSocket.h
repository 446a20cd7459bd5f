#pragma once
// The data connection of a listing or transfer: a plain socket on which the
// FTP client may run the wait loop.
#include "net/AsyncSocket.h"

class TFTPDataSocket : public TAsyncSocket {
public:
    using TAsyncSocket::TAsyncSocket;
    using TAsyncSocket::WaitUntil;

    bool HasLine() const { return BufferedBytes().contains('\n'); }
};
