#pragma once
// The remote path field above the remote list: it shows the folder the server
// reported, takes a typed path, and offers the account's recent folders.
// Folders are kept as the server named them (its bytes, see ftp/WireText.h) and
// shown decoded.
#include "app/WindowState.h"

#include <QComboBox>
#include <functional>

constexpr int MaxRecentFolders = 10;
// Accounts whose folders are kept; the least recently used one goes first.
constexpr int MaxRecentAccounts = 50;

// `folders` with `folder` put first, once, and no more than `limit` of them.
QStringList WithRecentFolder(QStringList folders, const QString& folder, int limit = MaxRecentFolders);

// The recent folders of every server account (host, port, user).
class TRecentFolders {
public:
    explicit TRecentFolders(QList<TRecentRemoteFolders> accounts = {});
    // The account's folders, most recent first.
    QStringList Of(const QString& host, int port, const QString& user) const;
    // Puts the folder first in the account's list, and the account first.
    void Add(const QString& host, int port, const QString& user, const QString& folder);
    const QList<TRecentRemoteFolders>& Accounts() const { return m_accounts; }

private:
    QList<TRecentRemoteFolders> m_accounts;
};

// The editable box. Enter asks to go to what the edit holds, a choice from the
// drop-down to go to that folder. Up and Down open the drop-down rather than step
// through it, and the wheel is left to the page: each step would change folder.
class TRemotePathBox : public QComboBox {
    Q_OBJECT
public:
    explicit TRemotePathBox(QWidget* parent = nullptr);
    // Lists `folders` and shows `current` in the edit; `automaticNames` as for
    // DisplayText. Empty `current` and `folders`: nothing is shown.
    void ShowFolders(const QStringList& folders, const QString& current, bool automaticNames);
    // What the edit holds: a listed folder's own wire text when it shows one, or else the typed text.
    QString Path() const;
    // Whether Escape belongs to the box now (the list gets the focus back) rather
    // than to the window's Stop.
    std::function<bool()> OwnsEscape = [] { return true; };

signals:
    void PathEntered(const QString& path);
    void FolderChosen(const QString& path);
    void Escaped();

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
};
