// qmate: the program block. Creates the application and the main window, runs the event loop
// until the window closes and ends with the command-line run's exit status.
#include <cstdio>
#include <string>
#include <vector>

#include "app/UApplication.h"
#include "app/UCommandLine.h"
#include "app/UDisplay.h"
#include "app/UErrorBox.h"
#include "app/UFormMain.h"
#include "app/UQMApps.h"
#include "app/UQtUiHooks.h"
#include "app/USignalNotifier.h"
#include "platform/UiHooks.h"

namespace {

// Without a display the program's standard error is a log (cron mails it): it keeps the
// program's own messages, not Qt's remarks about the missing desktop session.
void QuietQtMessages(QtMsgType Type, const QMessageLogContext&, const QString& Message) {
    if (Type == QtCriticalMsg || Type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", Message.toLocal8Bit().constData());
}

}  // namespace

int main(int argc, char** argv) {
    using namespace qm;
    std::vector<std::string> parameters(argv + 1, argv + argc);
    // Answered before Qt starts, so that they need neither a display nor a window.
    switch (ProgramRequest(parameters)) {
        case prHelp:
            std::fputs(UsageForTerminal().c_str(), stdout);
            return std::fflush(stdout) == 0 ? 0 : 1;
        case prVersion:
            std::printf("%s\n", kDesignAppTitle);
            return std::fflush(stdout) == 0 ? 0 : 1;
        case prRun:
            break;
    }
    const bool noDisplay = NoDisplayInEnvironment();
    if (noDisplay && parameters.empty()) {
        // Nobody could use the window: say how to run it instead.
        std::fputs(UsageForTerminal().c_str(), stderr);
        return 1;
    }
    UseOffscreenWithoutDisplay();
    if (noDisplay) qInstallMessageHandler(QuietQtMessages);

    TQMApplication application(argc, argv);
    TQMApplication::setApplicationName(QStringLiteral("qmate"));
    TQMApplication::setDesktopFileName(QStringLiteral("quillmate"));
    TQtUiHooks hooks;
    hooks.SetAnswerAtOnce(RunsWithoutDisplay());
    SetUiHooks(&hooks);
    TSignalNotifier signalNotifier;

    int status = 0;
    {
        TFormMain form;
        form.SetParameters(parameters);
        form.SetEndWithCommandLineRun(RunsWithoutDisplay());
        // Nobody sees an offscreen window: painting it would only slow the back-up down.
        if (RunsWithoutDisplay()) form.setUpdatesEnabled(false);
        hooks.OnProcessedMessages = [&form] { RunGuarded([&form] { form.ActionList1Update(); }); };
        QObject::connect(&signalNotifier, &TSignalNotifier::Received, &form,
                         [&form] { form.SignalReceived(); });
        form.show();
        application.exec();
        hooks.OnProcessedMessages = nullptr;
        status = form.ExitStatus();
    }
    SetUiHooks(nullptr);
    return status;
}
