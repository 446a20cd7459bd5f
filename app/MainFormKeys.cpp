// The window's keys: the usual keys of Linux file managers and FTP clients. Each key
// runs what its button, or a double-click, already runs, and only when that could.
//
// Keys that act on remote entries belong to the remote list (Qt::WidgetShortcut), so
// Delete, F2, Backspace and Enter keep their own meaning in the command line, the host
// list and the local browser, and Enter in the command line still sends the command.
// Keys for the whole window (F5, Esc, Ctrl+Q, the page keys) work wherever the focus is.
#include "app/Hints.h"
#include "app/MainForm.h"
#include "app/RemoteListModel.h"
#include "net/ErrorBoundary.h"

#include <QApplication>
#include <QHelpEvent>
#include <QShortcut>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QToolButton>
#include <QToolTip>
#include <QTreeView>
#include <QTreeWidget>

namespace {

const QKeySequence kEnter(Qt::Key_Enter); // named "Enter" in hints, where Return reads "Return"
const QKeySequence kReturn(Qt::Key_Return);
const QKeySequence kBackspace(Qt::Key_Backspace);
const QKeySequence kAltUp(Qt::ALT | Qt::Key_Up);

QShortcut* NewKey(QWidget* scope, const QList<QKeySequence>& keys, Qt::ShortcutContext context,
                  std::function<void()> action)
{
    auto* key = new QShortcut(scope);
    key->setKeys(keys);
    key->setContext(context);
    // A held key would repeat a command that asks first, or refuse with a beep.
    key->setAutoRepeat(false);
    QObject::connect(key, &QShortcut::activated, scope, Guarded(std::move(action)));
    return key;
}

// A key that clicks a button, so that the button's own handler runs the way it runs
// for the mouse. A disabled button is not clicked: the idle rule, which runs before
// every key press, and the selection handlers decide for the key as for the mouse.
void ClickKey(QAbstractButton* button, QWidget* scope, const QList<QKeySequence>& keys, Qt::ShortcutContext context,
              std::function<bool()> possible = [] { return true; })
{
    NewKey(scope, keys, context, [button, possible = std::move(possible)] {
        if (button->isEnabled() && possible())
            button->click();
    });
    ShowKeyInHint(button, keys.first());
}

int UpRow(TRemoteListModel& model)
{
    model.Flush();
    for (int row = 0; row < model.Count(); ++row)
        if (model.Caption(row) == QLatin1String(".."))
            return row;
    return -1;
}

void SelectOnly(QTreeView* list, const QModelIndex& row)
{
    list->selectionModel()->setCurrentIndex(row, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

// Enter: what a double-click does to the entry (a folder is entered, a file asked
// about and downloaded). Several selected entries go as the Download button sends
// them. With nothing selected, the row under the cursor is meant.
void OpenByKey(TMainForm& form)
{
    TRemoteSession& session = form.RemoteSession();
    QItemSelectionModel* selection = form.lvRemoteFiles->selectionModel();
    const QPersistentModelIndex current = form.lvRemoteFiles->currentIndex();
    if (!session.Available() || (!selection->hasSelection() && !current.isValid()))
        return;
    if (selection->selectedRows().size() > 1) {
        form.sbtnDownload->click();
        return;
    }
    session.Run([&form, selection, current] {
        if (!selection->hasSelection())
            SelectOnly(form.lvRemoteFiles, current);
        form.lvRemoteFilesDblClick();
    });
}

// Backspace and Alt+Up: a double-click on "..", or, in the listing sent right after
// connecting, which comes without that row, what it would do.
void ParentByKey(TMainForm& form)
{
    TRemoteSession& session = form.RemoteSession();
    if (!session.Available())
        return;
    const int up = UpRow(*form.RemoteFiles());
    session.Run([&form, &session, up] {
        if (up < 0) {
            session.OpenParent();
            return;
        }
        SelectOnly(form.lvRemoteFiles, form.RemoteFiles()->index(up, 0));
        form.lvRemoteFilesDblClick();
    });
}

// Shows a page as clicking its tab does. A key pressed outside the pages takes the
// focus along to where it last was on that page, as tabbed programs do; from inside
// the pages the tab widget moves the focus itself.
void ShowPageByKey(TMainForm& form, int index)
{
    QTabWidget* pages = form.pgctlFTP;
    pages->setCurrentIndex((index + pages->count()) % pages->count());
    const QWidget* focus = QApplication::focusWidget();
    if (focus && pages->isAncestorOf(focus))
        return;
    QWidget* page = pages->currentWidget();
    QWidget* target = page->focusWidget();
    if (!target || !target->isVisibleTo(page) || !target->isEnabled())
        target = page == form.tbshtListing ? static_cast<QWidget*>(form.lvRemoteFiles) : form.lvSites;
    target->setFocus(Qt::ShortcutFocusReason);
}

// The ".." row's tool tip names the keys that go up, as a button's hint would.
class TRemoteListHints : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override
    {
        if (event->type() == QEvent::ToolTip && index.siblingAtColumn(0).data().toString() == QLatin1String("..")) {
            QToolTip::showText(event->globalPos(),
                               QStringLiteral("Parent folder (%1, %2)")
                                   .arg(kBackspace.toString(QKeySequence::NativeText), kAltUp.toString(QKeySequence::NativeText)),
                               view, view->visualRect(index));
            return true;
        }
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    }
};

} // namespace

void TMainForm::CreateKeys()
{
    // The selection alone enables Delete and Rename; their keys want a connection too.
    const auto available = [this] { return RemoteSession().Available(); };

    // The whole window.
    ClickKey(sbtnRefresh, this, {QKeySequence(Qt::Key_F5)}, Qt::WindowShortcut);
    ClickKey(btnStop, this, {QKeySequence(Qt::Key_Escape)}, Qt::WindowShortcut);
    ClickKey(tbtnClose, this, {QKeySequence(Qt::CTRL | Qt::Key_Q)}, Qt::WindowShortcut);
    // Alt+number goes straight to a page (as in browsers and terminals); Ctrl+PgDn and
    // Ctrl+Tab, Ctrl+PgUp and Ctrl+Shift+Tab step through them, as inside any tab
    // widget, here from anywhere in the window.
    for (int page = 0; page < pgctlFTP->count(); ++page) {
        const QKeySequence key(Qt::ALT | Qt::Key(Qt::Key_1 + page));
        NewKey(this, {key}, Qt::WindowShortcut, [this, page] { ShowPageByKey(*this, page); })->setAutoRepeat(true);
        pgctlFTP->setTabToolTip(page, WithKey(pgctlFTP->tabText(page), key));
    }
    const auto step = [this](int by) { return [this, by] { ShowPageByKey(*this, pgctlFTP->currentIndex() + by); }; };
    NewKey(this, {QKeySequence(Qt::CTRL | Qt::Key_PageDown), QKeySequence(Qt::CTRL | Qt::Key_Tab)}, Qt::WindowShortcut,
           step(1))->setAutoRepeat(true);
    NewKey(this,
           {QKeySequence(Qt::CTRL | Qt::Key_PageUp), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab),
            QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab)},
           Qt::WindowShortcut, step(-1))->setAutoRepeat(true);

    // The remote list.
    NewKey(lvRemoteFiles, {kEnter, kReturn}, Qt::WidgetShortcut, [this] { OpenByKey(*this); });
    ShowKeyInHint(sbtnDownload, kEnter);
    NewKey(lvRemoteFiles, {kBackspace, kAltUp}, Qt::WidgetShortcut, [this] { ParentByKey(*this); });
    ClickKey(sbtnDeleteFile, lvRemoteFiles, {QKeySequence(Qt::Key_Delete)}, Qt::WidgetShortcut, available);
    ClickKey(sbtnRename, lvRemoteFiles, {QKeySequence(Qt::Key_F2)}, Qt::WidgetShortcut, available);
    ClickKey(sbtnMkDir, lvRemoteFiles, {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N)}, Qt::WidgetShortcut);
    lvRemoteFiles->setItemDelegate(new TRemoteListHints(lvRemoteFiles));

    // The host list: Enter connects, as in the site managers of FTP clients (a
    // double-click edits the host).
    ClickKey(sbtnConnect, lvSites, {kEnter, kReturn}, Qt::WidgetShortcut);
}
