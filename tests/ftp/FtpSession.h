#pragma once
// A TFTPClient wired to record what a test checks: status lines (trimmed),
// events in order, and listing lines.
#include "RealFtpServer.h"
#include "ScriptedFtpServer.h"
#include "ftp/FTPClient.h"

#include <QCryptographicHash>
#include <QFile>
#include <QRandomGenerator>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

inline QByteArray ReadFile(const QString& path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

inline void WriteFile(const QString& path, const QByteArray& data)
{
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(data);
}

inline QByteArray Sha256Of(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return "missing: " + path.toUtf8();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&f);
    return hash.result().toHex();
}

// A file of size random bytes, the same for the same seed.
inline void WriteRandomFile(const QString& path, qint64 size, quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray data(size, Qt::Uninitialized);
    random.fillRange(reinterpret_cast<quint32*>(data.data()), size / 4);
    for (qint64 i = size / 4 * 4; i < size; ++i)
        data[i] = char(random.generate());
    WriteFile(path, data);
}

struct FtpSession {
    TFTPClient client;
    QStringList log;
    QStringList events;
    QStringList items;

    FtpSession(quint16 port, const QString& user = "user", const QString& password = "secret")
    {
        client.Host = "127.0.0.1";
        client.Port = port;
        client.UserID = user;
        client.Password = password;
        client.ReportLevel = 2;
        client.InactivityTimeOut = 3000;
        client.Passive = false; // the conversations of most tests are in active mode; passive ones say so
        client.OnStatus = [this](QObject*, const QString& s) { log << s.trimmed(); };
        client.OnConnect = [this](QObject*) { events << "Connect"; };
        client.OnConnectionFailed = [this](QObject*) { events << "ConnectionFailed"; };
        client.OnSuccess = [this](TCmdType t) { events << QString("Success %1").arg(int(t)); };
        client.OnUnSupportedFunction = [this](TCmdType t) { events << QString("Unsupported %1").arg(int(t)); };
        client.OnTransactionStart = [this](QObject*) { events << "Start"; };
        client.OnTransactionStop = [this](QObject*) { events << "Stop"; };
        client.OnListItem = [this](const QString& line) { items << line; };
    }

    // Records OnFailure and answers with handled.
    void HandleFailures(bool handled)
    {
        client.OnFailure = [this, handled](bool& h, TCmdType t) {
            events << QString("Failure %1").arg(int(t));
            h = handled;
        };
    }
};

// A session logged in to a scripted server, with a temporary folder for files.
class ScriptedSession : public ::testing::Test {
protected:
    void SetUp() override { s.client.Connect(); }
    ScriptedFtpServer server;
    FtpSession s{server.Port()};
    QTemporaryDir dir;
};

// A passive session logged in to a real server of the parameter's kind, in the
// folder the test may write; skipped when the server cannot run here.
class RealServerSession : public ::testing::TestWithParam<RealFtpServer::Kind> {
protected:
    void SetUp() override
    {
        if (!server.IsRunning())
            GTEST_SKIP() << server.ErrorText().toStdString();
        s = std::make_unique<FtpSession>(server.Port(), server.User(), server.Password());
        s->client.Passive = true;
        s->client.InactivityTimeOut = 10000;
        s->client.Connect();
        s->client.DoCommand("CWD " + server.RemoteDir());
    }

    RealFtpServer server{GetParam()};
    std::unique_ptr<FtpSession> s;
};
