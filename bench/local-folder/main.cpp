// Fills the file list from a folder of 100,000 files, expands a folder of
// 10,000 sub-folders in the tree, and times how soon a sub-folder created
// outside the program shows in the tree.
#include "shellbrowser/SystemListView.h"
#include "shellbrowser/SystemTreeView.h"
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
void MakeFiles(const QString& dir, int count)
{
    QDir().mkpath(dir);
    for (int i = 0; i < count; ++i) {
        const QByteArray name = QFile::encodeName(QStringLiteral("%1/file%2.%3").arg(dir).arg(i, 6, 10, QLatin1Char('0')).arg(i % 3 ? "txt" : "dat"));
        const int fd = ::open(name.constData(), O_CREAT | O_WRONLY, 0644);
        if (fd >= 0) {
            if (i % 7 == 0)
                (void)::ftruncate(fd, i);
            ::close(fd);
        }
    }
}

void MakeFolders(const QString& dir, int count)
{
    QDir().mkpath(dir);
    for (int i = 0; i < count; ++i)
        ::mkdir(QFile::encodeName(QStringLiteral("%1/folder%2").arg(dir).arg(i, 5, 10, QLatin1Char('0'))).constData(), 0755);
}

void Print(const char* name, double value, const char* unit)
{
    std::printf("%s: %.3f %s\n", name, value, unit);
    std::fflush(stdout);
}
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QTemporaryDir temp;
    const QString files = temp.filePath(QStringLiteral("files"));
    const QString folders = temp.filePath(QStringLiteral("folders"));
    MakeFiles(files, 100000);
    MakeFolders(folders, 10000);

    QWidget window;
    window.resize(600, 800);
    auto* tree = new TSystemTreeView(&window);
    auto* list = new TSystemListView(&window);
    tree->setGeometry(0, 0, 600, 300);
    list->setGeometry(0, 300, 600, 500);
    list->SetViewStyle(TViewStyle::vsReport);
    tree->SetListView(list);
    window.show();
    QApplication::processEvents();

    // Select the folder: the list fills with 100,000 entries.
    QElapsedTimer timer;
    timer.start();
    tree->SetDirectory(files);
    QApplication::processEvents();
    Print("list_fill_100000_files", timer.elapsed() / 1000.0, "s");
    std::printf("list_entries: %d\n", list->ItemCount());
    timer.restart();
    list->Repopulate();
    QApplication::processEvents();
    Print("list_refill_100000_files", timer.elapsed() / 1000.0, "s");
    timer.restart();
    list->ColumnClick(0);
    QApplication::processEvents();
    Print("list_sort_by_name_100000_files", timer.elapsed() / 1000.0, "s");

    // Expand a node of 10,000 sub-folders.
    tree->SetDirectory(folders);
    QApplication::processEvents();
    QTreeWidgetItem* node = tree->currentItem();
    timer.restart();
    tree->ExpandNode(node);
    QApplication::processEvents();
    Print("tree_expand_10000_folders", timer.elapsed() / 1000.0, "s");
    std::printf("tree_children: %d\n", node->childCount());

    // A sub-folder created outside the program.
    tree->SetDirectory(temp.path());
    QTreeWidgetItem* watched = tree->currentItem();
    tree->ExpandNode(watched);
    QThread::msleep(50);
    QApplication::processEvents();
    timer.restart();
    QDir(temp.path()).mkdir(QStringLiteral("created"));
    bool shown = false;
    while (!shown && timer.elapsed() < 10000) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        for (int i = 0; i < watched->childCount() && !shown; ++i)
            shown = watched->child(i)->text(0) == QLatin1String("created");
    }
    Print("tree_shows_new_folder", timer.elapsed() / 1000.0, "s");
    return shown ? 0 : 1;
}
