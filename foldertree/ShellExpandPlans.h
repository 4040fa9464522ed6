// The folder tree's queue of expand plans: each plan is a chain of nodes to open from the
// top down toward a target folder (the target itself included or not), and is done when the
// target's node is reached or the chain breaks (a level that does not exist or is filtered
// out).
//
// A plan runs in one of two ways:
// - Advance moves every queued plan on as far as the listings that have arrived allow, and
//   starts the listings each one waits for on the workers. The start folder at a view's first
//   show is such a plan: it is advanced whenever a listing arrives, while the window goes on.
// - RunNow takes one queued plan to its end before returning: each level it still lacks is
//   listed on the calling thread (TShellTreeModel::FillNow) with the same controller and code
//   the workers use, and a worker's outstanding listing of that level is superseded. No event
//   is processed meanwhile, so nothing can change or delete the tree under its caller. This is
//   what keeps selecting a folder by its path synchronous: the caller finds the selection made,
//   or an error raised, when the call returns. The price is that the caller waits for every
//   listing on the way, a slow mount's included.
#pragma once

#include <QModelIndex>

#include <cstdint>
#include <functional>
#include <vector>

#include "foldertree/ShellItem.h"

namespace qm {

class TShellTreeModel;

class TShellExpandPlans {
  public:
    // Expand opens a node on the way; Finished hears of every plan that ends.
    using TExpand = std::function<void(const QModelIndex& Node)>;
    using TFinished = std::function<void(uint64_t Id)>;
    TShellExpandPlans(TShellTreeModel& Model, TExpand Expand, TFinished Finished)
        : FModel(Model), FExpand(std::move(Expand)), FFinished(std::move(Finished)) {}

    // Queues a plan toward Target; returns its ID (never 0).
    uint64_t Add(TShellIdList Target, bool IncludeTarget);
    // Moves every queued plan on with the listings at hand.
    void Advance();
    // Takes plan Id to its end now; the node of its target when reached, else invalid.
    QModelIndex RunNow(uint64_t Id);
    bool Done(uint64_t Id) const;
    void Clear() { FPlans.clear(); }

  private:
    struct TPlan {
        uint64_t Id;
        TShellIdList Target;
        bool IncludeTarget;
    };

    // True when the plan is done; Reached is then the target's node, if it was reached.
    bool Step(const TPlan& Plan, bool Now, QModelIndex& Reached);
    void Finish(uint64_t Id);

    TShellTreeModel& FModel;
    const TExpand FExpand;
    const TFinished FFinished;
    std::vector<TPlan> FPlans;
    uint64_t FNextId = 1;
};

}  // namespace qm
