// The two ways of making the data connection of a listing or transfer.
#include "ftp/DataSocket.h"
#include "ftp/FTPClient.h"
#include "ftp/FTPText.h"

namespace {

const QString kNoConnection = QStringLiteral("The server did not open the data connection within %1 s.");

} // namespace

// ---------------------------------------------------------------- active

// The client listens; the server connects to it after the transfer command.
class TFTPClient::TActiveConnection : public TFTPClient::TDataConnection {
public:
    using TDataConnection::TDataConnection;

    void Prepare(TCmdType type) override
    {
        TFTPClient& c = m_client;
        TFTPDataSocket& data = *c.m_data;
        data.TimeOut = c.TimeOut;
        data.Port = 0;
        // Only where the server can reach us, not on every interface.
        data.BindAddress = c.LocalIP();
        data.Listen(true);
        const QString command = c.IsIPv6()
            ? QStringLiteral("EPRT ") + EprtArgument(c.LocalIP(), data.LocalPort())
            : QStringLiteral("PORT ") + c.LocalIPText() + data.LocalPortText();
        c.Report(command);
        c.Transaction(command);
        c.CheckReply(301, 599, type, Window::Plain);
    }

    void Complete(TCmdType type) override
    {
        TFTPClient& c = m_client;
        TFTPDataSocket& data = *c.m_data;
        // One deadline for the whole wait: connections turned away do not extend it.
        c.ArmDataDeadline();
        for (;;) {
            // A server that cannot connect says so on the control connection instead.
            c.WaitForDataUntilDeadline(
                [&] { data.WaitUntil([&] { return data.AsyncDone || c.m_replies.HoldsRefusal() || !c.Connected; }); },
                kNoConnection);
            if (!data.AsyncDone && !data.Canceled) {
                if (!c.m_replies.HoldsRefusal())
                    throw ESockError(QStringLiteral("The server closed the connection."));
                c.m_replies.TakeWatched(); // the refusal the reply watcher may have seen
                c.Failure(type, Window::Plain);
            }
            OwnedSocket incoming;
            c.WaitForDataUntilDeadline([&] { incoming = data.Accept(); }, kNoConnection);
            // Anyone who reached the port first would otherwise take the upload or
            // feed the download: only the server's own address is let in.
            if (data.RemoteIP() == c.RemoteIP()) {
                data.AdoptSocket(std::move(incoming));
                c.BeginDataTls();
                return;
            }
            c.Report(QStringLiteral("Refused a data connection from %1: it does not come from the server (%2).")
                         .arg(data.RemoteIP(), c.RemoteIP()));
            incoming = OwnedSocket();
            data.ListenAgain();
        }
    }
};

// ---------------------------------------------------------------- passive

// The server listens; the client connects before the transfer command, since
// many servers answer that command only once the connection is there.
class TFTPClient::TPassiveConnection : public TFTPClient::TDataConnection {
public:
    using TDataConnection::TDataConnection;

    void Prepare(TCmdType type) override
    {
        TFTPClient& c = m_client;
        TFTPDataSocket& data = *c.m_data;
        const int port = ServerPort(type);
        data.TimeOut = c.TimeOut;
        // Always the server we talk to, whatever address its reply named.
        data.Host = c.RemoteIP();
        data.Port = port;
        try {
            c.WaitForData([&] { data.Connect(); }, kNoConnection);
        } catch (const ETimeOutError&) {
            throw;
        } catch (const EAbortError&) {
            throw;
        } catch (const ESockError& e) {
            throw ESockError(QStringLiteral("The data connection to %1 port %2 failed: %3")
                                 .arg(data.Host)
                                 .arg(port)
                                 .arg(e.Message()));
        }
    }

    void Complete(TCmdType) override { m_client.BeginDataTls(); }

private:
    // The port the server listens on for this transfer: "EPSV" (RFC 2428),
    // and "PASV" for a server that does not know it.
    int ServerPort(TCmdType type)
    {
        TFTPClient& c = m_client;
        if (!c.m_epsvRefused) {
            c.Report(QStringLiteral("EPSV"));
            c.Transaction(QStringLiteral("EPSV"));
            if (c.ReplyNumber == 229)
                return PortOrFailure(EpsvPortOf(c.LastReply));
            c.CheckReply(400, 499, type, Window::Plain);
            c.m_epsvRefused = true; // 5xx: not known here, or not for this protocol
        }
        if (c.IsIPv6())
            RefusesPassiveMode();
        c.Report(QStringLiteral("PASV"));
        c.Transaction(QStringLiteral("PASV"));
        if (c.ReplyNumber == 227) {
            const std::optional<TPasvAddress> address = PasvAddressOf(c.LastReply);
            if (address && address->Host != c.RemoteIP())
                c.Report(QStringLiteral("The server named %1 for the data connection; connecting to %2, the server "
                                        "itself, instead.")
                             .arg(address->Host, c.RemoteIP()));
            return PortOrFailure(address ? std::optional<int>(address->Port) : std::nullopt);
        }
        c.CheckReply(400, 499, type, Window::Plain);
        RefusesPassiveMode();
    }

    int PortOrFailure(std::optional<int> port) const
    {
        if (!port)
            throw FTPException(QStringLiteral("The server's reply names no port for the data connection: ")
                               + m_client.LastReply);
        return *port;
    }

    [[noreturn]] void RefusesPassiveMode() const
    {
        throw FTPException(QStringLiteral("The server refuses passive mode (%1). Choose active mode for this host "
                                          "in its settings.")
                               .arg(m_client.LastReply.trimmed()));
    }
};

std::unique_ptr<TFTPClient::TDataConnection> TFTPClient::MakeDataConnection()
{
    if (Passive)
        return std::make_unique<TPassiveConnection>(*this);
    return std::make_unique<TActiveConnection>(*this);
}
