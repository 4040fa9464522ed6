// Lists folders on worker threads, so that a folder of many entries or a slow mount never
// holds up the window; each listing is handed back on the receiver's (GUI) thread.
#pragma once

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "foldertree/CustomShellController.h"
#include "foldertree/ShellItem.h"

namespace qm {

using TShellListing = std::optional<std::vector<TShellItem>>;

class TShellFolderReader {
  public:
    using TDeliver = std::function<void(uint64_t Ticket, TShellListing Listing)>;

    // Deliver runs on Receiver's thread, from its event loop.
    TShellFolderReader(QObject* Receiver, TDeliver Deliver);
    // Listings still running finish on their threads and are thrown away.
    ~TShellFolderReader();
    TShellFolderReader(const TShellFolderReader&) = delete;
    TShellFolderReader& operator=(const TShellFolderReader&) = delete;

    // Starts listing Folder; its result comes back with Ticket.
    void Read(uint64_t Ticket, std::shared_ptr<const TCustomShellController> Controller,
              TShellItem Folder, TEnumFlags Flags);

  private:
    struct TState;
    std::shared_ptr<TState> FState;
};

}  // namespace qm
