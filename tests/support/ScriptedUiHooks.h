// UI hooks for tests: record every message box and answer it from a script (the default button
// once the script is used up); dialogs are cancelled. Installed for the object's lifetime.
#pragma once

#include <deque>
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
        if (Answers.empty()) return DefaultButton;
        TDialogResult answer = Answers.front();
        Answers.pop_front();
        return answer;
    }
    void ProcessMessages() override {}
    bool OpenFileDialog(const TFileDialogOptions&, std::string&) override { return false; }
    bool SaveFileDialog(const TFileDialogOptions&, std::string&) override { return false; }
    bool SelectFolderDialog(const std::string&, std::string&) override { return false; }
    void SetBusyCursor(bool) override {}

    std::vector<TMessageBoxCall> Boxes;
    std::deque<TDialogResult> Answers;

  private:
    TUiHooks* FPrevious;
};

}  // namespace qm::test
