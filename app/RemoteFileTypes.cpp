#include "app/RemoteFileTypes.h"

#include "app/uRegistry.h"
#include "net/Exception.h"

#include <QFileIconProvider>
#include <QIcon>
#include <QStandardPaths>

namespace {

// An icon from the theme that draws something (a theme may answer with an empty icon).
bool ThemeDraws(const QString& name)
{
    return !QIcon::fromTheme(name).pixmap(TRemoteFileTypes::kImageSize, TRemoteFileTypes::kImageSize).isNull();
}

// Outside a desktop session Qt may look for themes nowhere but in its resources, or
// pick one without file-type icons; make the installed stock theme current so icons
// are never blank.
void EnsureIconTheme()
{
    if (ThemeDraws(QStringLiteral("text-x-generic")))
        return;
    QStringList paths = QIcon::themeSearchPaths();
    for (const QString& dir : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
        if (!paths.contains(dir + QStringLiteral("/icons")))
            paths << dir + QStringLiteral("/icons");
    QIcon::setThemeSearchPaths(paths);
    // A fallback theme is not consulted reliably, so the stock theme becomes the current one.
    QIcon::setThemeName(QStringLiteral("Adwaita"));
}

QPixmap FixedImage(const char* themeName, QAbstractFileIconProvider::IconType fallback)
{
    const QIcon icon = QIcon::fromTheme(QLatin1String(themeName), QFileIconProvider().icon(fallback));
    QPixmap pixmap = icon.pixmap(TRemoteFileTypes::kImageSize, TRemoteFileTypes::kImageSize);
    if (pixmap.isNull()) {
        pixmap = QPixmap(TRemoteFileTypes::kImageSize, TRemoteFileTypes::kImageSize);
        pixmap.fill(Qt::transparent);
    }
    return pixmap;
}

} // namespace

TRemoteFileTypes::TRemoteFileTypes(TuRegistry& registry) : m_registry(registry)
{
    EnsureIconTheme();
    m_images = {FixedImage("folder", QAbstractFileIconProvider::Folder),
                FixedImage("text-x-generic", QAbstractFileIconProvider::File)};
}

void TRemoteFileTypes::Reset()
{
    m_images.resize(2);
    m_byExtension.clear();
    m_byIcon.clear();
}

TRemoteFileInfo TRemoteFileTypes::GetRemoteFileInfo(const QString& name,
                                                    const std::function<void(const QString&)>& log)
{
    const QString extension = RemoteFileExtension(name);
    auto cached = m_byExtension.constFind(extension);
    if (cached != m_byExtension.cend())
        return *cached;
    const TRemoteFileInfo info = Lookup(extension, log);
    m_byExtension.insert(extension, info);
    return info;
}

TRemoteFileInfo TRemoteFileTypes::Lookup(const QString& extension,
                                         const std::function<void(const QString&)>& log)
{
    TRemoteFileInfo info{DefaultTypeName(extension), kFileImage};
    m_registry.Root = rkClassesRoot;
    m_registry.Key = u'.' + extension;
    const QString className = m_registry.ReadString(QString(), QString());
    if (className.isEmpty() || className == u"*")
        return info;
    m_registry.Key = className;
    const QString typeName = m_registry.ReadString(QString(), QString());
    if (!typeName.isEmpty() && typeName != u"*")
        info.TypeName = typeName;
    m_registry.Key = className + QStringLiteral("\\DefaultIcon");
    const QString iconSpec = m_registry.ReadString(QString(), QStringLiteral("*"));
    info.ImageIndex = ImageFor(iconSpec, log);
    return info;
}

int TRemoteFileTypes::ImageFor(const QString& iconSpec, const std::function<void(const QString&)>& log)
{
    // A type without an icon of its own looks like any other file.
    if (iconSpec.isEmpty() || iconSpec == u"*")
        return kFileImage;
    auto known = m_byIcon.constFind(iconSpec);
    if (known != m_byIcon.cend())
        return *known;
    try {
        const qsizetype comma = iconSpec.indexOf(u',');
        int number = 0;
        if (comma >= 0) {
            bool ok = false;
            number = iconSpec.mid(comma + 1).trimmed().toInt(&ok);
            if (!ok)
                throw Exception(QStringLiteral("'%1' is not a valid integer value").arg(iconSpec.mid(comma + 1).trimmed()));
        }
        const QPixmap image = DrawFileIcon(comma >= 0 ? iconSpec.left(comma) : iconSpec, number);
        if (image.isNull())
            return kFileImage;
        m_images.append(image);
        const int index = int(m_images.size() - 1);
        m_byIcon.insert(iconSpec, index);
        return index;
    } catch (const Exception& e) {
        log(e.Message());
        log(QStringLiteral("FAILED GETICON: ") + iconSpec);
        m_byIcon.insert(iconSpec, kFileImage);
        return kFileImage;
    }
}

QPixmap TRemoteFileTypes::DrawFileIcon(const QString& iconFile, int /*number: a theme icon has one image*/)
{
    return QIcon::fromTheme(iconFile).pixmap(kImageSize, kImageSize);
}
