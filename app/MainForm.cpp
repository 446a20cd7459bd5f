#include "app/MainForm.h"
#include "app/AppInfo.h"
#include "app/Dialogs.h"
#include "app/HostDlg.h"
#include "app/Sounds.h"
#include "app/Splash.h"
#include "app/StatusBar.h"
#include "net/ErrorBoundary.h"
#include "net/Exception.h"
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QLineEdit>
#include <QPointer>
#include <QStatusTipEvent>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

TMainForm::TMainForm(const QString& hostsFile, const QString& windowStateFile, QWidget* parent)
    : QMainWindow(parent),
      m_session(std::make_unique<TRemoteSession>(RemoteWindowSide())),
      Busy(m_session->Busy),
      FTPClient1(m_session->Client()),
      uRegistry(m_session->Registry()),
      m_hostsFile(hostsFile),
      m_windowStateFile(windowStateFile),
      m_dialogs(std::make_unique<TMessageBoxes>(this)),
      m_sounds(std::make_unique<TCanberraSounds>())
{
    m_previousErrorHandler = SetExceptionHandler([this](std::exception_ptr error) {
        ShowApplicationError(ExceptionText(error));
    });
    CreateLayout();
    HostDlg = new THostDlg(this);
    SetUpRemoteSide();
    BindHandlers();
    CreateKeys();
    RestoreWindowState(m_windowStateFile.isEmpty() ? TWindowState() : ReadWindowState(m_windowStateFile));
    FormCreate();
}

TMainForm::~TMainForm()
{
    // The client says goodbye to the server while the window is still whole.
    m_session->ReleaseClient();
    FTPClient1 = nullptr;
    SetExceptionHandler(std::move(m_previousErrorHandler));
}

void TMainForm::SetDialogs(std::unique_ptr<TDialogs> dialogs)
{
    m_dialogs = std::move(dialogs);
}

void TMainForm::SetSounds(std::unique_ptr<TSounds> sounds)
{
    m_sounds = std::move(sounds);
}

// The application's general error handler: an error no handler caught ends
// that handler, is shown here, and the program goes on.
void TMainForm::ShowApplicationError(const QString& text)
{
    m_dialogs->ShowError(ApplicationTitle, text);
}

void TMainForm::BindHandlers()
{
    OnClick(tbtnClose, [this] { tbtnCloseClick(); });
    OnClick(btnStop, [this] { btnStopClick(); });
    OnClick(tbtnAbout, [this] { tbtnAboutClick(); });
    OnClick(sbtnAdd, [this] { sbtnAddClick(); });
    OnClick(sbtnEdit, [this] { sbtnEditClick(); });
    OnClick(sbtnDelete, [this] { sbtnDeleteClick(); });
    connect(grpViewStyle, &QButtonGroup::buttonClicked, this,
            Guarded([this](QAbstractButton* button) { ListTypeSelect(button); }));
    connect(pgctlFTP, &QTabWidget::currentChanged, this, Guarded([this](int) { pgctlFTPChange(); }));
    connect(lvSites, &QTreeWidget::itemSelectionChanged, this, Guarded([this] { lvSitesChange(); }));
    connect(SystemListView, &TSystemListView::SelectionChanged, this, Guarded([this] { SystemListViewChange(); }));
    lvSites->viewport()->installEventFilter(this);
    // A name edited in place is saved as soon as the list has it.
    connect(lvSites, &QTreeWidget::itemChanged, this, Guarded([this](QTreeWidgetItem*, int) { SaveHosts(); }));
    // The idle rule runs whenever the event queue has run empty, and before any
    // click or key press, so that it holds even inside loops that never wait.
    // The queue runs empty once per block of a transfer: there only a change of
    // what the rule reads is worth touching the controls for.
    connect(QAbstractEventDispatcher::instance(thread()), &QAbstractEventDispatcher::aboutToBlock, this,
            Guarded([this] { IdleIfChanged(); }));
    qApp->installEventFilter(this);
}

void TMainForm::FormCreate()
{
    Busy = false;
    pgctlFTP->setCurrentWidget(tbshtStatus);
    SystemTreeView->SetDirectory(StartFolder());
    LoadHosts();
    lvSitesChange();
    lvRemoteFilesChange();
    SystemListViewChange();
    IdleHandler();
}

bool TMainForm::FormClose()
{
    try {
        SaveHosts();
        return true;
    } catch (const Exception& error) {
        // Closing anyway would lose the host list's changes: let the user decide.
        m_dialogs->ShowError(ApplicationTitle, error.Message());
        m_sounds->Play(TSound::Question);
        return m_dialogs->Confirm(QStringLiteral("The host list could not be saved. Close anyway and lose its changes?"));
    }
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    try {
        if (m_session->CloseWhenIdle() && FormClose()) {
            SaveWindowState();
            event->accept();
        }
        else
            event->ignore();
    } catch (...) {
        event->ignore();
        HandleException(std::current_exception());
    }
}

void TMainForm::tbtnCloseClick()
{
    close();
}

void TMainForm::btnStopClick()
{
    m_session->Stop();
}

void TMainForm::tbtnAboutClick()
{
    QPointer<TfrmSplash> frmSplash = new TfrmSplash(this);
    frmSplash->ShowAsAbout();
    frmSplash->exec();
}

void TMainForm::DisplayHint(const QString& hint)
{
    StatusBar1->SetPanelText(1, hint);
    StatusBar1->RepaintNow();
}

bool TMainForm::event(QEvent* event)
{
    // Long hints go to status bar panel 1 instead of Qt's temporary message.
    if (event->type() == QEvent::StatusTip) {
        try {
            DisplayHint(static_cast<QStatusTipEvent*>(event)->tip());
        } catch (...) {
            HandleException(std::current_exception());
        }
        return true;
    }
    if (event->type() == QEvent::Show)
        QTimer::singleShot(0, this, Guarded([this] {
            if (!std::exchange(m_fittedWithFrame, true) && !isMaximized())
                FitWindowToScreen();
            ReportHostsFileProblem();
        }));
    return QMainWindow::event(event);
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::ShortcutOverride:
        Guarded([this] { IdleHandler(); })();
        break;
    default:
        break;
    }
    if (watched == lvSites->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        Guarded([this] { lvSitesDblClick(); })();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TMainForm::IdleIfChanged()
{
    if (m_idleState != std::tuple(m_session->Connected(), m_session->Available(), Busy, m_session->Stoppable()))
        IdleHandler();
}

void TMainForm::IdleHandler()
{
    const bool connected = m_session->Connected();
    // After a dropped connection the operations stay at hand: starting one reconnects.
    const bool available = m_session->Available();
    m_idleState = std::tuple(connected, available, Busy, m_session->Stoppable());
    for (QWidget* control : std::initializer_list<QWidget*>{sbtnRefresh, sbtnMkDir, sbtnASCII, sbtnBinary, cbRemotePath})
        control->setEnabled(available);
    sbtnDisconnect->setEnabled(connected);
    btnStop->setEnabled(m_session->Stoppable());
    SetCommandRowEnabled(available && !Busy);
}

void TMainForm::SetCommandRowEnabled(bool enabled)
{
    pnlFTPCommandLine->setEnabled(enabled);
    const QColor background = QApplication::palette().color(enabled ? QPalette::Base : QPalette::Button);
    if (edtFTPCommand->palette().color(QPalette::Disabled, QPalette::Base) == background
        && edtFTPCommand->palette().color(QPalette::Active, QPalette::Base) == background)
        return;
    QPalette palette = edtFTPCommand->palette();
    palette.setColor(QPalette::Base, background);
    edtFTPCommand->setPalette(palette);
}

void TMainForm::ListTypeSelect(QAbstractButton* sender)
{
    switch (sender->property("Tag").toInt()) {
    case 2: SystemListView->SetViewStyle(TViewStyle::vsSmallIcon); break;
    case 3: SystemListView->SetViewStyle(TViewStyle::vsList); break;
    case 4: SystemListView->SetViewStyle(TViewStyle::vsReport); break;
    default: SystemListView->SetViewStyle(TViewStyle::vsIcon); break;
    }
}

void TMainForm::pgctlFTPChange()
{
    if (pgctlFTP->currentWidget() != tbshtListing)
        return;
    pnlListing->setGeometry(tbshtListing->rect());
    pnlListing->update();
    lvRemoteFiles->viewport()->update();
}

void TMainForm::lvSitesChange()
{
    const bool selected = !lvSites->selectedItems().isEmpty();
    for (QToolButton* button : {sbtnDelete, sbtnEdit, sbtnConnect})
        button->setEnabled(selected);
}

void TMainForm::lvRemoteFilesChange()
{
    const bool selected = lvRemoteFiles->selectionModel()->hasSelection();
    for (QToolButton* button : {sbtnDeleteFile, sbtnRename, sbtnDownload})
        button->setEnabled(selected);
}

void TMainForm::SystemListViewChange()
{
    sbtnUpload->setEnabled(SystemListView->SelCount() > 0);
}
