#include "shellbrowser/ItemMenu.h"
#include "shellbrowser/FileJob.h"
#include "shellbrowser/ShellDialogs.h"
#include "shellbrowser/ViewHelpers.h"
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLocale>
#include <QMenu>
#include <QMimeData>
#include <QUrl>

namespace {

const char* const CutMarkFormat = "x-special/gnome-copied-files";

QString NameList(const QStringList& paths)
{
    if (paths.size() == 1)
        return QStringLiteral("\"%1\"").arg(QFileInfo(paths.first()).fileName());
    return QStringLiteral("these %1 items").arg(paths.size());
}

// A name in dir that does not exist yet: "name", "name (2)", "name (3)" ...
QString FreeName(const QDir& dir, const QString& name)
{
    if (!QFileInfo::exists(dir.filePath(name)))
        return dir.filePath(name);
    const QFileInfo info(name);
    const QString base = info.isDir() ? name : info.completeBaseName();
    const QString suffix = info.completeSuffix().isEmpty() ? QString() : QLatin1Char('.') + info.completeSuffix();
    for (int n = 2;; ++n) {
        const QString candidate = dir.filePath(QStringLiteral("%1 (%2)%3").arg(base).arg(n).arg(suffix));
        if (!QFileInfo::exists(candidate))
            return candidate;
    }
}

class TContextMenu {
public:
    TContextMenu(const ShellFolderPtr& folder, const std::vector<ItemIDList>& ids, QWidget* owner)
        : m_owner(owner), m_site(dynamic_cast<TItemMenuSite*>(owner))
    {
        for (const ItemIDList& id : ids)
            if (const QString path = folder->GetPathOf(id); !path.isEmpty()) {
                m_paths.append(path);
                m_renamable = folder->GetAttributesOf(id, SFGAO_CANRENAME) != 0;
            }
    }

    bool HasPaths() const { return !m_paths.isEmpty(); }
    bool SingleFolder() const { return m_paths.size() == 1 && QFileInfo(m_paths.first()).isDir(); }

    void Fill(QMenu& menu)
    {
        QAction* open = Add(menu, "actOpen", QStringLiteral("&Open"), "document-open", [this] { return Open(); });
        menu.setDefaultAction(open);
        if (m_paths.size() == 1)
            Add(menu, "actOpenContaining", QStringLiteral("Open Containing &Folder"), "folder-open", [this] { return OpenContaining(); });
        menu.addSeparator();
        Add(menu, "actCut", QStringLiteral("Cu&t"), "edit-cut", [this] { return ToClipboard(true); });
        Add(menu, "actCopy", QStringLiteral("&Copy"), "edit-copy", [this] { return ToClipboard(false); });
        if (SingleFolder()) {
            const QMimeData* clip = QGuiApplication::clipboard()->mimeData();
            Add(menu, "actPaste", QStringLiteral("&Paste"), "edit-paste", [this] { return Paste(); })->setEnabled(clip && clip->hasUrls());
        }
        menu.addSeparator();
        if (m_paths.size() == 1 && m_site)
            Add(menu, "actRename", QStringLiteral("&Rename"), "edit-rename", [this] { return m_site->BeginRename(), true; })
                ->setEnabled(m_renamable);
        Add(menu, "actTrash", QStringLiteral("Move to T&rash"), "user-trash", [this] { return Remove(true); });
        Add(menu, "actDelete", QStringLiteral("&Delete"), "edit-delete", [this] { return Remove(false); });
        menu.addSeparator();
        Add(menu, "actCopyLocation", QStringLiteral("Copy &Location"), "edit-copy", [this] { return CopyLocation(); });
        if (SingleFolder())
            Add(menu, "actNewFolder", QStringLiteral("&New Folder..."), "folder-new", [this] { return NewFolder(); });
        if (m_paths.size() == 1) {
            menu.addSeparator();
            Add(menu, "actProperties", QStringLiteral("P&roperties"), "document-properties", [this] { return Properties(); });
        }
    }

    bool Open()
    {
        bool ok = true;
        for (const QString& path : m_paths)
            ok = ShellDialogs().OpenUrl(QUrl::fromLocalFile(path)) && ok;
        return ok;
    }

    bool Invoke(QAction* chosen)
    {
        const auto it = m_commands.find(chosen);
        return it == m_commands.end() || it->second();
    }

private:
    template <class F>
    QAction* Add(QMenu& menu, const char* name, const QString& text, const char* icon, F command)
    {
        QAction* action = menu.addAction(QIcon::fromTheme(QString::fromLatin1(icon)), text);
        action->setObjectName(QString::fromLatin1(name));
        m_commands.emplace(action, std::function<bool()>(command));
        return action;
    }

    bool OpenContaining()
    {
        return ShellDialogs().OpenUrl(QUrl::fromLocalFile(QFileInfo(m_paths.first()).absolutePath()));
    }

    bool ToClipboard(bool cut)
    {
        auto data = std::make_unique<QMimeData>();
        QList<QUrl> urls;
        QByteArray marked = cut ? "cut" : "copy";
        for (const QString& path : m_paths) {
            urls.append(QUrl::fromLocalFile(path));
            marked += '\n' + QUrl::fromLocalFile(path).toEncoded();
        }
        data->setUrls(urls);
        data->setData(QString::fromLatin1(CutMarkFormat), marked);
        QGuiApplication::clipboard()->setMimeData(data.release());
        return true;
    }

    bool Paste()
    {
        const QMimeData* clip = QGuiApplication::clipboard()->mimeData();
        if (!clip || !clip->hasUrls())
            return false;
        const bool cut = clip->data(QString::fromLatin1(CutMarkFormat)).startsWith("cut");
        const QDir target(m_paths.first());
        QStringList sources;
        for (const QUrl& url : clip->urls())
            if (!url.toLocalFile().isEmpty())
                sources.append(url.toLocalFile());
        const QString error = RunFileJob(m_owner, cut ? QStringLiteral("Moving files...") : QStringLiteral("Copying files..."),
                                         [&](TFileJobProgress& progress) { return PasteInto(sources, target, cut, progress); });
        if (cut && error.isEmpty())
            QGuiApplication::clipboard()->clear();
        return Finish(error.isEmpty(), error);
    }

    // Never replaces an entry; a moved source is removed only once its copy is whole.
    static QString PasteInto(const QStringList& sources, const QDir& target, bool cut, TFileJobProgress& progress)
    {
        for (const QString& source : sources)
            progress.Total += TreeSize(source);
        for (const QString& source : sources) {
            const QString destination = FreeName(target, QFileInfo(source).fileName());
            if (cut && QFile::rename(source, destination))
                continue;
            if (QString error = CopyTree(source, destination, progress); !error.isEmpty())
                return error;
            if (cut && !RemoveTree(source).isEmpty())
                return QStringLiteral("\"%1\" was copied but could not be removed.").arg(source);
        }
        return {};
    }

    bool Remove(bool toTrash)
    {
        const QString question = toTrash ? QStringLiteral("Move %1 to the trash?").arg(NameList(m_paths))
                                         : QStringLiteral("Permanently delete %1? This cannot be undone.").arg(NameList(m_paths));
        if (!ShellDialogs().Confirm(m_owner, question))
            return true;
        const QStringList paths = m_paths;
        const QString error = RunFileJob(m_owner, toTrash ? QStringLiteral("Moving to the trash...") : QStringLiteral("Deleting..."),
                                         [&](TFileJobProgress&) -> QString {
                                             for (const QString& path : paths) {
                                                 const QString name = QFileInfo(path).fileName();
                                                 if (!toTrash) {
                                                     if (QString failed = RemoveTree(path); !failed.isEmpty())
                                                         return failed;
                                                 } else if (!QFile::moveToTrash(path)) {
                                                     return QStringLiteral("Could not move \"%1\" to the trash.").arg(name);
                                                 }
                                             }
                                             return {};
                                         });
        return Finish(error.isEmpty(), error);
    }

    bool CopyLocation()
    {
        QGuiApplication::clipboard()->setText(m_paths.join(QLatin1Char('\n')));
        return true;
    }

    bool NewFolder()
    {
        const auto name = ShellDialogs().AskText(m_owner, QStringLiteral("New Folder"), QStringLiteral("Folder name:"),
                                                 QStringLiteral("New Folder"));
        if (!name || name->isEmpty())
            return true;
        const QDir parent(m_paths.first());
        QString error;
        if (name->contains(QLatin1Char('/')))
            error = QStringLiteral("A name cannot contain \"/\".");
        else if (QFileInfo::exists(parent.filePath(*name)))
            error = QStringLiteral("\"%1\" already exists.").arg(*name);
        else if (!parent.mkdir(*name))
            error = QStringLiteral("Could not create the folder \"%1\".").arg(*name);
        return Finish(error.isEmpty(), error);
    }

    bool Properties()
    {
        const QFileInfo info(m_paths.first());
        const QLocale locale;
        QString text = QStringLiteral("Name: %1\nLocation: %2\n").arg(info.fileName(), info.absolutePath());
        if (info.isSymLink())
            text += QStringLiteral("Link to: %1\n").arg(info.symLinkTarget());
        if (!info.isDir())
            text += QStringLiteral("Size: %1 (%2 bytes)\n").arg(locale.formattedDataSize(info.size()), locale.toString(info.size()));
        text += QStringLiteral("Modified: %1\nOwner: %2\nPermissions: %3")
                    .arg(locale.toString(info.lastModified(), QLocale::LongFormat), info.owner(),
                         QString::number(int(info.permissions() & 0x7777), 8));
        ShellDialogs().Inform(m_owner, QStringLiteral("Properties"), text);
        return true;
    }

    // Reports a failure and refreshes the site either way: some entries may
    // have changed before a failure.
    bool Finish(bool ok, const QString& error)
    {
        if (m_site)
            m_site->ContentsChanged();
        if (!ok)
            ShellDialogs().Error(m_owner, error);
        return ok;
    }

    QWidget* m_owner;
    TItemMenuSite* m_site;
    QStringList m_paths;
    bool m_renamable = false;
    std::map<QAction*, std::function<bool()>> m_commands;
};

}

bool DisplayContextMenu(const ShellFolderPtr& folder, const std::vector<ItemIDList>& ids, quint32,
                        const QPoint& screenPoint, QWidget* owner)
{
    if (!folder || ids.empty())
        return false;
    TContextMenu object(folder, ids, owner);
    if (!object.HasPaths())
        return false;
    QMenu menu(owner);
    menu.setObjectName(QStringLiteral("ItemMenu"));
    object.Fill(menu);
    QAction* chosen = ShellDialogs().ExecMenu(menu, screenPoint);
    return !chosen || object.Invoke(chosen);
}

bool InvokeVerb(const ShellFolderPtr& folder, const std::vector<ItemIDList>& ids, const QString& verb, QWidget* owner)
{
    if (!folder || ids.empty())
        return false;
    TContextMenu object(folder, ids, owner);
    if (!object.HasPaths())
        return false;
    QMenu menu;
    object.Fill(menu);
    QAction* action = menu.findChild<QAction*>(verb);
    return action && action->isEnabled() && object.Invoke(action);
}

bool DefaultAction(const ShellFolderPtr& folder, const std::vector<ItemIDList>& ids, quint32, QWidget* owner)
{
    if (!folder || ids.empty())
        return false;
    TContextMenu object(folder, ids, owner);
    TBusyCursor busy;
    return object.HasPaths() && object.Open();
}
