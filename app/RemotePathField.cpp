#include "app/RemotePathField.h"
#include "ftp/WireText.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QSignalBlocker>
#include <algorithm>

QStringList WithRecentFolder(QStringList folders, const QString& folder, int limit)
{
    folders.removeAll(folder);
    folders.prepend(folder);
    return folders.mid(0, limit);
}

TRecentFolders::TRecentFolders(QList<TRecentRemoteFolders> accounts) : m_accounts(std::move(accounts))
{
    for (TRecentRemoteFolders& account : m_accounts)
        account.Folders = account.Folders.mid(0, MaxRecentFolders);
    m_accounts = m_accounts.mid(0, MaxRecentAccounts);
}

QStringList TRecentFolders::Of(const QString& host, int port, const QString& user) const
{
    const auto found = std::find_if(m_accounts.begin(), m_accounts.end(),
                                    [&](const TRecentRemoteFolders& account) { return account.SameAccount(host, port, user); });
    return found == m_accounts.end() ? QStringList() : found->Folders;
}

void TRecentFolders::Add(const QString& host, int port, const QString& user, const QString& folder)
{
    TRecentRemoteFolders account{host, port, user, {}};
    const auto found = std::find_if(m_accounts.begin(), m_accounts.end(),
                                    [&](const TRecentRemoteFolders& known) { return known.SameAccount(host, port, user); });
    if (found != m_accounts.end()) {
        account = *found;
        m_accounts.erase(found);
    }
    account.Folders = WithRecentFolder(account.Folders, folder);
    m_accounts.prepend(account);
    m_accounts = m_accounts.mid(0, MaxRecentAccounts);
}

TRemotePathBox::TRemotePathBox(QWidget* parent) : QComboBox(parent)
{
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    // Completing inline would put a longer folder under Enter than the one typed.
    setCompleter(nullptr);
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    setMinimumContentsLength(20);
    lineEdit()->setPlaceholderText(QStringLiteral("Remote folder"));
    connect(this, &QComboBox::activated, this, [this](int index) { emit FolderChosen(itemData(index).toString()); });
}

void TRemotePathBox::ShowFolders(const QStringList& folders, const QString& current, bool automaticNames)
{
    const QSignalBlocker quiet(this);
    clear();
    for (const QString& folder : folders)
        addItem(DisplayText(folder, automaticNames), folder);
    const int index = current.isEmpty() ? -1 : findData(current);
    setCurrentIndex(index);
    setEditText(index >= 0 ? itemText(index) : DisplayText(current, automaticNames));
}

QString TRemotePathBox::Path() const
{
    const QString text = currentText();
    const int index = findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    return index >= 0 ? itemData(index).toString() : text;
}

bool TRemotePathBox::event(QEvent* event)
{
    // Escape is also the window's Stop key: here it is the box's while nothing runs.
    if (event->type() == QEvent::ShortcutOverride && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape
        && static_cast<QKeyEvent*>(event)->modifiers() == Qt::NoModifier && OwnsEscape()) {
        event->accept();
        return true;
    }
    return QComboBox::event(event);
}

void TRemotePathBox::keyPressEvent(QKeyEvent* event)
{
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        emit PathEntered(Path());
        return;
    case Qt::Key_Escape:
        if (plain) {
            emit Escaped();
            return;
        }
        break;
    case Qt::Key_Up:
    case Qt::Key_Down:
        if (plain) {
            showPopup();
            return;
        }
        break;
    default: break;
    }
    QComboBox::keyPressEvent(event);
}

void TRemotePathBox::wheelEvent(QWheelEvent* event)
{
    event->ignore();
}
