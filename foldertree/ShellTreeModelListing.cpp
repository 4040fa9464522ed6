// The folder tree model's listings: worker tickets, the listing on the calling thread that
// supersedes them, and the change notifications that read a shown folder again.
#include <QHash>

#include <algorithm>

#include "foldertree/ShellTreeModel.h"

namespace qm {

void TShellTreeModel::Fill(const QModelIndex& Index) {
    if (TShellTreeNode* node = NodeOf(Index)) StartRead(node, false);
}

void TShellTreeModel::StartRead(TShellTreeNode* Node, bool Refresh) {
    TShellFolder* folder = FolderOf(Node);
    if (!folder) return;
    if (!Refresh) {
        if (folder->FillState() != fsNotFilled) return;
        folder->SetFillState(fsFilling);
    }
    uint64_t ticket = FNextTicket++;
    FTickets[ticket] = {Node->Index, Refresh};
    FReader->Read(ticket, FController, TShellItem(*folder), EnumFlags());
    UpdateFilling();
}

void TShellTreeModel::FillNow(const QModelIndex& Index) {
    TShellTreeNode* node = NodeOf(Index);
    TShellFolder* folder = node ? FolderOf(node) : nullptr;
    if (!folder || folder->FillState() == fsFilled) return;
    // The worker's listing of this folder, if one is out, comes back to no ticket.
    std::erase_if(FTickets, [node](const auto& Entry) {
        return Entry.second.Index == node->Index && !Entry.second.Refresh;
    });
    ApplyFill(node, FController->EnumObjects(*folder, EnumFlags()));
    UpdateFilling();
}

void TShellTreeModel::Deliver(uint64_t Ticket, TShellListing Listing) {
    auto it = FTickets.find(Ticket);
    if (it == FTickets.end()) return;  // from before a rebuild, or superseded
    TTicket ticket = it->second;
    FTickets.erase(it);
    if (TShellFolder* folder = FItems[ticket.Index]; folder && folder->Node()) {
        if (ticket.Refresh)
            ApplyRefresh(folder->Node(), std::move(Listing));
        else
            ApplyFill(folder->Node(), std::move(Listing));
    }
    UpdateFilling();
    emit ListingArrived();
}

void TShellTreeModel::ApplyFill(TShellTreeNode* Node, TShellListing Listing) {
    TShellFolder* folder = FolderOf(Node);
    if (folder->FillState() == fsFilled) return;
    folder->SetFillState(fsFilled);
    std::vector<std::unique_ptr<TShellTreeNode>> nodes;
    if (Listing) {
        nodes.reserve(Listing->size());
        // Listings come sorted, so the nodes go in as they are.
        for (TShellItem& item : *Listing)
            if (Accepts(item)) nodes.push_back(MakeNode(std::move(item), Node));
    }
    Node->ButtonBeforeListing = false;
    QModelIndex index = IndexOf(Node);
    if (!nodes.empty()) {
        const int first = int(Node->Children.size());
        beginInsertRows(index, first, first + int(nodes.size()) - 1);
        for (auto& child : nodes) Node->Children.push_back(std::move(child));
        Node->Renumber(size_t(first));
        endInsertRows();
    }
    Changed(Node);
    if (Node->Children.empty()) emit FolderEmptied(index);
    WatchFolder(*folder, true);
}

void TShellTreeModel::ApplyRefresh(TShellTreeNode* Node, TShellListing Listing) {
    TShellFolder* folder = FolderOf(Node);
    if (!Listing || folder->FillState() != fsFilled) return;
    QHash<QString, TShellTreeNode*> existing;
    for (auto& child : Node->Children)
        existing.insert(FolderOf(child.get())->RelativeId(), child.get());
    std::vector<TShellItem> added;
    for (TShellItem& item : *Listing) {
        auto it = existing.find(item.RelativeId());
        if (it == existing.end()) {
            added.push_back(std::move(item));
            continue;
        }
        UpdateNode(it.value(), item);
        existing.erase(it);
    }
    // A name that went away and one that came with the same file identity is a rename: the
    // node keeps its expansion and its children.
    for (auto a = added.begin(); a != added.end();) {
        TShellTreeNode* renamed = nullptr;
        for (auto e = existing.begin(); a->Inode() != 0 && e != existing.end(); ++e) {
            TShellFolder* old = FolderOf(e.value());
            if (old->Kind() == ikEntry && old->Device() == a->Device() &&
                old->Inode() == a->Inode()) {
                renamed = e.value();
                existing.erase(e);
                break;
            }
        }
        if (!renamed) {
            ++a;
            continue;
        }
        QString oldPath = FolderOf(renamed)->Path();
        RenameSubtree(renamed, a->RelativeId());
        UpdateNode(renamed, *a);
        Resort(renamed);
        Notify(a->IsFolder() ? scRenameFolder : scRenameFile, oldPath, a->Path());
        a = added.erase(a);
    }
    for (TShellTreeNode* gone : existing) {
        TShellFolder* old = FolderOf(gone);
        TShellChange change = old->Kind() == ikMount ? scDriveRemove
                              : old->IsFolder()      ? scRemoveFolder
                                                     : scDeleteFile;
        QString path = old->Path();
        RemoveNode(IndexOf(gone));
        Notify(change, path);
    }
    for (TShellItem& item : added) {
        if (!Accepts(item)) continue;
        TShellChange change = item.Kind() == ikMount ? scDriveAdd
                              : item.IsFolder()      ? scCreateFolder
                                                     : scCreateFile;
        QString path = item.Path();
        InsertSorted(Node, MakeNode(std::move(item), Node));
        Notify(change, path);
    }
}

void TShellTreeModel::ProcessChanges(const QStringList& Folders) {
    for (const QString& path : Folders) {
        std::vector<TShellTreeNode*> shown;
        std::function<void(TShellTreeNode*)> collect = [&](TShellTreeNode* Node) {
            TShellFolder* folder = FolderOf(Node);
            if (folder && folder->FillState() == fsFilled && folder->Path() == path)
                shown.push_back(Node);
            for (auto& child : Node->Children) collect(child.get());
        };
        if (FRoot) collect(FRoot.get());
        for (TShellTreeNode* node : shown) StartRead(node, true);
    }
}

void TShellTreeModel::UpdateFilling() {
    bool filling = std::any_of(FTickets.begin(), FTickets.end(),
                               [](const auto& Entry) { return !Entry.second.Refresh; });
    if (filling == FFilling) return;
    FFilling = filling;
    emit FillingChanged(filling);
}

}  // namespace qm
