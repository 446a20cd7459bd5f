#include "ScriptedFtpServer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

namespace {

QByteArray FirstWord(const QByteArray& line)
{
    const qsizetype space = line.indexOf(' ');
    return (space < 0 ? line : line.left(space)).toUpper();
}

ScriptedFtpServer::Reply DefaultReply(const QByteArray& word)
{
    static const QHash<QByteArray, QByteArray> defaults = {
        {"USER", "331 Password required.\r\n"},
        {"PASS", "230 Logged in.\r\n"},
        {"SYST", "215 UNIX Type: L8\r\n"},
        {"PWD", "257 \"/\" is the current directory.\r\n"},
        {"TYPE", "200 Type set.\r\n"},
        {"PORT", "200 PORT command successful.\r\n"},
        {"QUIT", "221 Goodbye.\r\n"},
        {"NOOP", "200 NOOP ok.\r\n"},
        {"EPSV", "229 Entering Extended Passive Mode (|||{port}|)\r\n"},
        {"PASV", "227 Entering Passive Mode (127,0,0,1,{p1},{p2}).\r\n"},
    };
    return {.text = defaults.value(word, "502 Command not implemented.\r\n")};
}

} // namespace

ScriptedFtpServer::ScriptedFtpServer(QObject* parent)
    : QObject(parent), m_greeting("220 Scripted server ready.\r\n")
{
    connect(&m_server, &QTcpServer::newConnection, this, &ScriptedFtpServer::OnNewConnection);
    m_server.listen(QHostAddress::LocalHost, 0);
}

ScriptedFtpServer::~ScriptedFtpServer()
{
    if (m_data)
        m_data->abort();
    if (m_control)
        m_control->abort();
}

quint16 ScriptedFtpServer::Port() const { return m_server.serverPort(); }

void ScriptedFtpServer::SetGreeting(QByteArray greeting, bool closeAfter)
{
    m_greeting = std::move(greeting);
    m_closeAfterGreeting = closeAfter;
}

void ScriptedFtpServer::On(const QByteArray& command, Reply reply)
{
    m_script[command.toUpper()] = {std::move(reply)};
}

void ScriptedFtpServer::Queue(const QByteArray& command, Reply reply)
{
    m_script[command.toUpper()].push_back(std::move(reply));
}

void ScriptedFtpServer::On(const QByteArray& command, QByteArray text)
{
    On(command, Reply{.text = std::move(text)});
}

void ScriptedFtpServer::SendControl(const QByteArray& bytes)
{
    if (m_control)
        m_control->write(bytes);
}

void ScriptedFtpServer::CloseControl()
{
    if (m_control)
        m_control->disconnectFromHost();
}

QByteArrayList ScriptedFtpServer::ReceivedWithoutPort() const
{
    QByteArrayList lines;
    for (const QByteArray& line : m_received)
        if (FirstWord(line) != "PORT")
            lines << line;
    return lines;
}

bool ScriptedFtpServer::ClientConnected() const
{
    return m_control && m_control->state() == QAbstractSocket::ConnectedState;
}

bool ScriptedFtpServer::WaitForLines(int count, int ms)
{
    QDeadlineTimer deadline(ms);
    while (m_received.size() < count && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return m_received.size() >= count;
}

void ScriptedFtpServer::OnNewConnection()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        if (m_control)
            m_control->abort();
        m_control = socket;
        ++m_connections;
        connect(socket, &QTcpSocket::readyRead, this, &ScriptedFtpServer::OnControlData);
        socket->write(m_greeting);
        if (m_closeAfterGreeting)
            socket->disconnectFromHost();
    }
}

void ScriptedFtpServer::OnControlData()
{
    auto* socket = qobject_cast<QTcpSocket*>(sender());
    while (socket && socket == m_control && socket->canReadLine()) {
        QByteArray line = socket->readLine();
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        m_received << line;
        Answer(line);
    }
}

ScriptedFtpServer::Reply ScriptedFtpServer::Take(const QByteArray& word)
{
    auto it = m_script.find(word);
    if (it == m_script.end() || it->empty())
        return DefaultReply(word);
    if (it->size() == 1)
        return it->front();
    Reply reply = std::move(it->front());
    it->pop_front();
    return reply;
}

void ScriptedFtpServer::Answer(const QByteArray& line)
{
    const QByteArray word = FirstWord(line);
    if (OnCommand)
        OnCommand(line);
    if (word == "PORT") {
        const QList<QByteArray> parts = line.mid(5).trimmed().split(',');
        if (parts.size() == 6) {
            m_portAddress = QHostAddress(QString::fromLatin1(parts.mid(0, 4).join('.')));
            m_portNumber = quint16(parts[4].toUInt() * 256 + parts[5].toUInt());
            if (OnPort)
                OnPort(m_portAddress, m_portNumber);
        }
    }
    if (word == "PORT" || word == "EPRT")
        m_passive.reset();
    Reply reply = Take(word);
    if (word == "EPSV" || word == "PASV")
        reply.text = OpenPassive(reply.text);
    QTimer::singleShot(reply.delayMs, this, [this, reply, control = m_control] {
        if (!control)
            return;
        if (!reply.text.isEmpty())
            control->write(reply.text);
        if (reply.closeControl)
            control->disconnectFromHost();
        StartData(reply);
    });
}

QByteArray ScriptedFtpServer::OpenPassive(QByteArray text)
{
    m_passive = std::make_unique<QTcpServer>();
    m_passive->listen(QHostAddress::LocalHost, 0);
    const quint16 port = m_passive->serverPort();
    return text.replace("{port}", QByteArray::number(port))
        .replace("{p1}", QByteArray::number(port / 256))
        .replace("{p2}", QByteArray::number(port % 256));
}

void ScriptedFtpServer::StartData(const Reply& reply)
{
    if (reply.data == NoData)
        return;
    if (m_data)
        m_data->abort();
    ++m_dataConnections;
    if (reply.data == Receive)
        m_uploaded.clear();
    if (!m_passive) {
        auto* data = new QTcpSocket(this);
        connect(data, &QTcpSocket::connected, this, [this, data, reply] { BeginData(data, reply); });
        data->connectToHost(m_portAddress, m_portNumber);
        m_data = data;
        return;
    }
    // Passive: the client connects (usually before the transfer command).
    const auto take = [this, reply] {
        QTcpSocket* data = m_passive ? m_passive->nextPendingConnection() : nullptr;
        if (!data)
            return false;
        data->setParent(this);
        m_data = data;
        BeginData(data, reply);
        return true;
    };
    if (!take()) {
        QObject* server = m_passive.get();
        connect(m_passive.get(), &QTcpServer::newConnection, this, [take, server] {
            if (take())
                QObject::disconnect(server, nullptr, nullptr, nullptr);
        });
    }
}

void ScriptedFtpServer::BeginData(QTcpSocket* data, const Reply& reply)
{
    connect(data, &QTcpSocket::readyRead, this, [this, data, limit = reply.receiveLimit] {
        m_uploaded += data->readAll();
        if (limit >= 0 && m_uploaded.size() >= limit) {
            m_uploaded.truncate(limit);
            data->abort(); // a server that gives up on the upload
        }
    });
    connect(data, &QTcpSocket::disconnected, this, [this, data, reply] {
        if (reply.data == Receive)
            m_uploaded += data->readAll();
        if (!reply.completionFirst && m_control)
            m_control->write(reply.completion);
        data->deleteLater();
    });
    if (reply.data != Receive) {
        data->write(reply.payload);
        if (reply.data == Send)
            FinishData(reply);
    }
    if (data->bytesAvailable() > 0) // what the client sent before the command came
        QTimer::singleShot(0, data, [data] { emit data->readyRead(); });
}

void ScriptedFtpServer::FinishData(const Reply& reply)
{
    if (reply.completionFirst && m_control)
        m_control->write(reply.completion);
    QPointer<QTcpSocket> data = m_data;
    QTimer::singleShot(reply.closeDelayMs, this, [data] {
        if (data)
            data->disconnectFromHost();
    });
}
