#include "app/uRegistry.h"

#include <QIcon>
#include <QMimeDatabase>

namespace {

const QString kDefaultIcon = QStringLiteral("\\DefaultIcon");

std::optional<QString> MimeTypeForExtension(const QString& extension)
{
    if (extension.isEmpty())
        return std::nullopt;
    const QMimeType type = QMimeDatabase().mimeTypeForFile(QStringLiteral("x.") + extension,
                                                           QMimeDatabase::MatchExtension);
    if (!type.isValid() || type.isDefault())
        return std::nullopt;
    return type.name();
}

std::optional<QMimeType> MimeTypeNamed(const QString& name)
{
    const QMimeType type = QMimeDatabase().mimeTypeForName(name);
    if (!type.isValid())
        return std::nullopt;
    return type;
}

// The first icon of the type that the theme can draw; none when it has neither the
// specific nor the generic icon, so callers keep their own generic image.
std::optional<QString> ThemeIconFor(const QMimeType& type)
{
    for (const QString& name : {type.iconName(), type.genericIconName()})
        if (!name.isEmpty() && !QIcon::fromTheme(name).pixmap(16, 16).isNull())
            return name;
    return std::nullopt;
}

} // namespace

std::optional<QString> TuRegistry::DefaultValue() const
{
    if (Root != rkClassesRoot || Key.isEmpty())
        return std::nullopt;
    if (Key.startsWith(QLatin1Char('.')))
        return MimeTypeForExtension(Key.mid(1));
    if (Key.endsWith(kDefaultIcon)) {
        const auto type = MimeTypeNamed(Key.chopped(kDefaultIcon.size()));
        return type ? ThemeIconFor(*type) : std::nullopt;
    }
    const auto type = MimeTypeNamed(Key);
    if (!type)
        return std::nullopt;
    return type->comment();
}

QString TuRegistry::ReadString(const QString& name, const QString& Default) const
{
    const auto value = DefaultValue();
    if (!value)
        return Default;
    return name.isEmpty() ? *value : QString();
}

bool TuRegistry::KeyExists() const
{
    return !ReadString(QString(), QString()).isEmpty();
}
