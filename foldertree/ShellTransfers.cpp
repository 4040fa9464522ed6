#include "foldertree/ShellTransfers.h"

#include "foldertree/WorkerPools.h"

namespace qm {

TShellTransfers::TShellTransfers(QObject* Receiver) : FState(std::make_shared<TState>()) {
    FState->Receiver = Receiver;
}

TShellTransfers::~TShellTransfers() {
    std::lock_guard<std::mutex> guard(FState->Lock);
    FState->Receiver = nullptr;
}

void TShellTransfers::Post(const std::shared_ptr<TState>& State, std::function<void()> Call) {
    // Posting under the lock: the receiver cannot be destroyed in between, and its destruction
    // discards whatever was posted to it.
    std::lock_guard<std::mutex> guard(State->Lock);
    if (!State->Receiver) return;
    QMetaObject::invokeMethod(
        State->Receiver,
        [State, Call = std::move(Call)] {
            if (State->Receiver) Call();
        },
        Qt::QueuedConnection);
}

void TShellTransfers::Start(TWork Work, TProgress Progress, TFinished Finished) {
    ++FRunning;
    std::shared_ptr<TState> state = FState;
    // The count goes down on the receiver's thread, just before Finished runs.
    int* running = &FRunning;
    TransferPool().start([state, running, Work = std::move(Work), Progress = std::move(Progress),
                          Finished = std::move(Finished)] {
        QString error;
        const bool done = Work(error, [&state, &Progress](int Done, int Total) {
            if (Progress) Post(state, [Progress, Done, Total] { Progress(Done, Total); });
        });
        Post(state, [running, Finished, done, error] {
            --*running;
            if (Finished) Finished(done, error);
        });
    });
}

}  // namespace qm
