#pragma once
// Type names and small images of remote files, looked up by extension in the
// file-type registry. Folders and files without a registered icon use the two fixed
// images at the front of the image list.
#include "app/RemoteListing.h"

#include <QHash>
#include <QList>
#include <QPixmap>
#include <functional>

class TuRegistry;

class TRemoteFileTypes {
public:
    explicit TRemoteFileTypes(TuRegistry& registry);

    // Type name and image index for a remote file name. An icon that cannot be drawn is
    // reported through log and the generic file image is kept.
    TRemoteFileInfo GetRemoteFileInfo(const QString& name, const std::function<void(const QString&)>& log);

    // Cuts the image list back to its two fixed images.
    void Reset();

    // imglstRemote: index 0 folder, 1 generic file, then one image per registered type.
    // One image per type rather than per entry: a long listing looks the same and stays small.
    const QList<QPixmap>& Images() const { return m_images; }

    static constexpr int kImageSize = 16;

private:
    // Draws icon number `number` of iconFile (a theme icon name) into a bitmap; a name
    // the theme does not know leaves it blank.
    static QPixmap DrawFileIcon(const QString& iconFile, int number);
    TRemoteFileInfo Lookup(const QString& extension, const std::function<void(const QString&)>& log);
    int ImageFor(const QString& iconSpec, const std::function<void(const QString&)>& log);

    TuRegistry& m_registry;
    QList<QPixmap> m_images;
    QHash<QString, TRemoteFileInfo> m_byExtension; // the registry answers the same for every file of a type
    QHash<QString, int> m_byIcon;
};
