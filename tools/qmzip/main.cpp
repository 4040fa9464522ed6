// qmzip: the archive writer from a shell.
//
// SIGINT, SIGTERM and SIGHUP only set a flag; the writer's message-processing hook, which it
// calls after every block of output, turns the flag into RequestCancel, so the writer's own
// cancellation runs and cleans up (no partial archive, an updated archive left unchanged).
// A run that ends any other way (SIGKILL, a crash) leaves at most a temporary file beside the
// archive: the archive itself is only ever renamed into place complete.
//
// Nothing is left out in silence: every file or folder that could not be read, and every file
// that changed while it was read, gets a line on standard error and exit status 2. A FIFO,
// socket or device gets its own line; it holds no data, so it does not change the status.
#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

#include "Options.h"
#include "Progress.h"
#include "platform/Exception.h"
#include "platform/UiHooks.h"
#include "zip/StoredPath.h"
#include "zip/ZipErrors.h"
#include "zip/ZipWriter.h"

namespace {

volatile sig_atomic_t Interrupted = 0;

void OnSignal(int) {
    Interrupted = 1;
}

void InstallSignalHandlers() {
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;  // no SA_RESTART needed: the writer never blocks on a terminal
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
}

// The console hooks, plus the cancel request of a pending signal.
class TQmzipHooks : public qm::TConsoleUiHooks {
  public:
    explicit TQmzipHooks(qm::TZipWriter& Writer) : FWriter(Writer) {}
    void ProcessMessages() override {
        if (Interrupted) FWriter.RequestCancel();
    }

  private:
    qm::TZipWriter& FWriter;
};

// Messages use a single carriage return as line break; a terminal wants a line feed.
std::string Printable(const char* Message) {
    std::string text = Message;
    for (char& c : text)
        if (c == '\r') c = '\n';
    return text;
}

// An archive that cannot be read: the message says what is wrong, the name says with what.
int ReaderError(qm::qmzip::TProgress& Progress, const std::string& Archive,
                const std::exception& Error) {
    Progress.Finish();
    std::fprintf(stderr, "qmzip: %s: %s\n", Archive.c_str(), Printable(Error.what()).c_str());
    return Interrupted ? 130 : 1;
}

qm::TZipAction ActionOf(const std::string& Name) {
    if (Name == "replace") return qm::zaReplace;
    if (Name == "freshen") return qm::zaFreshen;
    return qm::zaUpdate;
}

int Run(const qm::qmzip::TOptions& Options) {
    using namespace qm;
    std::string root = qmzip::AbsolutePath(Options.RootDir.empty() ? "." : Options.RootDir);
    if (root.back() != '/') root += '/';

    TZipWriter writer;
    TQmzipHooks hooks(writer);
    TUiHooks* previous = SetUiHooks(&hooks);
    struct TRestore {
        TUiHooks* P;
        ~TRestore() { SetUiHooks(P == &UiHooks() ? nullptr : P); }
    } restore{previous};

    writer.SetRootDir(root);
    writer.SetZipName(qmzip::AbsolutePath(Options.Archive));
    writer.SetPackLevel(Options.PackLevel);
    writer.SetThreads(Options.Threads);
    writer.SetZipAction(ActionOf(Options.Action));
    if (Options.Recurse) {
        // As the application's sub-folder box does.
        writer.SetRecurse(true);
        writer.SetStorePaths(true);
        writer.SetRelativePaths(true);
    }
    for (const auto& m : Options.Excludes) writer.ExcludeList().push_back(m);
    for (const auto& m : Options.NoCompress) writer.NoCompressList().push_back(m);
    const std::vector<std::string> lines = qmzip::ExpandSpecs(Options.Specs, root);
    const std::string missing = qmzip::MissingFolder(lines);
    if (!missing.empty()) {
        std::fprintf(stderr, "qmzip: no such folder: %s\n", missing.c_str());
        return 1;
    }
    for (const auto& line : lines) writer.FilesList().push_back(line);

    int leftOut = 0;  // files and folders that could not be read, or changed while read
    bool nothingToDo = false;
    bool replacing = false;
    std::string lastUnreadable;
    writer.OnFilesFound = [&](auto&&, int NumFiles, bool& Abandon) {
        Abandon = NumFiles == 0;
        nothingToDo = Abandon;
    };
    writer.OnSkippingFile = [&](TZipWriter& Sender, TSkipReason Reason, const std::string& FName,
                                int, bool&) {
        if (Reason != srFileOpenError) return;  // a name stored twice loses nothing
        ++leftOut;
        lastUnreadable = FName;
        std::fprintf(stderr, "qmzip: skipped (cannot be read): %s: %s\n", FName.c_str(),
                     Sender.SkippingReason().c_str());
    };
    writer.OnNoSuchFile = [&](auto&&, const std::string& FName) {
        ++leftOut;
        std::fprintf(stderr, "qmzip: no such file: %s\n", FName.c_str());
    };
    writer.OnFileChanged = [&](auto&&, const std::string& FName) {
        ++leftOut;
        std::fprintf(stderr, "qmzip: changed while read: %s\n", FName.c_str());
    };
    writer.OnNotRegularFile = [&](auto&&, const std::string& FName) {
        std::fprintf(stderr, "qmzip: not a regular file, left out: %s\n", FName.c_str());
    };
    writer.SetCheckArchive(Options.Check);
    writer.OnUpdate = [&](auto&&, TUpdateAction Action, int) {
        if (Action == uaReplacing) {
            replacing = true;
            lastUnreadable.clear();
            return;
        }
        // Keeping right after replacing: the newer file was not stored.
        if (replacing && !lastUnreadable.empty())
            std::fprintf(stderr, "qmzip: the archive keeps its older copy of: %s\n",
                         lastUnreadable.c_str());
        replacing = false;
    };

    qmzip::TProgress progress(!Options.Quiet && ::isatty(STDERR_FILENO));
    writer.OnStartZip = [&](auto&&, const std::string& FName, auto&&, bool&) {
        if (Interrupted) writer.RequestCancel();
        progress.StartFile(NamePart(FName).empty() ? FName : NamePart(FName));
    };
    writer.OnFilePercentDone = [&](auto&&, int Percent) { progress.FilePercent(Percent); };
    writer.OnTotalPercentDone = [&](auto&&, int Percent) { progress.TotalPercent(Percent); };

    try {
        int count = writer.ZipFiles();
        progress.Finish();
        if (nothingToDo) {
            std::fprintf(stderr, "qmzip: nothing to back up\n");
            return 1;
        }
        std::printf("%d file%s added\n", count, count == 1 ? "" : "s");
        return leftOut > 0 ? 2 : 0;
    } catch (const EUserCanceled& e) {
        progress.Finish();
        std::fprintf(stderr, "qmzip: %s\n", Printable(e.what()).c_str());
        return Interrupted ? 130 : 1;
    } catch (const EArchiveInUse&) {
        progress.Finish();
        std::fprintf(stderr, "qmzip: %s: in use by another run\n", Options.Archive.c_str());
        return 1;
    } catch (const EBadZipFile& e) {
        return ReaderError(progress, Options.Archive, e);
    } catch (const EIncompleteZip& e) {
        return ReaderError(progress, Options.Archive, e);
    } catch (const ENotAZipFile& e) {
        return ReaderError(progress, Options.Archive, e);
    } catch (const std::exception& e) {
        progress.Finish();
        std::fprintf(stderr, "qmzip: %s\n", Printable(e.what()).c_str());
        return Interrupted ? 130 : 1;
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    qm::qmzip::TOptions options;
    try {
        options = qm::qmzip::ParseOptions(args);
    } catch (const std::invalid_argument& e) {
        std::fprintf(stderr, "qmzip: %s\n%s", e.what(), qm::qmzip::UsageText);
        return 1;
    }
    if (options.Help) {
        std::fputs(qm::qmzip::UsageText, stdout);
        return 0;
    }
    InstallSignalHandlers();
    try {
        return Run(options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qmzip: %s\n", e.what());
        return 1;
    }
}
