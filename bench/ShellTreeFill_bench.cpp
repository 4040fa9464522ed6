// How long the window stalls while the folder tree fills a big folder or one on a slow mount.
//
// Each case expands one node and keeps the event loop beating every millisecond; max_stall_ms
// is the longest gap between two beats (how long the window could not repaint or take input),
// fill_ms the time until the node's children are all there. Run with QT_QPA_PLATFORM=offscreen
// (or under xvfb-run).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <chrono>
#include <map>
#include <memory>
#include <thread>

#include "foldertree/ShellTreeView.h"

namespace qm {
namespace {

// A file system whose listings take long, as a hung network mount's would.
class TSlowController : public TCustomShellController {
  public:
    explicit TSlowController(int DelayMs) : FDelayMs(DelayMs) {}

  protected:
    std::optional<QStringList> ReadFolder(const QString& Path) const override {
        std::this_thread::sleep_for(std::chrono::milliseconds(FDelayMs));
        return TCustomShellController::ReadFolder(Path);
    }
    bool HasShownContent(const QString& Path, const TEnumFlags& Flags) const override {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return TCustomShellController::HasShownContent(Path, Flags);
    }

  private:
    int FDelayMs;
};

// root/big holds Count entries (folders when Folders, else files); made once per shape.
const QString& BigFolder(int Count, bool Folders) {
    static std::map<std::pair<int, bool>, std::unique_ptr<QTemporaryDir>> made;
    auto& dir = made[{Count, Folders}];
    if (!dir) {
        dir = std::make_unique<QTemporaryDir>();
        QDir root(dir->path());
        root.mkpath("big");
        for (int i = 0; i < Count; ++i) {
            QString name = QStringLiteral("big/entry%1").arg(i, 5, 10, QLatin1Char('0'));
            if (Folders) {
                root.mkdir(name);
            } else {
                QFile file(root.filePath(name + ".txt"));
                file.open(QIODevice::WriteOnly);
            }
        }
    }
    static QString path;
    path = dir->path();
    return path;
}

struct TStall {
    double MaxGapMs = 0;
    double TotalMs = 0;
};

// Runs Start, then beats the event loop until Done() holds.
template <class TStart, class TDone>
TStall Measure(TStart Start, TDone Done) {
    TStall stall;
    QElapsedTimer total, beat;
    QTimer heart;
    heart.setInterval(1);
    QObject::connect(&heart, &QTimer::timeout, [&] {
        stall.MaxGapMs = std::max(stall.MaxGapMs, beat.nsecsElapsed() / 1e6);
        beat.restart();
    });
    total.start();
    beat.start();
    heart.start();
    Start();
    while (!Done()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    stall.MaxGapMs = std::max(stall.MaxGapMs, beat.nsecsElapsed() / 1e6);
    stall.TotalMs = total.nsecsElapsed() / 1e6;
    return stall;
}

// Expanding a folder of State.range(0) entries (folders when range(1) is 1, else files).
void BM_ExpandBigFolder(benchmark::State& State) {
    int count = int(State.range(0));
    bool folders = State.range(1) != 0;
    QString root = BigFolder(count, folders);
    TStall worst;
    for (auto _ : State) {
        State.PauseTiming();
        TShellTreeView tree;
        tree.SetOptions(tree.Options() | toShowFiles);
        tree.SetSpecialRootFolder(sfNone);
        tree.SetRootFolder(root);
        tree.resize(300, 500);
        tree.show();
        while (tree.IsBusy()) QCoreApplication::processEvents();
        QPersistentModelIndex big = tree.model()->index(0, 0, tree.RootNode());
        State.ResumeTiming();
        TStall stall =
            Measure([&] { tree.expand(big); },
                    [&] { return !tree.IsBusy() && tree.model()->rowCount(big) == count; });
        worst.MaxGapMs = std::max(worst.MaxGapMs, stall.MaxGapMs);
        worst.TotalMs += stall.TotalMs;
    }
    worst.TotalMs /= double(State.iterations());
    State.counters["max_stall_ms"] = worst.MaxGapMs;
    State.counters["fill_ms"] = worst.TotalMs;
}
BENCHMARK(BM_ExpandBigFolder)
    ->Args({10000, 0})
    ->Args({10000, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

// Selecting a folder by path on a mount whose every listing takes range(0) ms. The selection
// lists the levels it lacks on the GUI thread, so the window waits with its caller: the stall
// is the price of a synchronous selection.
void BM_SelectOnSlowMount(benchmark::State& State) {
    int delay = int(State.range(0));
    QString root = BigFolder(200, true);
    TStall worst;
    for (auto _ : State) {
        State.PauseTiming();
        TShellTreeView tree(nullptr, std::make_shared<TSlowController>(delay));
        tree.SetSpecialRootFolder(sfNone);
        tree.SetRootFolder(root);
        tree.show();
        State.ResumeTiming();
        bool done = false;
        TStall stall = Measure(
            [&] {
                // SelectFolderByPath blocks its caller, so it runs from the event loop here.
                QTimer::singleShot(0, [&] {
                    tree.SelectFolderByPath(root + "/big/entry00123");
                    done = true;
                });
            },
            [&] { return done; });
        worst.MaxGapMs = std::max(worst.MaxGapMs, stall.MaxGapMs);
        worst.TotalMs += stall.TotalMs;
    }
    worst.TotalMs /= double(State.iterations());
    State.counters["max_stall_ms"] = worst.MaxGapMs;
    State.counters["fill_ms"] = worst.TotalMs;
}
BENCHMARK(BM_SelectOnSlowMount)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace
}  // namespace qm

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
