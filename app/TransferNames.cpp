#include "app/TransferNames.h"

#include "ftp/TransferTree.h"
#include "ftp/WireText.h"
#include "net/Exception.h"

QString LocalTransferFolder(const QString& directory)
{
    return directory.endsWith(u'/') ? directory : directory + u'/';
}

void CheckEntryName(const QString& name)
{
    if (name.isEmpty())
        throw Exception(QStringLiteral("Refused to transfer a file without a name."));
    if (!IsPlainName(name))
        throw Exception(QStringLiteral("Refused to transfer \"%1\": the name would lead outside "
                                       "the folder, so nothing was written.")
                            .arg(DisplayText(name, false).replace(QChar(0), u'?')));
}

QString LocalTransferFile(const QString& directory, const QString& caption)
{
    if (directory.isEmpty())
        throw Exception(QStringLiteral("No local folder is selected: choose one in the folder tree first."));
    CheckEntryName(caption);
    return LocalTransferFolder(directory) + caption;
}

QString LocalTransferFile(const QString& directory, const QString& caption, const QString& wireName)
{
    const QString file = LocalTransferFile(directory, caption);
    CheckEntryName(wireName);
    return file;
}
