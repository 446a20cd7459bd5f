#include "app/AppInfo.h"
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

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

bool ProgramInstalled(const QString& executablePath)
{
    return QFileInfo(executablePath).dir().dirName() == QStringLiteral("bin");
}

QString LocalStartFolder()
{
    return ProgramInstalled(QCoreApplication::applicationFilePath()) ? QDir::homePath() + QLatin1Char('/')
                                                                      : ProgramFolder();
}
