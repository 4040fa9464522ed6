// The UI hooks as the Qt application provides them: QMessageBox (each box also written to
// standard error as "Title: text", so that unattended runs leave a trace), QFileDialog, the
// event loop and the override cursor. The program installs one at start (SetUiHooks).
#pragma once

#include <QString>
#include <chrono>
#include <functional>

#include "platform/UiHooks.h"

namespace qm {

class TQtUiHooks : public TUiHooks {
  public:
    ~TQtUiHooks() override;

    TDialogResult MessageBox(const std::string& Title, const std::string& Text, TMsgIcon Icon,
                             unsigned Buttons, TDialogResult DefaultButton) override;
    void ProcessMessages() override;
    bool OpenFileDialog(const TFileDialogOptions& Options, std::string& FileName) override;
    bool SaveFileDialog(const TFileDialogOptions& Options, std::string& FileName) override;
    bool SelectFolderDialog(const std::string& Title, std::string& Folder) override;
    void SetBusyCursor(bool Busy) override;

    // Nobody can answer (no display): each box is still written to standard error, then
    // answered at once with its default button.
    void SetAnswerAtOnce(bool Value) { FAnswerAtOnce = Value; }
    // ProcessMessages lets events through at most once per Interval; calls in between return
    // at once. Zero processes on every call.
    void SetProcessInterval(std::chrono::microseconds Interval) { FProcessInterval = Interval; }
    bool AnswerAtOnce() const { return FAnswerAtOnce; }
    // Runs after every ProcessMessages: the idle-time updates also run while a long operation
    // keeps the window alive, when the event loop itself never waits.
    std::function<void()> OnProcessedMessages;

  private:
    int FBusy = 0;
    bool FAnswerAtOnce = false;
    // A back-up calls ProcessMessages after every block it writes, often every kilobyte;
    // repainting the window that often would cost more than the compression itself, while a
    // few dozen rounds a second keep the window live and Cancel prompt.
    std::chrono::microseconds FProcessInterval = std::chrono::milliseconds(40);
    std::chrono::steady_clock::time_point FLastProcessed;
    bool FProcessedOnce = false;
};

// A message text for Qt: the single CR line breaks become LF.
QString MessageText(const std::string& Text);
// "ZIP files (*.zip)|*.zip|All files (*.*)|*.*" as QFileDialog takes it:
// "ZIP files (*.zip);;All files (*.*)". A description without its patterns gets them appended.
QString QtFileFilter(const std::string& Filter);

}  // namespace qm
