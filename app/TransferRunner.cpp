#include "app/TransferRunner.h"

#include "app/TransferQueueModel.h"
#include "ftp/FTPClient.h"
#include "net/Exception.h"
#include "net/ScopeExit.h"

#include <QTimer>

#include <algorithm>

namespace {

QString ServerOf(const TFTPClient& client)
{
    return QStringLiteral("%1\n%2\n%3\n%4\n%5\n%6\n%7")
        .arg(client.Host)
        .arg(client.Port)
        .arg(client.UserID, client.Password)
        .arg(int(client.Security))
        .arg(client.NameEncoding, client.TrustedCAFile);
}

} // namespace

bool RefusesAnotherConnection(const QString& reply)
{
    const QString text = reply.trimmed();
    if (text.startsWith(QStringLiteral("421")))
        return true;
    return text.startsWith(QStringLiteral("530"))
        && (text.contains(QStringLiteral("too many"), Qt::CaseInsensitive)
            || text.contains(QStringLiteral("maximum number"), Qt::CaseInsensitive));
}

TTransferRunner::TTransferRunner(QObject* parent)
    : QObject(parent),
      m_client(new TFTPClient(this)),
      m_queue(std::make_unique<TTransferQueue>(*m_client)),
      m_model(new TTransferQueueModel(*m_queue, this))
{
    m_queue->OnItemChanged = [this](int index) {
        m_model->ItemChanged(index);
        const TTransferItem& item = m_queue->Items()[index];
        if (item.State == TTransferState::Done)
            (item.Direction == TTransferDirection::Download ? m_downloaded : m_uploaded) = true;
        if (OnItemChanged)
            OnItemChanged(m_queue->Items()[index]);
    };
    m_queue->OnItemsChanged = [this] { m_model->ItemsChanged(); };
    m_queue->OnConflict = [this](const TConflict& conflict) {
        return OnConflict ? OnConflict(conflict) : TConflictDecision{};
    };
    m_queue->OnReport = [this](const QString& text) {
        if (OnLog)
            OnLog(text);
    };
    m_client->OnCertificate = [this](const TCertificateInfo& certificate, bool& accept) {
        if (OnCertificate)
            OnCertificate(certificate, accept);
    };
}

TTransferRunner::~TTransferRunner()
{
    ReleaseClient();
}

void TTransferRunner::ReleaseClient()
{
    // The goodbye waits for the server's reply, and the views may paint meanwhile:
    // the queue they show stays until the runner goes. Nothing runs it any more.
    m_requests.clear();
    delete m_client;
    m_client = nullptr;
}

void TTransferRunner::UseSettingsOf(const TFTPClient& session)
{
    if (!m_client)
        return;
    const QString server = ServerOf(session);
    if (server != m_server && m_client->Connected && !m_active)
        m_client->Disconnect();
    m_server = server;
    m_client->Host = session.Host;
    m_client->Port = session.Port;
    m_client->UserID = session.UserID;
    m_client->Password = session.Password;
    m_client->Passive = session.Passive;
    m_client->NameEncoding = session.NameEncoding;
    m_client->Security = session.Security;
    m_client->TlsExpected = session.TlsExpected;
    m_client->TrustedCAFile = session.TrustedCAFile;
    m_client->InactivityTimeOut = session.InactivityTimeOut;
    m_client->KeepModificationTimes = session.KeepModificationTimes;
    m_client->TemporaryUploadNames = session.TemporaryUploadNames;
    m_textType = session.TextType();
}

void TTransferRunner::AddDownload(const QString& remoteFolder, const QString& wireName, bool folder, qint64 size,
                                  const QString& localFolder, const QString& localName)
{
    Request([=, this, textType = m_textType] {
        m_queue->TextType = textType;
        m_queue->AddDownload(remoteFolder, wireName, folder, size, localFolder, localName);
    });
}

void TTransferRunner::AddUpload(const QString& localPath, const QString& remoteFolder)
{
    Request([=, this, textType = m_textType] {
        m_queue->TextType = textType;
        m_queue->AddUpload(localPath, remoteFolder);
    });
}

void TTransferRunner::Request(std::function<void()> request)
{
    m_requests.push_back(std::move(request));
    StartSoon();
    Announce();
}

void TTransferRunner::Cancel(int index)
{
    if (m_client)
        m_queue->Cancel(index);
}

void TTransferRunner::CancelRunning()
{
    if (m_client && m_queue->Listing()) {
        m_queue->StopListing();
        return;
    }
    const std::vector<TTransferItem>& items = m_queue->Items();
    const auto running = std::find_if(items.begin(), items.end(),
                                      [](const TTransferItem& item) { return item.State == TTransferState::Running; });
    if (running != items.end())
        Cancel(int(running - items.begin()));
}

void TTransferRunner::CancelAll()
{
    // Requests not yet listed are dropped with the rest.
    m_requests.clear();
    if (m_client)
        m_queue->CancelAll();
    Announce();
}

void TTransferRunner::RetryFailed()
{
    m_queue->RetryFailed();
    StartSoon();
}

void TTransferRunner::RemoveFinished()
{
    if (m_queue->Running())
        return;
    m_queue->RemoveFinished();
    Announce();
}

void TTransferRunner::StartSoon()
{
    // Posted: the queue's waits must not nest inside the handler that asked.
    if (m_active || m_startPosted)
        return;
    m_startPosted = true;
    QTimer::singleShot(0, this, [this] {
        m_startPosted = false;
        Pump();
    });
}

bool TTransferRunner::AnyWaiting() const
{
    for (const TTransferItem& item : m_queue->Items())
        if (item.State == TTransferState::Waiting)
            return true;
    return false;
}

void TTransferRunner::Announce() const
{
    if (OnStateChanged)
        OnStateChanged();
}

void TTransferRunner::Pump()
{
    if (m_active || !m_client)
        return;
    m_active = true;
    m_downloaded = m_uploaded = false;
    Announce();
    {
        ScopeExit idle([this] { m_active = false; });
        try {
            while (m_client && (!m_requests.empty() || AnyWaiting())) {
                EnsureConnected();
                TakeRequests();
                m_queue->Run();
            }
        } catch (const Exception& error) {
            // The connection could not be made or was lost: what waits, and every
            // request not yet taken, stays for the next run.
            Stopped(error.Message().trimmed());
        }
    }
    if (!m_client)
        return;
    Announce();
    if (OnFinished)
        OnFinished(m_downloaded, m_uploaded);
}

void TTransferRunner::TakeRequests()
{
    while (!m_requests.empty() && m_client) {
        const std::function<void()> request = std::move(m_requests.front());
        m_requests.pop_front();
        try {
            request();
        } catch (const EAbortError& stopped) {
            if (!m_client || !m_client->Connected)
                throw;
            // The user stopped the listing: the connection serves the next request.
            if (OnLog)
                OnLog(stopped.Message());
        } catch (const ESockError&) {
            throw; // the connection is gone: nothing more can be listed
        } catch (const Exception& error) {
            // One folder that cannot be listed does not hold up the others.
            if (OnError)
                OnError(error.Message().trimmed());
        }
        Announce();
    }
}

void TTransferRunner::EnsureConnected()
{
    if (m_client->Connected)
        return;
    if (OnLog)
        OnLog(QStringLiteral("The transfer connection to %1 opens.").arg(m_client->Host));
    // Stays set when Connect raises: Stopped then knows the connection was turned away.
    m_connecting = true;
    m_client->Connect();
    m_connecting = false;
    m_refused = false;
}

void TTransferRunner::Stopped(const QString& reason)
{
    if (!std::exchange(m_connecting, false) || !RefusesAnotherConnection(reason)) {
        if (OnError)
            OnError(QStringLiteral("The transfers stopped: ") + reason);
        return;
    }
    // A server that allows one connection per user is no failure of the items:
    // they wait until the server takes another connection.
    if (!std::exchange(m_refused, true) && OnLog)
        OnLog(QStringLiteral("The server refuses another connection (%1): the transfers wait and are tried "
                             "again every %2 s.")
                  .arg(reason)
                  .arg(RetryRefusedMs / 1000.0));
    if (!m_retryPosted) {
        m_retryPosted = true;
        QTimer::singleShot(RetryRefusedMs, this, [this] {
            m_retryPosted = false;
            StartSoon();
        });
    }
}
