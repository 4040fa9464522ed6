// What the main window's tests share: a settings folder per test (windir), scripted message
// boxes and dialogs, and pending-event processing during a run with a hook for the test to act
// in the middle of it.
#pragma once

#include <QApplication>
#include <QSignalSpy>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/UFormMain.h"
#include "app/UQMApps.h"
#include "support/ScriptedUiHooks.h"
#include "support/TestDir.h"

namespace qm::test {

class TFormHooks : public TScriptedUiHooks {
  public:
    // Runs once per ProcessMessages, after the pending events (the run's message processing).
    std::function<void()> OnProcess;
    int Processed = 0;
    // The save dialog's answer; nullopt cancels it.
    std::optional<std::string> SaveAnswer;
    TFileDialogOptions SaveOptions;
    std::string SaveOfferedName;

    // Runs when a message box shows, before it is answered: what the window shows behind it.
    std::function<void()> OnBox;

    TDialogResult MessageBox(const std::string& Title, const std::string& Text, TMsgIcon Icon,
                             unsigned Buttons, TDialogResult DefaultButton) override {
        if (OnBox) OnBox();
        return TScriptedUiHooks::MessageBox(Title, Text, Icon, Buttons, DefaultButton);
    }
    void ProcessMessages() override {
        QCoreApplication::processEvents();
        ++Processed;
        if (OnProcess) {
            auto action = OnProcess;
            action();
        }
    }
    bool SaveFileDialog(const TFileDialogOptions& Options, std::string& FileName) override {
        SaveOptions = Options;
        SaveOfferedName = FileName;
        if (!SaveAnswer) return false;
        FileName = *SaveAnswer;
        return true;
    }

    std::vector<std::string> Titles() const {
        std::vector<std::string> titles;
        for (const TMessageBoxCall& box : Boxes) titles.push_back(box.Title);
        return titles;
    }
    // The text of the last box titled Title; empty when there was none.
    std::string LastText(const std::string& Title) const {
        for (auto it = Boxes.rbegin(); it != Boxes.rend(); ++it)
            if (it->Title == Title) return it->Text;
        return std::string();
    }
};

class TFormMainFixture {
  public:
    TFormMainFixture() {
        QApplication::setQuitOnLastWindowClosed(false);
        qputenv("windir", QByteArray::fromStdString(Dir.Path() + "/ini"));
        Dir.Folder("ini");
        AppsIniFileName = AppsIniFileNameFromEnvironment();
        AppTitle = kDesignAppTitle;
    }
    ~TFormMainFixture() { Form.reset(); }

    TestDir Dir;
    TFormHooks Hooks;
    std::unique_ptr<TFormMain> Form;

    void WriteIni(const std::string& Text) const { Dir.File("ini/QMApps.ini", Text); }
    std::string IniText() const { return ReadWholeFile(Dir.Path() + "/ini/QMApps.ini"); }

    // A fresh window, shown (start-up runs) with the given command line.
    TFormMain& Show(const std::vector<std::string>& Parameters = {}) {
        Form = std::make_unique<TFormMain>();
        Form->SetParameters(Parameters);
        Form->show();
        return *Form;
    }
    // Shows the window with Parameters and waits for the command-line run to end.
    TFormMain& RunCommandLine(const std::vector<std::string>& Parameters) {
        Form = std::make_unique<TFormMain>();
        Form->SetParameters(Parameters);
        QSignalSpy ended(Form.get(), &TFormMain::CommandLineRunEnded);
        Form->show();
        if (ended.isEmpty()) ended.wait(30000);
        return *Form;
    }
};

}  // namespace qm::test
