#pragma once
// One process-wide list of icons shared by the tree and the list, so an icon
// index means the same picture in both and each icon is loaded once.
#include <QHash>
#include <QIcon>
#include <QMimeType>
#include <QString>
#include <vector>

class TIconCache {
public:
    static TIconCache& Instance();

    // Index of a theme icon by name (loaded on first use).
    int IndexOf(const QString& iconName);
    QIcon Icon(int index) const;
    // The icon for an item: normal picture, the one shown while selected
    // (an open folder) and an overlay (0 shared, 1 link, -1 none). Cached.
    QIcon Composed(int normal, int selected, int overlay);

private:
    TIconCache();
    QHash<QString, int> m_indexes;
    std::vector<QIcon> m_icons;
    QHash<qint64, QIcon> m_composed;
};

// MIME type of a file, by its name only (no file access), cached per suffix.
QMimeType MimeTypeForName(const QString& fileName);
// Icon name for a file by its name.
QString FileIconName(const QString& fileName);
// Type name of a file by its name, or of a folder.
QString FileTypeName(const QString& fileName, bool isFolder);
