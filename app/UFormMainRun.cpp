// The back-up run of the main window: the action that starts and cancels it, its enabling
// rules and the window caption, and the writer's handlers.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <cctype>
#include <cstdio>

#include "app/UFormMain.h"
#include "app/UQMApps.h"
#include "foldertree/ShellTreeView.h"
#include "platform/Exception.h"
#include "platform/FileOps.h"
#include "zip/ZipErrors.h"

namespace qm {

namespace {

constexpr qint64 kRunStateIntervalMs = 40;

// Without leading and trailing spaces and control characters.
std::string TrimText(const std::string& Text) {
    size_t begin = 0;
    size_t end = Text.size();
    while (begin < end && static_cast<unsigned char>(Text[begin]) <= ' ') ++begin;
    while (end > begin && static_cast<unsigned char>(Text[end - 1]) <= ' ') --end;
    return Text.substr(begin, end - begin);
}

// A folder as the user knows it: without the trailing "/" the run adds, but "/" itself.
std::string FolderShown(const std::string& Folder) {
    return Folder.size() > 1 && Folder.back() == '/' ? Folder.substr(0, Folder.size() - 1) : Folder;
}

std::string NameAfterLastSlash(const std::string& Path) {
    size_t slash = Path.rfind('/');
    return slash == std::string::npos ? Path : Path.substr(slash + 1);
}

}  // namespace

std::string TFormMain::GetSourceFolder() const {
    try {
        TShellFolder* folder = ShellTreeView1->SelectedShellItem();
        if (!folder) return std::string();
        std::string path = folder->Path().toStdString();
        // Only a folder of the file system can be backed up: virtual nodes have no such path.
        if (path.empty() || path[0] != '/') return std::string();
        if (path.back() != '/') path += '/';
        return path;
    } catch (...) {
        return std::string();
    }
}

void TFormMain::ActBackUpUpdate() {
    if (FTag != 0) {
        ActBackUp->setText(QStringLiteral("&Cancel"));
        SetDefaultButton(nullptr);
        SetCancelButton(BtnBackUp);
        ActBackUp->setEnabled(true);
    } else {
        ActBackUp->setText(QStringLiteral("&Back-Up"));
        SetDefaultButton(BtnBackUp);
        SetCancelButton(nullptr);
        ActBackUp->setEnabled(lbFileMasks->count() > 0 && !edBackUpFile->text().isEmpty() &&
                              !GetSourceFolder().empty());
    }

    ShellTreeView1->SetEnabled(FTag == 0);
    const bool enabled = ShellTreeView1->Enabled();
    cbIncludeSubFolders->setEnabled(enabled);
    edFileTypesLists->setEnabled(enabled);
    BtnFileTypesLists->setEnabled(enabled);
    lbFileMasks->setEnabled(enabled);
    edBackUpFile->setEnabled(enabled);
    ProgressBar1->setVisible(FTag > 0);
    BtnBackUpFile->setEnabled(enabled);
    BtnAbout->setEnabled(enabled);

    std::string caption = AppTitle;
    if (ActBackUp->isEnabled()) {
        std::string source = GetSourceFolder();
        // The root folder is named as it is; any other folder by its own name.
        std::string shown =
            source == "/" ? source : NameAfterLastSlash(source.substr(0, source.size() - 1));
        caption = AppTitle + " - " + shown;
    }
    setWindowTitle(QString::fromStdString(caption));
    ApplicationTitle = caption;
}

void TFormMain::ActionList1Update() {
    ActBackUpUpdate();
}

bool TFormMain::ExecuteActBackUp() {
    ActBackUpUpdate();
    if (!ActBackUp->isEnabled()) return false;
    ActBackUpExecute();
    return true;
}

void TFormMain::ActBackUpExecute() {
    if (FTag != 0) {
        if (UiHooks().MessageBox("Confirm", "Cancel back-up?", miQuestion, mbYes | mbNo, idNo) ==
            idYes) {
            FUnattended = false;
            ZipWriter1.RequestCancel();
        }
        return;
    }

    const std::string name = TrimText(edBackUpFile->text().toStdString());
    edBackUpFile->setText(QString::fromStdString(name));
    if (name.empty()) throw Exception("Invalid back-up file name.");

    const std::string source = GetSourceFolder();
    // The folder the user chose, or none: a folder that is gone is never replaced by another.
    if (!DirectoryExists(source))
        throw Exception(FormatMessage("Folder \"%s\" doesn't exist.", FolderShown(source)));
    std::vector<std::string> masks;
    for (int i = 0; i < lbFileMasks->count(); ++i) {
        const std::string mask = lbFileMasks->item(i)->text().toStdString();
        // A mask that names a folder would reach outside the source folder.
        if (mask.find('/') != std::string::npos)
            throw Exception("The file types list \"" +
                            edFileTypesLists->currentText().toStdString() + "\" holds the mask \"" +
                            mask + "\", which names a folder (\"/\"); edit the list.");
        // An empty mask would name the source folder itself, which no archive may store.
        if (!mask.empty()) masks.push_back(mask);
    }
    ZipWriter1.SetRootDir(source);
    std::string base = ZipWriter1.RootDir();
    if (!base.empty()) base.pop_back();
    for (const std::string& mask : masks) ZipWriter1.FilesList().push_back(base + "/" + mask);
    const bool sub = cbIncludeSubFolders->isChecked();
    ZipWriter1.SetRecurse(sub);
    ZipWriter1.SetStorePaths(sub);
    ZipWriter1.SetRelativePaths(sub);
    const char drive = base.empty() ? '\0' : static_cast<char>(std::toupper(base[0]));
    ZipWriter1.MultiZipInfo().MultiMode = drive == 'A' || drive == 'B' ? mmSpan : mmNone;

    FTag = 1;
    SetStatusText("Initializing back-up...");
    txtStatusBar->repaint();
    ActBackUpUpdate();

    struct TRunEnd {
        TFormMain* Form;
        ~TRunEnd() {
            Form->ShowRunState(true);
            Form->FTag = 0;
            Form->FTarget = nullptr;
        }
    } runEnd{this};
    FSkippedFiles.clear();
    FChangedFiles.clear();
    FLeftOutFiles.clear();
    FRunCompleted = false;
    FRunStatus.clear();
    FRunShown.invalidate();
    bool started = false;
    try {
        // The previous back-up stays until the new one is complete: the writer makes a fresh
        // archive beside it, which replaces it only then.
        TBackUpTarget target(name);
        FTarget = &target;
        ZipWriter1.SetZipName(target.TempName());
        started = true;
        ZipWriter1.ZipFiles();
    } catch (const ECheckFailed& e) {
        // The writer knows the archive by its temporary name; the user by the back-up file's.
        throw Exception("Back-up check failed: " + name + ": " + e.Reason());
    } catch (...) {
        // A run that never started must not leave its lines for the next one.
        if (!started) ZipWriter1.FilesList().clear();
        throw;
    }
}

void TFormMain::ZipWriter1StartZip(const std::string& FName, bool& Skip) {
    // The previous back-up lies in the source folder and matches a mask: it is no source file.
    if (FTarget && FTarget->IsPreviousBackUp(FName)) {
        Skip = true;
        return;
    }
    FRunProgress = 0;
    FRunStatus = FormatMessage("Adding \"%s\"...", NameAfterLastSlash(FName));
    ShowRunState(false);
    UiHooks().ProcessMessages();
}

void TFormMain::ZipWriter1FilePercentDone(int Percent) {
    FRunProgress = Percent;
    ShowRunState(false);
    UiHooks().ProcessMessages();
}

void TFormMain::ShowRunState(bool Now) {
    // Setting a label's text or a progress bar's value costs layout and text work, and a
    // progress bar repaints itself at once; at every file and block of a run that adds up to
    // a good part of the back-up's time. The controls take the latest state a few dozen times
    // a second, and at the end of the run.
    if (!Now && FRunShown.isValid() && !FRunShown.hasExpired(kRunStateIntervalMs)) return;
    FRunShown.start();
    if (FRunStatus.empty()) return;
    SetStatusText(FRunStatus);
    ProgressBar1->setValue(FRunProgress);
}

void TFormMain::ZipWriter1SkippingFile(TSkipReason Reason, const std::string& FName) {
    // A stored name met twice (two masks that take the same file) is no loss.
    if (Reason != srFileOpenError) return;
    // The writer knows why (also for a folder it could not list); asking again is the fallback.
    const std::string& why = ZipWriter1.SkippingReason();
    FSkippedFiles.push_back({FName, why.empty() ? ReasonFileCannotBeRead(FName) : why});
}

void TFormMain::ZipWriter1ZipComplete(int FileCount) {
    ShowRunState(true);
    for (const TSkippedFile& skipped : FSkippedFiles) {
        std::string line = SkippedFileLine(skipped.Path, skipped.Reason) + "\n";
        std::fwrite(line.data(), 1, line.size(), stderr);
    }
    for (const std::string& changed : FChangedFiles) {
        std::string line = "Changed while read: " + changed + "\n";
        std::fwrite(line.data(), 1, line.size(), stderr);
    }
    for (const std::string& path : FLeftOutFiles) {
        const std::string line = "Left out (not a regular file): " + path + "\n";
        std::fwrite(line.data(), 1, line.size(), stderr);
    }
    std::fflush(stderr);
    // The previous back-up is replaced only by a complete one: a source folder that went away
    // during the run (a disk unmounted, a folder moved) left only part of it behind, and an
    // empty or unreadable one, or a list that matches nothing, would leave nothing at all.
    const std::string source = ZipWriter1.RootDir();
    if (!DirectoryExists(source))
        throw Exception(FormatMessage("Folder \"%s\" doesn't exist.", FolderShown(source)));
    if (FileCount == 0)
        throw Exception("Nothing to back up: no file in \"" + FolderShown(source) +
                        "\" matches the list \"" + edFileTypesLists->currentText().toStdString() +
                        "\".");
    if (FTarget) FTarget->Commit();
    FRunCompleted = true;
    if (FUnattended) return;
    std::vector<std::string> skipped;
    for (const TSkippedFile& file : FSkippedFiles) skipped.push_back(file.Path);
    const bool partial = !skipped.empty() || !FChangedFiles.empty();
    UiHooks().MessageBox("Back-Up Complete",
                         BackUpCompleteText(edBackUpFile->text().toStdString(), FileCount, skipped,
                                            FChangedFiles, FLeftOutFiles),
                         partial ? miWarning : miInformation, mbOK, idOk);
}

void TFormMain::SignalReceived() {
    if (FTag > 0) {
        // As if the user had pressed Cancel and answered Yes.
        FUnattended = false;
        ZipWriter1.RequestCancel();
    } else {
        close();
    }
}

}  // namespace qm
