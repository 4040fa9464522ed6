// The folder tree's worker threads. Their work waits on the file system, not on the processor,
// and a hung mount can hold a thread for good; so the pools are never destroyed (the
// application's exit must not wait for work that never ends).
#pragma once

#include <QThreadPool>

namespace qm {

// Folder listings: more threads than processors, since they mostly wait.
QThreadPool& ListingPool();
// Copies and moves of dropped items: two may run side by side.
QThreadPool& TransferPool();

}  // namespace qm
