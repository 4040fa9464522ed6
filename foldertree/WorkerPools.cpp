#include "foldertree/WorkerPools.h"

namespace qm {

namespace {

inline constexpr int kListingThreads = 8;
inline constexpr int kTransferThreads = 2;

QThreadPool* LastingPool(int Threads) {
    auto* pool = new QThreadPool;
    pool->setMaxThreadCount(Threads);
    return pool;
}

}  // namespace

QThreadPool& ListingPool() {
    static QThreadPool* pool = LastingPool(kListingThreads);
    return *pool;
}

QThreadPool& TransferPool() {
    static QThreadPool* pool = LastingPool(kTransferThreads);
    return *pool;
}

}  // namespace qm
