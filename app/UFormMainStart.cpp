// Start-up of the main window and the command-line run.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <cstdio>

#include "app/UCommandLine.h"
#include "app/UErrorBox.h"
#include "app/UFormMain.h"
#include "app/UFormMainSettings.h"
#include "app/UQMApps.h"
#include "foldertree/ShellTreeView.h"
#include "platform/Exception.h"
#include "platform/FileOps.h"
#include "platform/ProfileText.h"

namespace qm {

void TFormMain::showEvent(QShowEvent* Event) {
    QWidget::showEvent(Event);
    if (FShown) return;
    FShown = true;
    RunGuarded([this] { FormShow(); });
}

void TFormMain::FormShow() {
    SetStatusText(std::string());
    LoadFileTypesListNames();
    if (edFileTypesLists->count() > 0) SelectFileTypesList(0);

    TWindowPosition position = ReadWindowPosition({FDesignPosition.x(), FDesignPosition.y()});
    move(position.Left, position.Top);
    KeepFormOnScreen(*this);

    TLastSettings current;
    current.InclSubFolders = cbIncludeSubFolders->isChecked();
    current.FileTypeList = edFileTypesLists->currentText().toStdString();
    current.BackUpFile = edBackUpFile->text().toStdString();
    const TLastSettings last = ReadLastSettings(current);
    // A folder the tree cannot show is reported, and start-up goes on: a command-line run
    // names its own folder.
    RunGuarded([&] {
        ShellTreeView1->SelectFolderByPath(QString::fromStdString(StartFolderFor(last.DirName)));
    });
    // Without a word the user would take the home folder for the one backed up last time.
    if (StoredFolderIsGone(last.DirName))
        SetStatusText(FormatMessage(
            "The folder \"%s\" backed up last time no longer exists: showing the home folder.",
            last.DirName));
    cbIncludeSubFolders->setChecked(last.InclSubFolders);
    std::vector<std::string> names;
    for (int i = 0; i < edFileTypesLists->count(); ++i)
        names.push_back(edFileTypesLists->itemText(i).toStdString());
    SelectFileTypesList(
        SelectStoredFileTypesList(names, edFileTypesLists->currentIndex(), last.FileTypeList));
    edFileTypesListsChange();
    edBackUpFile->setText(QString::fromStdString(last.BackUpFile));

    repaint();
    // The command-line run starts from the event loop, once the window is on the screen.
    if (ParamCount() > 0)
        QMetaObject::invokeMethod(
            this, [this] { RunCommandLineFromEventLoop(); }, Qt::QueuedConnection);
}

int TFormMain::IndexOfFileTypesList(const std::string& Name) const {
    for (int i = 0; i < edFileTypesLists->count(); ++i)
        if (SameTextAscii(edFileTypesLists->itemText(i).toStdString(), Name)) return i;
    return -1;
}

void TFormMain::ApplyParameter(const std::string& Parameter, std::string& Source, std::string& List,
                               std::string& BackUpFile) {
    const std::string value = ParameterValue(Parameter);
    switch (ParameterKind(Parameter)) {
        case pkSrc: {
            if (!DirectoryExists(value))
                throw Exception(FormatMessage("Folder \"%s\" doesn't exist.", value));
            // The tree knows folders by their absolute paths; a shell user may give a
            // relative one.
            QString folder =
                QDir::cleanPath(QDir::current().absoluteFilePath(QString::fromStdString(value)));
            ShellTreeView1->SelectFolderByPath(folder);
            Source = value;
            break;
        }
        case pkSub:
            cbIncludeSubFolders->setChecked(true);
            break;
        case pkLst: {
            if (value.empty()) throw Exception("Invalid file types list.");
            int index = IndexOfFileTypesList(value);
            if (index < 0)
                throw Exception(FormatMessage("File types list \"%s\" doesn't exist.", value));
            SelectFileTypesList(index);
            edFileTypesListsChange();
            List = value;
            break;
        }
        case pkDest:
            edBackUpFile->setText(QString::fromStdString(value));
            BackUpFile = value;
            break;
        case pkStamp:
            edBackUpFile->setText(
                QString::fromStdString(AddTimeStamp(edBackUpFile->text().toStdString())));
            BackUpFile = edBackUpFile->text().toStdString();
            break;
        case pkNotify:
            FUnattended = false;
            break;
        case pkUnknown:
            throw Exception(FormatMessage("Unknown parameter: %s.", Parameter));
    }
}

void TFormMain::ShowLastSettings(const TLastSettings& Last) {
    TShellFolder* shown = ShellTreeView1->SelectedShellItem();
    if (!Last.DirName.empty() && (!shown || shown->Path().toStdString() != Last.DirName)) {
        try {
            ShellTreeView1->SelectFolderByPath(QString::fromStdString(Last.DirName));
        } catch (const std::exception&) {
            // The folder went away in the meantime: the tree keeps what it shows, and Exit
            // stores that, as after any other change of the folder.
        }
    }
    cbIncludeSubFolders->setChecked(Last.InclSubFolders);
    const int list = IndexOfFileTypesList(Last.FileTypeList);
    if (list >= 0) SelectFileTypesList(list);
    edFileTypesListsChange();
    edBackUpFile->setText(QString::fromStdString(Last.BackUpFile));
}

void TFormMain::WMRunCommandLine() {
    FUnattended = true;
    cbIncludeSubFolders->setChecked(false);
    std::string source;
    std::string list;
    std::string backUpFile;
    for (const std::string& parameter : FParameters)
        ApplyParameter(parameter, source, list, backUpFile);

    if (source.empty()) throw Exception(NotDefinedMessage("Source folder is not defined."));
    if (list.empty()) throw Exception(NotDefinedMessage("File types list is not defined."));
    if (backUpFile.empty()) throw Exception(NotDefinedMessage("Back-up file name is not defined."));
    FParametersApplied = true;

    if (!ExecuteActBackUp()) {
        // Nothing is shown for it, but a script must not take it for a back-up.
        std::fputs(
            "No back-up was made: the list has no masks or the folder is no folder of "
            "the file system.\n",
            stderr);
        std::fflush(stderr);
    }
    if (FUnattended) close();
}

void TFormMain::RunCommandLineFromEventLoop() {
    FRunCompleted = false;
    FParametersApplied = false;
    const TLastSettings stored = ShownLastSettings();
    const bool ran = RunGuarded([this] { WMRunCommandLine(); });
    // A command line that was refused is no choice of the user's: once its error box is
    // closed, the window shows, and Exit stores, what it had before. (A line that got as far
    // as its back-up keeps its values, so that the user can correct the back-up and retry.)
    if (!ran && !FParametersApplied) ShowLastSettings(stored);
    if (!ran || !FRunCompleted)
        FExitStatus = 1;
    else
        FExitStatus = FSkippedFiles.empty() && FChangedFiles.empty() ? 0 : 2;
    emit CommandLineRunEnded(FExitStatus);
    if (FEndWithCommandLineRun) {
        if (isVisible()) close();
        QCoreApplication::exit(FExitStatus);
    }
}

}  // namespace qm
