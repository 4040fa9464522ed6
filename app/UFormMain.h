// The main window: the user picks the source folder, a file types list (its masks shown below
// it), whether to include sub folders and the back-up file, and starts the back-up. The same
// window runs unattended back-ups from the command line.
//
// The window's sources: UFormMain.cpp (layout, hints, the buttons' handlers, closing),
// UFormMainRun.cpp (the back-up run), UFormMainStart.cpp (start-up and the command line).
#pragma once

#include <QElapsedTimer>
#include <QWidget>
#include <string>
#include <vector>

#include "app/UBackUpTarget.h"
#include "app/UGrowingLayout.h"
#include "platform/UiHooks.h"
#include "zip/ZipWriter.h"

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;

namespace qm {

class TShellTreeView;
struct TLastSettings;

// The long part of a hint: the text after its first "|", or the whole hint without one.
std::string GetLongHint(const std::string& Hint);

// The completion box's text: two lines; then, when files could not be read, changed while they
// were read, or were special files with no data, how many, and up to ten of their paths each. Count
// is formatted with the user's thousands separator.
std::string BackUpCompleteText(const std::string& FileName, int FileCount,
                               const std::vector<std::string>& Skipped,
                               const std::vector<std::string>& Changed,
                               const std::vector<std::string>& LeftOut = {});

// The save dialog of the back-up file, as the UI hooks show it.
struct TSaveDialog {
    TFileDialogOptions Options;
    std::string FileName;
    // Shows the dialog; on confirmation FileName is the chosen file's full path.
    bool Execute();
};

class TFormMain : public QWidget {
    Q_OBJECT

  public:
    // The client area as designed: the window's default and least size.
    static constexpr QSize kDesignSize{459, 313};

    explicit TFormMain(QWidget* Parent = nullptr);
    ~TFormMain() override;

    // ---- Controls, with their design names as object names.
    QFrame* Bevel1;
    QLabel* Label1;
    TShellTreeView* ShellTreeView1;
    QCheckBox* cbIncludeSubFolders;
    QLabel* Label3;
    QComboBox* edFileTypesLists;
    QPushButton* BtnFileTypesLists;
    QLabel* Label4;
    QListWidget* lbFileMasks;
    QLabel* Label5;
    QLineEdit* edBackUpFile;
    QPushButton* BtnBackUpFile;
    QFrame* PnlStatusBar;
    QLabel* txtStatusBar;
    QProgressBar* ProgressBar1;
    QPushButton* BtnBackUp;
    QPushButton* BtnAbout;
    QPushButton* BtnExit;

    // ---- Non-visual parts.
    QObject* ActionList1;
    QAction* ActBackUp;
    QAction* FileExit1;
    TSaveDialog SaveDialog1;
    TZipWriter ZipWriter1;

    // ---- Run state: 0 idle, 1 a back-up runs.
    int Tag() const { return FTag; }

    // ---- The window's own handlers.
    void FormCreate();
    void FormShow();
    void FormCloseQuery(bool& CanClose);
    // Writes the settings; a refused write is shown in the error box and the close goes on.
    void FormClose();
    void ApplicationEvents1Hint();
    void edFileTypesListsChange();
    void BtnFileTypesListsClick();
    void BtnBackUpFileClick();
    void BtnAboutClick();
    // The idle-time update of the action list.
    void ActionList1Update();

    // ---- The back-up run.
    void ActBackUpUpdate();
    // Raises its failures (the caller's guard shows them).
    void ActBackUpExecute();
    // The action run as a click runs it: update, then execute only when enabled. Returns
    // whether it executed.
    bool ExecuteActBackUp();
    std::string GetSourceFolder() const;
    void ZipWriter1StartZip(const std::string& FName, bool& Skip);
    void ZipWriter1FilePercentDone(int Percent);
    void ZipWriter1ZipComplete(int FileCount);
    void ZipWriter1SkippingFile(TSkipReason Reason, const std::string& FName);

    // ---- Start-up and the command line.
    void SetParameters(std::vector<std::string> Parameters) { FParameters = std::move(Parameters); }
    int ParamCount() const { return static_cast<int>(FParameters.size()); }
    void WMRunCommandLine();
    int IndexOfFileTypesList(const std::string& Name) const;
    // The window ends the process when its command-line run ends (nobody can see it).
    void SetEndWithCommandLineRun(bool Value) { FEndWithCommandLineRun = Value; }

    // SIGINT, SIGTERM or SIGHUP: during a run a confirmed cancel, otherwise a close.
    void SignalReceived();

    // ---- What tests and the program block read.
    bool Unattended() const { return FUnattended; }
    // 0 without a command-line run or when it backed up every file; 1 when it failed; 2 when
    // it completed but files could not be read or changed while they were read.
    int ExitStatus() const { return FExitStatus; }
    // The application's current hint, as the hint handler got it.
    const std::string& ApplicationHint() const { return FApplicationHint; }
    void SetApplicationHint(const std::string& Hint);
    // The hint that applies over Widget: its own, else the nearest enclosing control's.
    static std::string HintOf(const QWidget* Widget);
    // The files the last run left out, with the system's reason.
    struct TSkippedFile {
        std::string Path;
        std::string Reason;
    };
    const std::vector<TSkippedFile>& SkippedFiles() const { return FSkippedFiles; }
    // The files the last run stored but that changed while they were read.
    const std::vector<std::string>& ChangedFiles() const { return FChangedFiles; }
    // FIFOs, sockets and devices the last run met: left out, as they hold no data; no failure.
    const std::vector<std::string>& LeftOutFiles() const { return FLeftOutFiles; }
    bool IsDefaultButton(const QPushButton* Button) const { return Button == FDefaultButton; }
    bool IsCancelButton(const QPushButton* Button) const { return Button == FCancelButton; }
    // The status line's text.
    std::string StatusText() const;

  signals:
    // The command-line run has ended, with the process's exit status for it.
    void CommandLineRunEnded(int ExitStatus);

  protected:
    void showEvent(QShowEvent* Event) override;
    void closeEvent(QCloseEvent* Event) override;
    void keyPressEvent(QKeyEvent* Event) override;
    void moveEvent(QMoveEvent* Event) override;
    void resizeEvent(QResizeEvent* Event) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;

  private:
    void CreateControls();
    void ConnectHandlers();
    void SetStatusText(const std::string& Text);
    void SetDefaultButton(QPushButton* Button);
    void SetCancelButton(QPushButton* Button);
    void LoadFileTypesListNames();
    void LoadFileMasks();
    void SelectFileTypesList(int Index);
    void SaveSettings();
    // What the Last section holds for the window as it is shown now, and the reverse.
    TLastSettings ShownLastSettings() const;
    void ShowLastSettings(const TLastSettings& Last);
    void RunCommandLineFromEventLoop();
    void ApplyParameter(const std::string& Parameter, std::string& Source, std::string& List,
                        std::string& BackUpFile);
    // Shows the run's latest status text and progress (at most a few dozen times a second,
    // unless Now).
    void ShowRunState(bool Now);
    // Records the designed geometry and how each control follows the window's growth.
    void LayOutForGrowth();

    QPoint FDesignPosition;  // where the window opens without stored settings
    int FTag = 0;
    bool FUnattended = false;
    bool FShown = false;
    bool FEndWithCommandLineRun = false;
    int FExitStatus = 0;
    bool FRunCompleted = false;
    bool FParametersApplied = false;  // the command-line run got past its parameters
    std::vector<std::string> FParameters;
    std::string FApplicationHint;
    QPushButton* FDefaultButton = nullptr;
    QPushButton* FCancelButton = nullptr;
    TBackUpTarget* FTarget = nullptr;  // while a run writes
    std::vector<TSkippedFile> FSkippedFiles;
    std::vector<std::string> FChangedFiles;
    std::vector<std::string> FLeftOutFiles;
    std::string FRunStatus;  // empty until the run's first file
    int FRunProgress = 0;
    QElapsedTimer FRunShown;
    TGrowingLayout FLayout{kDesignSize};
};

// The main window while it exists, else nullptr.
extern TFormMain* FormMain;

}  // namespace qm
