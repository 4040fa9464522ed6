#include "foldertree/ShellExpandPlans.h"

#include <QPersistentModelIndex>

#include <algorithm>

#include "foldertree/ShellTreeModel.h"

namespace qm {

uint64_t TShellExpandPlans::Add(TShellIdList Target, bool IncludeTarget) {
    uint64_t id = FNextId++;
    FPlans.push_back({id, std::move(Target), IncludeTarget});
    return id;
}

bool TShellExpandPlans::Done(uint64_t Id) const {
    return std::none_of(FPlans.begin(), FPlans.end(),
                        [Id](const TPlan& Plan) { return Plan.Id == Id; });
}

void TShellExpandPlans::Finish(uint64_t Id) {
    if (std::erase_if(FPlans, [Id](const TPlan& Plan) { return Plan.Id == Id; }) > 0) FFinished(Id);
}

void TShellExpandPlans::Advance() {
    // The signals of a step or of a finished plan reach code that may queue or run plans.
    std::vector<TPlan> plans = FPlans;
    for (const TPlan& plan : plans) {
        QModelIndex reached;
        if (!Done(plan.Id) && Step(plan, false, reached)) Finish(plan.Id);
    }
}

QModelIndex TShellExpandPlans::RunNow(uint64_t Id) {
    auto it = std::find_if(FPlans.begin(), FPlans.end(),
                           [Id](const TPlan& Plan) { return Plan.Id == Id; });
    if (it == FPlans.end()) return {};
    TPlan plan = *it;
    QModelIndex reached;
    Step(plan, true, reached);
    QPersistentModelIndex kept(reached);
    Finish(Id);
    // What was listed here may be what the queued plans wait for: their worker tickets were
    // superseded, so no arrival would move them on.
    Advance();
    return kept;
}

bool TShellExpandPlans::Step(const TPlan& Plan, bool Now, QModelIndex& Reached) {
    QModelIndex node = FModel.RootIndex();
    TShellFolder* folder = FModel.FolderOf(node);
    if (!folder) return true;
    const TShellIdList& rootId = folder->AbsoluteId();
    if (Plan.Target.size() < rootId.size() || Plan.Target.mid(0, rootId.size()) != rootId)
        return true;
    for (qsizetype level = rootId.size();; ++level) {
        if (level == Plan.Target.size() && !Plan.IncludeTarget) {
            Reached = node;
            return true;
        }
        if (Now)
            FModel.FillNow(node);
        else
            FModel.Fill(node);
        bool filled = FModel.FolderOf(node)->FillState() == fsFilled;
        // A folder listed empty stays closed, as a listing that finds nothing leaves it.
        if (!filled || FModel.rowCount(node) > 0) FExpand(node);
        if (!filled) return false;
        if (level == Plan.Target.size()) {
            Reached = node;
            return true;
        }
        QModelIndex next = FModel.ChildById(node, Plan.Target[level]);
        // A hidden folder on the way to a folder chosen by its path is shown, so that a hidden
        // folder (settings, keys, mail) can be the source of a back-up.
        if (!next.isValid() && Plan.Target[level].startsWith(QLatin1Char('.')))
            next = FModel.AddChildNow(node, Plan.Target[level]);
        if (!next.isValid()) return true;
        node = next;
    }
}

}  // namespace qm
