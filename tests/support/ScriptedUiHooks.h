// UI hooks for tests, installed for the object's lifetime: every message box is recorded and
// answered from a script (then with Otherwise, or the box's default button); the open dialog
// is recorded and answered as told; other dialogs are cancelled; each message-processing call
// is counted and runs OnPump.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/UiHooks.h"

namespace qm::test {

struct TMessageBoxCall {
    std::string Title;
    std::string Text;
    TMsgIcon Icon = miNone;
    unsigned Buttons = 0;
    TDialogResult DefaultButton = idNone;
};

class TScriptedUiHooks : public TUiHooks {
  public:
    TScriptedUiHooks() : FPrevious(SetUiHooks(this)) {}
    ~TScriptedUiHooks() override { SetUiHooks(FPrevious); }
    TScriptedUiHooks(const TScriptedUiHooks&) = delete;
    TScriptedUiHooks& operator=(const TScriptedUiHooks&) = delete;

    TDialogResult MessageBox(const std::string& Title, const std::string& Text, TMsgIcon Icon,
                             unsigned Buttons, TDialogResult DefaultButton) override {
        Boxes.push_back({Title, Text, Icon, Buttons, DefaultButton});
        if (Answers.empty()) return Otherwise.value_or(DefaultButton);
        TDialogResult answer = Answers.front();
        Answers.pop_front();
        return answer;
    }
    void ProcessMessages() override {
        ++Pumps;
        if (OnPump) OnPump();
    }
    bool OpenFileDialog(const TFileDialogOptions& Options, std::string& FileName) override {
        Asked = Options;
        if (OpenChoice) FileName = *OpenChoice;
        return OpenChoice.has_value();
    }
    bool SaveFileDialog(const TFileDialogOptions&, std::string&) override { return false; }
    bool SelectFolderDialog(const std::string&, std::string&) override { return false; }
    void SetBusyCursor(bool) override {}

    // Message boxes.
    std::vector<TMessageBoxCall> Boxes;
    std::deque<TDialogResult> Answers;
    std::optional<TDialogResult> Otherwise;
    // The open dialog: what it was last asked, and the file it chooses (none: cancelled).
    TFileDialogOptions Asked;
    std::optional<std::string> OpenChoice;
    // Message processing.
    int Pumps = 0;
    std::function<void()> OnPump;

  private:
    TUiHooks* FPrevious;
};

}  // namespace qm::test
