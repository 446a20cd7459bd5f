#include "shellbrowser/IconCache.h"
#include <QDir>
#include <QFileIconProvider>
#include <QMimeDatabase>
#include <QPainter>
#include <algorithm>

TIconCache& TIconCache::Instance()
{
    static TIconCache cache;
    return cache;
}

TIconCache::TIconCache()
{
    // Outside a desktop session Qt picks no theme (or bare hicolor), which has
    // no file-type icons; use the stock theme so entries never show blanks.
    const QString theme = QIcon::themeName();
    if ((theme.isEmpty() || theme == QLatin1String("hicolor")) && QDir(QStringLiteral("/usr/share/icons/Adwaita")).exists())
        QIcon::setThemeName(QStringLiteral("Adwaita"));
}

int TIconCache::IndexOf(const QString& iconName)
{
    if (const auto it = m_indexes.constFind(iconName); it != m_indexes.cend())
        return *it;
    QIcon icon = QIcon::fromTheme(iconName);
    if (icon.isNull()) {
        const bool folder = iconName.startsWith(QLatin1String("folder"));
        icon = QFileIconProvider().icon(folder ? QFileIconProvider::Folder : QFileIconProvider::File);
    }
    const int index = int(m_icons.size());
    m_icons.push_back(icon);
    m_indexes.insert(iconName, index);
    return index;
}

QIcon TIconCache::Icon(int index) const
{
    return index >= 0 && index < int(m_icons.size()) ? m_icons[size_t(index)] : QIcon();
}

namespace {
QPixmap WithOverlay(const QIcon& icon, const QIcon& overlay, int size)
{
    QPixmap pixmap = icon.pixmap(size);
    if (overlay.isNull())
        return pixmap;
    QPainter painter(&pixmap);
    const int badge = std::max(8, size / 2);
    painter.drawPixmap(0, size - badge, overlay.pixmap(badge));
    return pixmap;
}
}

QIcon TIconCache::Composed(int normal, int selected, int overlay)
{
    const qint64 key = (qint64(normal + 1) << 40) | (qint64(selected + 1) << 8) | (overlay + 1);
    if (const auto it = m_composed.constFind(key); it != m_composed.cend())
        return *it;
    static const char* const overlays[] = {"emblem-shared", "emblem-symbolic-link"};
    const QIcon badge = overlay >= 0 && overlay < 2 ? QIcon::fromTheme(QString::fromLatin1(overlays[overlay])) : QIcon();
    QIcon icon;
    if (badge.isNull() && selected == normal) {
        icon = Icon(normal);
    } else {
        for (const int size : {16, 22, 32, 48}) {
            icon.addPixmap(WithOverlay(Icon(normal), badge, size), QIcon::Normal);
            icon.addPixmap(WithOverlay(Icon(selected), badge, size), QIcon::Selected);
        }
    }
    m_composed.insert(key, icon);
    return icon;
}

namespace {
struct TypeInfo {
    QMimeType mime;
    QString iconName;
};

const TypeInfo& TypeInfoForName(const QString& fileName)
{
    // Keyed by the complete suffix (so "*.tar.gz" globs still work) or, for
    // names without one, by the whole name ("Makefile").
    static QHash<QString, TypeInfo> cache;
    const qsizetype dot = fileName.indexOf(QLatin1Char('.'), 1);
    const QString key = (dot > 0 ? fileName.mid(dot) : fileName).toLower();
    auto it = cache.find(key);
    if (it == cache.end()) {
        static const QMimeDatabase db;
        TypeInfo info{db.mimeTypeForFile(fileName, QMimeDatabase::MatchExtension), {}};
        const QString names[] = {info.mime.iconName(), info.mime.genericIconName()};
        info.iconName = QStringLiteral("text-x-generic");
        for (const QString& name : names)
            if (QIcon::hasThemeIcon(name)) {
                info.iconName = name;
                break;
            }
        it = cache.insert(key, info);
    }
    return *it;
}
}

QMimeType MimeTypeForName(const QString& fileName)
{
    return TypeInfoForName(fileName).mime;
}

QString FileIconName(const QString& fileName)
{
    TIconCache::Instance();
    return TypeInfoForName(fileName).iconName;
}

QString FileTypeName(const QString& fileName, bool isFolder)
{
    if (isFolder)
        return QStringLiteral("Folder");
    return TypeInfoForName(fileName).mime.comment();
}
