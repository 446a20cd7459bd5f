#include "RemoteFormFixture.h"

#include "app/RemoteListModel.h"
#include "app/TransferQueueModel.h"
#include "app/TransferRunner.h"
#include "ftp/FTPClient.h"

#include <QPlainTextEdit>
#include <QTest>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>

THostEntry RemoteFormTest::Host(const QString& user, const QString& password, const QString& remoteDir,
                                const QString& host)
{
    // Active mode: the scripted server's data connections answer "PORT".
    return {host, QStringLiteral("test host"), user, password, QString(), remoteDir, DefaultFtpPort, false};
}

void RemoteFormTest::MakeForm(const std::vector<THostEntry>& hosts, quint16 port, const QString& windowStateFile)
{
    ASSERT_TRUE(dir.isValid());
    const QString hostsFile = dir.filePath(QStringLiteral("ferrit.vth"));
    // The window connects to the port of the host it connects to.
    std::vector<THostEntry> atPort = hosts;
    for (THostEntry& host : atPort)
        if (host.Port == DefaultFtpPort)
            host.Port = port;
    WriteHostsFile(hostsFile, atPort);
    form = std::make_unique<TMainForm>(hostsFile, windowStateFile);
    form->SetTrustedCertificatesFile(dir.filePath(QStringLiteral("trusted-certificates")));
    auto scripted = std::make_unique<TAnsweringDialogs>();
    dialogs = scripted.get();
    form->SetDialogs(std::move(scripted));
    auto recorded = std::make_unique<TRecordedSounds>();
    sounds = recorded.get();
    form->SetSounds(std::move(recorded));
    form->FTPClient1->Port = port;
    // A silent server must not hold a test for the default half minute.
    form->FTPClient1->InactivityTimeOut = 5000;
}

void RemoteFormTest::TearDown()
{
    if (!form)
        return;
    Transfers().CancelAll();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !Transfers().Active(); }, 10000));
}

TTransferRunner& RemoteFormTest::Transfers() const
{
    return *form->RemoteSession().Transfers();
}

const std::vector<TTransferItem>& RemoteFormTest::Items() const
{
    return Transfers().Queue().Items();
}

QStringList RemoteFormTest::States() const
{
    QStringList states;
    for (const TTransferItem& item : Items())
        states << StateText(item);
    return states;
}

bool RemoteFormTest::WaitUntilIdle(int ms)
{
    return QTest::qWaitFor([&] {
        return !Transfers().Active() && Transfers().PendingRequests() == 0
               && std::none_of(Items().begin(), Items().end(),
                               [](const TTransferItem& item) { return item.State == TTransferState::Waiting; });
    }, ms);
}

void RemoteFormTest::SelectSite(int row)
{
    QTreeWidgetItem* item = form->lvSites->topLevelItem(row);
    ASSERT_NE(item, nullptr);
    form->lvSites->clearSelection();
    item->setSelected(true);
}

void RemoteFormTest::Click(QAbstractButton* button)
{
    form->IdleHandler();
    ASSERT_TRUE(button->isEnabled()) << button->objectName().toStdString() << " is disabled";
    button->click();
}

void RemoteFormTest::Connect(int site)
{
    SelectSite(site);
    Click(form->sbtnConnect);
}

void RemoteFormTest::SelectRemote(const QStringList& captions)
{
    TRemoteListModel* model = form->RemoteFiles();
    model->Flush();
    QItemSelectionModel* selection = form->lvRemoteFiles->selectionModel();
    selection->clearSelection();
    for (const QString& caption : captions) {
        bool found = false;
        for (int row = 0; row < model->Count(); ++row)
            if (model->Entry(row).Caption == caption) {
                selection->select(model->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
                found = true;
            }
        ASSERT_TRUE(found) << caption.toStdString();
    }
}

QStringList RemoteFormTest::RemoteCaptions() const
{
    TRemoteListModel* model = form->RemoteFiles();
    model->Flush();
    QStringList captions;
    for (int row = 0; row < model->Count(); ++row)
        captions << model->Entry(row).Caption;
    return captions;
}

QStringList RemoteFormTest::SelectedRemote() const
{
    QStringList captions;
    for (const QModelIndex& index : form->lvRemoteFiles->selectionModel()->selectedRows())
        captions << form->RemoteFiles()->Entry(index.row()).Caption;
    captions.sort();
    return captions;
}

QStringList RemoteFormTest::LogLines() const
{
    return form->mmoStatus->toPlainText().split(u'\n');
}
