#include "app/AppInfo.h"
#include <QCoreApplication>

QString ProgramVersion()
{
#ifdef FERRIT_VERSION
    return QStringLiteral(FERRIT_VERSION);
#else
    return {};
#endif
}

QString VersionLabelText(const QString& version)
{
    return version.isEmpty() ? QString() : QStringLiteral("Version ") + version;
}

QString ProgramFolder()
{
    return QCoreApplication::applicationDirPath() + QLatin1Char('/');
}
