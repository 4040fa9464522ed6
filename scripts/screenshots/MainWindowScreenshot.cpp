// Pictures of the main window for the documentation: idle at its default size and enlarged,
// with a back-up in progress over a large folder, and the About box.
//   qmate_screenshots SOURCE_FOLDER LARGE_FOLDER IDLE.png ENLARGED.png RUNNING.png ABOUT.png
// scripts/screenshot-main.sh runs it under Xvfb.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <fstream>
#include <functional>

#include "app/UFormMain.h"
#include "app/UQMApps.h"
#include "app/UQtUiHooks.h"
#include "foldertree/ShellTreeView.h"

namespace {

// The program's hooks, with a picture taken while the progress bar is part way through a file.
class TShootingHooks : public qm::TQtUiHooks {
  public:
    qm::TFormMain* Form = nullptr;
    QString RunningFile;
    bool Shot = false;
    void ProcessMessages() override {
        TQtUiHooks::ProcessMessages();
        const int value = Form ? Form->ProgressBar1->value() : 0;
        if (Shot || !Form || Form->Tag() == 0 || value < 25 || value > 75) return;
        Shot = Form->grab().save(RunningFile);
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 7) {
        std::fprintf(stderr, "usage: %s SOURCE LARGE IDLE.png ENLARGED.png RUNNING.png ABOUT.png\n",
                     argv[0]);
        return 2;
    }
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QTemporaryDir dir;
    qm::AppsIniFileName = dir.filePath(QStringLiteral("QMApps.ini")).toStdString();
    const std::string backUp = dir.filePath(QStringLiteral("MyDoc.zip")).toStdString();
    std::ofstream(qm::AppsIniFileName)
        << "[Quillmate FileTypesLists]\n"
           "Item1=Documents,*.txt;*.csv;*.odt;*.ods;*.pdf;*.doc;*.docx;*.xls;*.xlsx;*.md\n"
           "Item2=\"Source code\",*.h;*.hpp;*.c;*.cpp\n"
           "Item3=Pictures,*.jpg;*.png\n"
           "[Quillmate Last]\nDirName="
        << argv[1] << "\nInclSubFolders=1\nFileTypeList=Documents\nBackUpFile=" << backUp << "\n";

    TShootingHooks hooks;
    hooks.SetAnswerAtOnce(true);  // the completion box answers itself
    qm::SetUiHooks(&hooks);
    qm::TFormMain form;
    hooks.Form = &form;
    hooks.RunningFile = QString::fromLocal8Bit(argv[5]);
    hooks.OnProcessedMessages = [&form] { form.ActionList1Update(); };
    // The window settles over a few passes of the event loop (the tree lays itself out
    // again after the selection and after a resize).
    auto settle = [&app] {
        for (int pass = 0; pass < 5; ++pass) app.processEvents();
    };
    form.show();
    settle();
    form.SetApplicationHint(qm::TFormMain::HintOf(form.ShellTreeView1));
    form.ActBackUpUpdate();
    app.processEvents();
    bool ok = form.grab().save(QString::fromLocal8Bit(argv[3]));

    // Enlarged by the user: the tree and the masks list take the room.
    form.resize(qm::TFormMain::kDesignSize + QSize(300, 200));
    settle();
    ok = ok && form.grab().save(QString::fromLocal8Bit(argv[4]));
    form.resize(qm::TFormMain::kDesignSize);
    settle();

    // A run in progress over the large folder with the source code list.
    form.ShellTreeView1->SelectFolderByPath(QString::fromLocal8Bit(argv[2]));
    form.edFileTypesLists->setCurrentIndex(1);
    form.edFileTypesListsChange();
    form.ActBackUpUpdate();
    form.ActBackUp->trigger();
    ok = ok && hooks.Shot;

    // The About box, as the user sees it over the window.
    hooks.SetAnswerAtOnce(false);
    bool about = false;
    std::function<void()> shoot = [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (!box || !box->isVisible()) continue;
            about = box->grab().save(QString::fromLocal8Bit(argv[6]));
            box->close();
            return;
        }
        QTimer::singleShot(50, shoot);  // not shown yet
    };
    QTimer::singleShot(0, shoot);
    form.ActBackUpUpdate();  // the idle update after the run enables About again
    form.BtnAbout->click();
    qm::SetUiHooks(nullptr);
    if (!ok || !about) std::fprintf(stderr, "a picture could not be taken (%d %d)\n", ok, about);
    return ok && about ? 0 : 1;
}
