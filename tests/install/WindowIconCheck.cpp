// The application gives its windows Ferrit's icon even where no icon theme has it: the
// sizes built into the program must be there, and the icon must draw at the smallest and
// largest of them.
#include "app/Application.h"
#include <QFile>
#include <QIcon>
#include <cstdio>

int main(int argc, char** argv)
{
    TApplication app(argc, argv);
    int failures = 0;
    const auto expect = [&](bool ok, const char* what) {
        std::printf("%s: %s\n", ok ? "ok" : "FAILED", what);
        failures += ok ? 0 : 1;
    };
    for (const char* size : {"16", "22", "24", "32", "48", "64", "128", "256"}) {
        const QString name = QStringLiteral(":/icons/hicolor/%1x%1/apps/ferrit.png").arg(QLatin1String(size));
        expect(QFile::exists(name), qPrintable(QStringLiteral("built-in icon ") + name));
    }
    const QIcon icon = QApplication::windowIcon();
    expect(!icon.isNull(), "the window icon is set");
    expect(icon.pixmap(16, 16).width() == 16, "it draws at 16 px");
    expect(icon.pixmap(256, 256).width() == 256, "it draws at 256 px");
    return failures == 0 ? 0 : 1;
}
