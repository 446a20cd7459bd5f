#include "app/EntryQuestions.h"

namespace {

QString Counted(int count, const QString& one, const QString& many)
{
    return QStringLiteral("%1 %2").arg(count).arg(count == 1 ? one : many);
}

// "3 files and 1 folder", "2 folders"; empty for nothing.
QString FilesAndFolders(int files, int folders)
{
    QStringList parts;
    if (files > 0)
        parts << Counted(files, QStringLiteral("file"), QStringLiteral("files"));
    if (folders > 0)
        parts << Counted(folders, QStringLiteral("folder"), QStringLiteral("folders"));
    return parts.join(QStringLiteral(" and "));
}

QString OneFolderQuestion(const TDeleteTarget& folder)
{
    const QString held = FilesAndFolders(folder.Files, folder.Folders);
    if (held.isEmpty())
        return QStringLiteral("Delete the empty folder \"%1\"?").arg(folder.Caption);
    return QStringLiteral("Delete the folder \"%1\" with the %2 in it?").arg(folder.Caption, held);
}

} // namespace

QString DeleteQuestion(const std::vector<TDeleteTarget>& targets)
{
    if (targets.size() == 1)
        return targets.front().Folder ? OneFolderQuestion(targets.front())
                                      : QStringLiteral("Delete \"%1\"?").arg(targets.front().Caption);
    int files = 0, folders = 0;
    for (const TDeleteTarget& target : targets) {
        ++(target.Folder ? folders : files);
        files += target.Files;
        folders += target.Folders;
    }
    if (folders == 0)
        return QStringLiteral("Delete %1 file(s) ?").arg(targets.size());
    return QStringLiteral("Delete %1 entries with everything in them: %2 in all?")
        .arg(targets.size())
        .arg(FilesAndFolders(files, folders));
}

QString TransferQuestion(const QString& verb, qsizetype count, const QString& name, bool folder)
{
    if (count != 1)
        return QStringLiteral("%1 %2 file(s) ?").arg(verb).arg(count);
    return folder ? QStringLiteral("%1 the folder \"%2\" with everything in it?").arg(verb, name)
                  : QStringLiteral("%1 \"%2\"?").arg(verb, name);
}
