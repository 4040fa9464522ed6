// Shows the lists dialog and the item dialog over a sample settings file and saves a picture of
// each:   app_dialogs_screenshot LISTS.png ITEM.png
// scripts/screenshot-dialogs.sh runs it under Xvfb.
#include <QApplication>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <cstdio>
#include <fstream>

#include "app/UDlgFileTypesListItem.h"
#include "app/UDlgFileTypesLists.h"
#include "app/UQMApps.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s LISTS.png ITEM.png\n", argv[0]);
        return 2;
    }
    QApplication app(argc, argv);
    // The rows' order follows the locale; show an English desktop's.
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QTemporaryDir dir;
    qm::AppsIniFileName = dir.filePath(QStringLiteral("QMApps.ini")).toStdString();
    std::ofstream(qm::AppsIniFileName) << "[Quillmate FileTypesLists]\n"
                                          "Item1=\"Ms. Office\",*.doc;*.mdb;*.ppt;*.xls\n"
                                          "Item2=Pictures,*.bmp;*.jpg;*.png\n"
                                          "Item3=\"Source code\",*.cpp;*.h;CMakeLists.txt\n"
                                          "Item4=archive,*.zip;*.7z\n";

    qm::TDlgFileTypesLists lists;
    lists.show();
    lists.ListView1->setCurrentItem(lists.ListView1->topLevelItem(1));
    lists.ActNewUpdate();
    app.processEvents();
    bool ok = lists.grab().save(QString::fromLocal8Bit(argv[1]));

    qm::TDlgFileTypesListItem item;
    item.setWindowTitle(QStringLiteral("Edit"));
    item.edName->setText(QStringLiteral("Ms. Office"));
    item.edFileMasks->setText(QStringLiteral("*.doc;*.mdb;*.ppt;*.xls"));
    item.show();
    app.processEvents();
    ok = item.grab().save(QString::fromLocal8Bit(argv[2])) && ok;
    return ok ? 0 : 1;
}
