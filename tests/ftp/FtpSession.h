#pragma once
// A TFTPClient wired to record what a test checks: status lines (trimmed),
// events in order, and listing lines.
#include "RealFtpServer.h"
#include "ScriptedFtpServer.h"
#include "TestFiles.h"
#include "ftp/FTPClient.h"

#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

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

    // Downloads remote into target and stops it (as the user's Stop) once half of
    // its size has come; gives the bytes its kept partial file holds.
    qint64 DownloadStoppedAtHalf(const QString& remote, const QString& target, qint64 size)
    {
        client.OnPacketRecvd = [this, size](QObject*) {
            if (client.BytesRecvd() >= size / 2)
                client.Abort();
        };
        EXPECT_THROW(client.Download(remote, target), EAbortError);
        client.OnPacketRecvd = nullptr;
        return QFileInfo(TFTPClient::PartialFileOf(target)).size();
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
        s->client.Passive = passive;
        s->client.InactivityTimeOut = 10000;
        s->client.Connect();
        s->client.DoCommand("CWD " + server.RemoteDir());
    }

    bool passive = true; // the data mode, set before SetUp
    RealFtpServer server{GetParam()};
    std::unique_ptr<FtpSession> s;
};
