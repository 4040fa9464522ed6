// What the non-GUI layers may ask of a user interface: message boxes, pending-message
// processing, file and folder dialogs and the busy cursor. The writer and the platform layer
// call only this; the Qt application installs its own implementation at start, and everything
// else runs with the console default.
#pragma once

#include <string>

namespace qm {

enum TMsgIcon { miNone, miInformation, miWarning, miError, miQuestion };

// Buttons of a message box (a set) and the results of one (the button pressed).
inline constexpr unsigned mbOK = 0x01;
inline constexpr unsigned mbCancel = 0x02;
inline constexpr unsigned mbYes = 0x04;
inline constexpr unsigned mbNo = 0x08;
inline constexpr unsigned mbAbort = 0x10;
inline constexpr unsigned mbRetry = 0x20;
inline constexpr unsigned mbIgnore = 0x40;

enum TDialogResult {
    idNone = 0,
    idOk = 1,
    idCancel = 2,
    idAbort = 3,
    idRetry = 4,
    idIgnore = 5,
    idYes = 6,
    idNo = 7
};

struct TFileDialogOptions {
    std::string Title;
    std::string Filter;         // "Zip files (*.zip)|*.zip|All files (*.*)|*.*"
    std::string DefaultSuffix;  // without the "."
    std::string InitialDir;
    bool OverwritePrompt = true;
};

class TUiHooks {
  public:
    virtual ~TUiHooks() = default;

    // Shows a modal message box; returns the button pressed. Title and Text may hold CR (0x0D)
    // as line break.
    virtual TDialogResult MessageBox(const std::string& Title, const std::string& Text,
                                     TMsgIcon Icon, unsigned Buttons,
                                     TDialogResult DefaultButton) = 0;
    // Lets the user interface handle what is pending (repaints, a cancel button).
    virtual void ProcessMessages() = 0;
    // File and folder choices; false when the user cancelled (or nobody can be asked).
    virtual bool OpenFileDialog(const TFileDialogOptions& Options, std::string& FileName) = 0;
    virtual bool SaveFileDialog(const TFileDialogOptions& Options, std::string& FileName) = 0;
    virtual bool SelectFolderDialog(const std::string& Title, std::string& Folder) = 0;
    virtual void SetBusyCursor(bool Busy) = 0;
};

// Writes every message box to standard error as "Title: text" (CR shown as a line break) and
// answers it with its default button; dialogs are cancelled; nothing else happens.
class TConsoleUiHooks : public TUiHooks {
  public:
    TDialogResult MessageBox(const std::string& Title, const std::string& Text, TMsgIcon Icon,
                             unsigned Buttons, TDialogResult DefaultButton) override;
    void ProcessMessages() override {}
    bool OpenFileDialog(const TFileDialogOptions&, std::string&) override { return false; }
    bool SaveFileDialog(const TFileDialogOptions&, std::string&) override { return false; }
    bool SelectFolderDialog(const std::string&, std::string&) override { return false; }
    void SetBusyCursor(bool) override {}
};

// The hooks in force; the console default until SetUiHooks installs others.
TUiHooks& UiHooks();
// Installs Hooks (not owned; must outlive its use); nullptr restores the console default.
// Returns the hooks that were in force.
TUiHooks* SetUiHooks(TUiHooks* Hooks);

// The console form of a message box entry, as TConsoleUiHooks writes it.
std::string MessageBoxTrace(const std::string& Title, const std::string& Text);

}  // namespace qm
