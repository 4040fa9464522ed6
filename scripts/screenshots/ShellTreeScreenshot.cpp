// Shows the folder tree in a real window over a made-up home folder and saves a picture of it:
//   foldertree_screenshot OUTPUT.png
// scripts/screenshot-foldertree.sh runs it under Xvfb.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include <cstdio>

#include "foldertree/ShellTreeView.h"

namespace {

void Make(const QString& Root, const QStringList& Folders, const QStringList& Files) {
    QDir dir(Root);
    for (const QString& folder : Folders) dir.mkpath(folder);
    for (const QString& file : Files) {
        QFile out(dir.filePath(file));
        out.open(QIODevice::WriteOnly);
        out.write("x");
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.png\n", argv[0]);
        return 2;
    }
    QTemporaryDir temp;
    QString home = temp.path() + "/alex";
    Make(home,
         {"Desktop/Projects", "Desktop/Invoices 2026", "Documents/letters/2026",
          "Documents/Taxes/2025", "Documents/Recipes", "Downloads", "Music", "Pictures/Holiday",
          ".cache", ".config"},
         {"Desktop/notes.txt", "Desktop/budget.csv", "Documents/letters/2026/welcome.txt",
          "Documents/README", "Documents/budget.xls", "Documents/.hidden"});
    QFile::link(home + "/Documents/Taxes", home + "/Desktop/Taxes");
    qputenv("HOME", QFile::encodeName(home));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home + "/.config"));

    QApplication app(argc, argv);
    qm::TShellTreeView tree;
    tree.SetOptions(tree.Options() | qm::toShowFiles);
    tree.setWindowTitle("Quillmate folder tree");
    tree.resize(300, 420);
    tree.show();
    tree.SelectFolderByPath(home + "/Documents/letters");
    QString output = QString::fromLocal8Bit(argv[1]);
    int status = 1;
    QTimer::singleShot(800, [&] {
        QPixmap shot = tree.screen()->grabWindow(tree.winId());
        status = shot.save(output) ? 0 : 1;
        app.quit();
    });
    app.exec();
    if (status != 0) std::fprintf(stderr, "could not save %s\n", argv[1]);
    return status;
}
