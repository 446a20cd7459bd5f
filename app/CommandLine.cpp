#include "app/CommandLine.h"
#include "app/AppInfo.h"
#include "app/FtpAddress.h"
#include "app/LaunchAddress.h"
#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>

namespace {
// The options QGuiApplication and QApplication take out of argv themselves.
const char* const QtOptionsWithValue[] = {"platform", "platformpluginpath", "platformtheme", "plugin",
                                          "qwindowgeometry", "geometry", "qwindowicon", "icon",
                                          "qwindowtitle", "title", "session", "display", "name",
                                          "style", "stylesheet"};
const char* const QtFlags[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

void AddQtOptions(QCommandLineParser& parser)
{
    for (const char* name : QtOptionsWithValue) {
        QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char* name : QtFlags) {
        QCommandLineOption option(QString::fromLatin1(name));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
}

// As the parser says its errors: "Ferrit: " and the text.
void Say(const QString& text)
{
    std::fputs(qPrintable(QCoreApplication::applicationName() + QStringLiteral(": ") + text + u'\n'), stderr);
}

[[noreturn]] void Fail(const QString& text)
{
    Say(text);
    std::exit(EXIT_FAILURE);
}
} // namespace

TCommandLine ReadCommandLine(int& argc, char** argv)
{
    // Lives for the parse only: the parser names the program from it, and it needs
    // no display. The window's application object comes after it.
    const QCoreApplication core(argc, argv);
    QCoreApplication::setApplicationName(ApplicationTitle);
    QCoreApplication::setApplicationVersion(ProgramVersion());
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("A desktop FTP client."));
    // Qt's options are single-dash words ("-platform offscreen").
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addHelpOption();
    parser.addVersionOption();
    AddQtOptions(parser);
    parser.addPositionalArgument(
        QStringLiteral("address"),
        QStringLiteral("Connects to ftp://[user[:password]@]host[:port][/folder] and shows the folder. "
                       "ftps:// is implicit TLS (port 990). Without a password for a user, it is asked for."),
        QStringLiteral("[address]"));
    parser.process(core);
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 1)
        Fail(QStringLiteral("Only one address can be opened; %1 were given.").arg(positional.size()));
    if (positional.isEmpty())
        return {};
    const QString address = positional.first();
    if (const TFtpAddress parsed = ParseFtpAddress(address); !parsed.Valid())
        Say(LaunchErrorText(address, parsed.Error));
    return {.Address = address};
}
