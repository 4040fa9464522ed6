#include "foldertree/ShellFolderReader.h"

#include "foldertree/WorkerPools.h"

#include <QMetaObject>

#include <mutex>

namespace qm {

// Shared by the reader and its running listings: whoever finishes last frees it.
struct TShellFolderReader::TState {
    std::mutex Lock;
    QObject* Receiver = nullptr;  // null once the reader is gone
    TDeliver Deliver;
};

TShellFolderReader::TShellFolderReader(QObject* Receiver, TDeliver Deliver)
    : FState(std::make_shared<TState>()) {
    FState->Receiver = Receiver;
    FState->Deliver = std::move(Deliver);
}

TShellFolderReader::~TShellFolderReader() {
    std::lock_guard<std::mutex> guard(FState->Lock);
    FState->Receiver = nullptr;
}

void TShellFolderReader::Read(uint64_t Ticket,
                              std::shared_ptr<const TCustomShellController> Controller,
                              TShellItem Folder, TEnumFlags Flags) {
    std::shared_ptr<TState> state = FState;
    ListingPool().start(
        [state, Ticket, Controller = std::move(Controller), Folder = std::move(Folder), Flags] {
            auto listing = std::make_shared<TShellListing>(Controller->EnumObjects(Folder, Flags));
            // Posting under the lock: the receiver cannot be destroyed in between, and its
            // destruction discards whatever was posted to it.
            std::lock_guard<std::mutex> guard(state->Lock);
            if (!state->Receiver) return;
            QMetaObject::invokeMethod(
                state->Receiver,
                [state, Ticket, listing] {
                    if (state->Receiver && state->Deliver)
                        state->Deliver(Ticket, std::move(*listing));
                },
                Qt::QueuedConnection);
        });
}

}  // namespace qm
