#pragma once
// A main window on a temporary hosts file, with scripted answers for its boxes and a
// record of its sounds, for driving the FTP side headless.
#include "AppTestSupport.h"
#include "app/Dialogs.h"
#include "app/HostsFile.h"
#include "app/MainForm.h"
#include "app/Sounds.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QToolButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <algorithm>
#include <memory>
#include <vector>

class TTransferRunner;

// Whether any of the lines sent is one that `matches`.
template <typename Predicate>
bool AnySent(const QByteArrayList& sent, Predicate matches)
{
    return std::any_of(sent.begin(), sent.end(), matches);
}

struct TTransferItem;

class RemoteFormTest : public ::testing::Test {
protected:
    // The transfer queue's wait ends before the window goes.
    void TearDown() override;
    // A window whose host list holds `hosts`, its FTP client and every host without
    // a port of its own aimed at port `port`; its layout kept in `windowStateFile` when given.
    void MakeForm(const std::vector<THostEntry>& hosts, quint16 port, const QString& windowStateFile = {});
    // A host in active mode.
    static THostEntry Host(const QString& user, const QString& password, const QString& remoteDir = {},
                           const QString& host = QStringLiteral("127.0.0.1"));

    void SelectSite(int row);
    // Runs the idle rule, as the event loop would before the user can click, then clicks.
    void Click(QAbstractButton* button);
    void Connect(int site = 0);
    // Selects the remote entries with these captions (and nothing else).
    void SelectRemote(const QStringList& captions);
    QStringList RemoteCaptions() const;
    QStringList SelectedRemote() const;
    QStringList LogLines() const;
    QStringList Errors() const { return dialogs->Texts(QStringLiteral("error")); }

    // The window's transfer queue.
    TTransferRunner& Transfers() const;
    const std::vector<TTransferItem>& Items() const;
    QStringList States() const; // each item's state as the queue shows it
    // Until the queue has taken every request and nothing waits.
    bool WaitUntilIdle(int ms = 20000);

    QTemporaryDir dir;
    std::unique_ptr<TMainForm> form;
    TAnsweringDialogs* dialogs = nullptr;
    TRecordedSounds* sounds = nullptr;
};
