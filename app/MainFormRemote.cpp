// Wiring of the FTP side: the remote list's model, the FTP client's settings and
// events, the buttons, and the rule that one user command runs at a time.
#include "app/DropTarget.h"
#include "app/MainForm.h"
#include "app/RemoteFileTypes.h"
#include "app/RemoteListModel.h"
#include "app/StatusBar.h"
#include "app/uRegistry.h"
#include "ftp/FTPClient.h"
#include "net/ErrorBoundary.h"
#include "shellbrowser/ViewHelpers.h"

#include <QAbstractButton>
#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

namespace {

// Restores a counter when a command ends, also by an exception.
class TDepth {
public:
    explicit TDepth(int& depth) : m_depth(depth) { ++m_depth; }
    ~TDepth() { --m_depth; }
    TDepth(const TDepth&) = delete;
    TDepth& operator=(const TDepth&) = delete;

private:
    int& m_depth;
};

} // namespace

void TMainForm::OnCommand(QAbstractButton* button, std::function<void()> handler)
{
    connect(button, &QAbstractButton::clicked, this, [this, handler] { RunCommand(handler); });
}

void TMainForm::SetUpRemoteSide()
{
    uRegistry = new TuRegistry(this);
    uRegistry->Root = rkClassesRoot;
    m_remoteTypes = std::make_unique<TRemoteFileTypes>(*uRegistry);
    m_remoteModel = new TRemoteListModel(m_remoteTypes->Images(), this);
    lvRemoteFiles->setModel(m_remoteModel);
    const int widths[] = {100, -1, 120, 80, 120};
    for (int column = 0; column < TRemoteListModel::ColumnCount; ++column)
        if (widths[column] > 0)
            lvRemoteFiles->header()->resizeSection(column, ScaledDesignWidth(lvRemoteFiles, widths[column]));
    connect(lvRemoteFiles->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            Guarded([this](const QItemSelection&, const QItemSelection&) { lvRemoteFilesChange(); }));
    connect(m_remoteModel, &QAbstractItemModel::modelReset, this, Guarded([this](auto&&...) { lvRemoteFilesChange(); }));

    SetUpFTPClient();

    OnCommand(sbtnConnect, [this] { sbtnConnectClick(); });
    OnCommand(sbtnDisconnect, [this] { sbtnDisconnectClick(); });
    OnCommand(sbtnExecute, [this] { sbtnExecuteClick(); });
    OnCommand(sbtn, [this] { sbtnClick(); });
    OnCommand(sbtnRefresh, [this] { sbtnRefreshClick(); });
    OnCommand(sbtnDownload, [this] { sbtnDownloadClick(); });
    OnCommand(sbtnUpload, [this] { sbtnUploadClick(); });
    OnCommand(sbtnDeleteFile, [this] { sbtnDeleteFileClick(); });
    OnCommand(sbtnRename, [this] { sbtnRenameClick(); });
    OnCommand(sbtnMkDir, [this] { sbtnMkDirClick(); });
    OnCommand(sbtnASCII, [this] { sbtnASCIIClick(); });
    OnCommand(sbtnBinary, [this] { sbtnBinaryClick(); });
    connect(edtFTPCommand, &QLineEdit::returnPressed, this,
            [this] { RunCommand([this] { edtFTPCommandKeyPress(QChar(13)); }); });
    connect(lvRemoteFiles, &QAbstractItemView::doubleClicked, this,
            [this] { RunCommand([this] { lvRemoteFilesDblClick(); }); });

    lvRemoteFiles->setDragEnabled(true);
    lvRemoteFiles->setDragDropMode(QAbstractItemView::DragDrop);
    new TDropTarget(lvRemoteFiles->viewport(), [this](QObject* Source) { return lvRemoteFilesDragOver(Source); },
                    [this](QObject* Source) { RunCommand([this, Source] { lvRemoteFilesDragDrop(Source); }); });
    SystemListView->OnDragOver = [this](QObject* Source, bool& Accept) { Accept = SystemListViewDragOver(Source); };
    SystemListView->OnDragDrop = [this](QObject* Source) {
        // The transfer starts once the drag has finished, not inside the drag's own loop.
        QTimer::singleShot(0, this, [this, source = QPointer<QObject>(Source)] {
            if (source)
                RunCommand([this, source] { SystemListViewDragDrop(source); });
        });
    };
}

void TMainForm::RunCommand(const std::function<void()>& command)
{
    // The FTP client does one thing at a time; a second command started from inside
    // the first one's wait would tangle both conversations.
    if (m_commandDepth > 0) {
        QApplication::beep();
        StatusBar1->SetPanelText(1, QStringLiteral("Please wait until the current operation ends, or press Stop."));
        return;
    }
    {
        TDepth depth(m_commandDepth);
        try {
            command();
        } catch (...) {
            // After a close request the command was stopped on purpose: nothing to report.
            if (!m_closePending)
                HandleException(std::current_exception());
        }
    }
    if (m_closePending)
        QTimer::singleShot(0, this, [this] { close(); });
}

bool TMainForm::CanCloseNow()
{
    if (m_commandDepth == 0)
        return true;
    // Closing in the middle of a command would destroy the window under it: stop the
    // command, and close once it has returned.
    m_closePending = true;
    FTPClient1->Abort();
    return false;
}

void TMainForm::StopIfClosing() const
{
    if (m_closePending)
        throw Exception(QStringLiteral("The window is closing."));
}

void TMainForm::ReleaseFTPClient()
{
    // The client says goodbye to the server while the window is still whole.
    delete FTPClient1;
    FTPClient1 = nullptr;
}
