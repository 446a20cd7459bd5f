#pragma once
// An FTP server for tests that replays exact replies from a table and records
// what the client sent. It runs in the test's own thread, on the same event
// loop as the client, and listens on a free port of 127.0.0.1.
//
//   ScriptedFtpServer server;                      // greeting "220 ..." and sane defaults
//   server.On("PASS", "530 Login incorrect.\r\n"); // exact bytes, CR LF included
//   server.On("LIST", {.text = "150 Here it comes.\r\n",
//                      .data = ScriptedFtpServer::Send, .payload = "a\r\nb\r\n",
//                      .completion = "226 Done.\r\n"});
//   client.Host = "127.0.0.1"; client.Port = server.Port();
//   ...
//   EXPECT_EQ(server.Received(), (QByteArrayList{"USER u", "PASS p", ...}));
//
// Replies are chosen by the command's first word in upper case. On() sets the
// reply to a word (replacing earlier ones); Queue() adds one after them, and
// queued replies are used in turn, the last one then repeating. The defaults
// (USER 331, PASS 230, SYST, PWD, TYPE, PORT 200, NOOP 200, QUIT 221) apply until a test
// gives its own; any other command gets "502 Command not implemented.".
// The data connection of a transfer command goes to the address of the last
// "PORT", or comes from the client to the port opened by the last "EPSV" or
// "PASV" (their replies, scripted or default, may hold "{port}", "{p1}" and
// "{p2}", which become that port).
#include <QByteArray>
#include <QByteArrayList>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <deque>
#include <functional>
#include <memory>

class ScriptedFtpServer : public QObject {
public:
    enum DataMode {
        NoData,  // no data connection (also: a server that never connects to "PORT")
        Send,    // connect, send payload, close
        Receive, // connect, record everything until the client closes
        Stall,   // connect, send payload, keep the connection open
    };

    struct Reply {
        QByteArray text = {};          // sent on the control connection at once; empty: silence
        DataMode data = NoData;
        QByteArray payload = {};       // Send, Stall
        QByteArray completion = {};    // sent after the data connection closed (Send, Receive)
        bool completionFirst = false; // Send: completion goes out before the data connection closes
        int closeDelayMs = 0;       // Send: wait this long after the payload before closing
        bool closeControl = false;  // close the control connection after text
        int delayMs = 0;            // send text this long after the command arrived
        qint64 receiveLimit = -1;   // Receive: close the data connection after this many bytes
    };

    explicit ScriptedFtpServer(QObject* parent = nullptr);
    ~ScriptedFtpServer() override;

    quint16 Port() const;

    // Exact bytes sent when a client connects (CR LF included).
    void SetGreeting(QByteArray greeting, bool closeAfter = false);
    void On(const QByteArray& command, Reply reply);
    void On(const QByteArray& command, QByteArray text);
    void Queue(const QByteArray& command, Reply reply);

    // Runs when a "PORT" arrives, before it is answered, with the address it names.
    std::function<void(const QHostAddress&, quint16)> OnPort;
    // Runs for every command line before it is answered: a server whose replies
    // depend on what came before (the transfer type) changes its script here.
    std::function<void(const QByteArray& line)> OnCommand;

    // Sends bytes on the current control connection, unasked.
    void SendControl(const QByteArray& bytes);
    // Closes the current control connection (after what was sent on it).
    void CloseControl();

    // Every line received on the control connection, without its line end.
    const QByteArrayList& Received() const { return m_received; }
    // Received() without the "PORT" lines, whose address and port vary.
    QByteArrayList ReceivedWithoutPort() const;
    // The data of the last Receive connection.
    const QByteArray& Uploaded() const { return m_uploaded; }
    int Connections() const { return m_connections; }
    int DataConnections() const { return m_dataConnections; }
    // Whether a client control connection is open now.
    bool ClientConnected() const;

    // Runs the event loop until Received() holds count lines or ms have passed.
    bool WaitForLines(int count, int ms = 5000);

private:
    void OnNewConnection();
    void OnControlData();
    void Answer(const QByteArray& line);
    QByteArray OpenPassive(QByteArray text);
    void StartData(const Reply& reply);
    void BeginData(QTcpSocket* data, const Reply& reply);
    void FinishData(const Reply& reply);
    Reply Take(const QByteArray& word);

    QTcpServer m_server;
    QPointer<QTcpSocket> m_control;
    QPointer<QTcpSocket> m_data;
    QByteArray m_greeting;
    bool m_closeAfterGreeting = false;
    QHash<QByteArray, std::deque<Reply>> m_script;
    std::unique_ptr<QTcpServer> m_passive; // after "EPSV"/"PASV", until the next "PORT"
    QHostAddress m_portAddress;
    quint16 m_portNumber = 0;
    QByteArrayList m_received;
    QByteArray m_uploaded;
    int m_connections = 0;
    int m_dataConnections = 0;
};
