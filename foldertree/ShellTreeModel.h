// The folder namespace as an item model: one column of nodes from the tree's top item (the
// Desktop, unless rooted elsewhere) down, each node a TShellFolder, filled lazily when a view
// expands it and kept current by change notifications.
//
// Folders are listed on worker threads (TShellFolderReader): a listing is a ticket, and its
// nodes are added when the result comes back on the GUI thread, so that a huge folder or a slow
// mount never holds up the window. FillNow lists a folder on the calling thread instead, for
// the one caller that needs the nodes at once (a path selection, see ShellExpandPlans.h); a
// worker ticket still outstanding for that folder is then superseded and its late result
// ignored.
//
// The model knows nothing of its view nor of the expand plans built on it. What only a view
// can do (collapsing a folder found empty, handing the selection on before a node goes, the
// busy cursor, moving plans on) it asks for with signals.
#pragma once

#include <QAbstractItemModel>
#include <QCollator>
#include <QColor>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>

#include "foldertree/CustomShellController.h"
#include "foldertree/ShellChange.h"
#include "foldertree/ShellChangeQueue.h"
#include "foldertree/ShellFolderList.h"
#include "foldertree/ShellFolderReader.h"
#include "foldertree/ShellTreeNode.h"
#include "foldertree/ShellTreeOptions.h"

namespace qm {

class TShellTreeModel : public QAbstractItemModel {
    Q_OBJECT

  public:
    // Whether an item is shown at all.
    using TFilter = std::function<bool(const TShellItem& Item)>;
    // Path2 is the new path of a rename, empty otherwise.
    using TNotify =
        std::function<void(TShellChange Change, const QString& Path1, const QString& Path2)>;

    explicit TShellTreeModel(std::shared_ptr<TCustomShellController> Controller,
                             QObject* Parent = nullptr);
    ~TShellTreeModel() override;

    QModelIndex index(int Row, int Column, const QModelIndex& Parent = {}) const override;
    QModelIndex parent(const QModelIndex& Index) const override;
    int rowCount(const QModelIndex& Parent = {}) const override;
    int columnCount(const QModelIndex& Parent = {}) const override;
    bool hasChildren(const QModelIndex& Parent = {}) const override;
    QVariant data(const QModelIndex& Index, int Role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& Index) const override;

    // ---- Settings. The listing options take effect at the next Build.
    const TCustomShellController& Controller() const { return *FController; }
    void SetOptions(TShellTreeOptions Options) { FOptions = Options; }
    void SetCompressedColor(const QColor& Color);
    void SetFilter(TFilter Filter) { FFilter = std::move(Filter); }
    void SetNotify(TNotify Notify) { FNotify = std::move(Notify); }
    TEnumFlags EnumFlags() const;

    // ---- Building
    // The item of a root property; raises EShellError / EInvalidFolder as the property does.
    TShellItem ResolveRoot(TSpecialFolder Special, const QString& Folder) const;
    // Drops every node and plan and makes Root the only node, its listing started.
    void Build(TShellItem Root);

    // ---- Nodes
    QModelIndex RootIndex() const;
    bool IsRoot(const QModelIndex& Index) const;
    TShellFolder* FolderOf(const QModelIndex& Index) const;
    // The first node in tree order whose item has this ID list / this path.
    QModelIndex FindNode(const TShellIdList& Id) const;
    QModelIndex FindNodeByPath(const QString& Path) const;
    // The child of Parent with this relative ID.
    QModelIndex ChildById(const QModelIndex& Parent, const QString& RelativeId) const;
    // Sibling order of two nodes (negative, 0, positive).
    int CompareNodes(const QModelIndex& A, const QModelIndex& B) const;
    // Adds the child Name of a listed folder now, without waiting for a change notification;
    // the existing node when there is one, invalid when the item does not resolve or is left
    // out by the filter.
    QModelIndex AddChildNow(const QModelIndex& Parent, const QString& Name);
    // Removes the node and its subtree (NodeAboutToBeRemoved first).
    void RemoveNode(const QModelIndex& Index);
    // Renames the item on disk and moves its node to its new place among its siblings; false
    // with Error set when the file system refuses.
    bool RenameItem(const QModelIndex& Index, const QString& NewName, QString& Error);
    void Notify(TShellChange Change, const QString& Path1, const QString& Path2 = QString());

    // ---- Listings and changes
    // Starts listing the folder on a worker, unless it is listed or being listed.
    void Fill(const QModelIndex& Index);
    // Lists the folder on this thread unless it is listed, superseding a worker's listing.
    void FillNow(const QModelIndex& Index);
    // The view's report of an expansion: it decides the folder's icon.
    void SetExpanded(const QModelIndex& Index, bool Expanded);
    // Whether any listing (a first one or a refresh) is still out.
    bool IsBusy() const { return !FTickets.empty(); }
    // Reads Folder again soon, wherever the tree shows its content.
    void PostChange(const QString& Folder) { FChanges.Post(Folder); }

  signals:
    // A listing from a worker has been applied: plans waiting for it can move on.
    void ListingArrived();
    // A folder listed with nothing to show; a view collapses it.
    void FolderEmptied(const QModelIndex& Index);
    // Emitted before the node (and its subtree) leave the model: still valid here.
    void NodeAboutToBeRemoved(const QModelIndex& Index);
    // Whether first listings (not refreshes) are out; a view shows the busy cursor.
    void FillingChanged(bool Filling);

  private:
    struct TTicket {
        int Index;
        bool Refresh;
    };

    TShellTreeNode* NodeOf(const QModelIndex& Index) const;
    QModelIndex IndexOf(const TShellTreeNode* Node) const;
    TShellFolder* FolderOf(const TShellTreeNode* Node) const { return FItems[Node->Index]; }
    TShellTreeNode* FindFirst(const std::function<bool(const TShellFolder&)>& Match) const;
    bool Accepts(const TShellItem& Item) const { return !FFilter || FFilter(Item); }

    std::unique_ptr<TShellTreeNode> MakeNode(TShellItem Item, TShellTreeNode* Parent);
    TShellTreeNode* InsertSorted(TShellTreeNode* Parent, std::unique_ptr<TShellTreeNode> Node);
    // Moves a node whose order key changed to its place among its siblings.
    void Resort(TShellTreeNode* Node);
    void Changed(TShellTreeNode* Node);
    void ReleaseSubtree(TShellTreeNode* Node);
    void RenameSubtree(TShellTreeNode* Node, const QString& NewName);
    void UpdateNode(TShellTreeNode* Node, const TShellItem& Fresh);
    void WatchFolder(const TShellFolder& Folder, bool On);

    void StartRead(TShellTreeNode* Node, bool Refresh);
    void Deliver(uint64_t Ticket, TShellListing Listing);
    void ApplyFill(TShellTreeNode* Node, TShellListing Listing);
    void ApplyRefresh(TShellTreeNode* Node, TShellListing Listing);
    void ProcessChanges(const QStringList& Folders);
    void UpdateFilling();

    std::shared_ptr<TCustomShellController> FController;
    TShellTreeOptions FOptions = kDefaultShellTreeOptions;
    QColor FCompressedColor = Qt::blue;
    TFilter FFilter;
    TNotify FNotify;

    TShellFolderList FItems;
    std::unique_ptr<TShellTreeNode> FRoot;
    TShellChangeQueue FChanges;
    std::unique_ptr<TShellFolderReader> FReader;
    std::map<uint64_t, TTicket> FTickets;
    uint64_t FNextTicket = 1;
    bool FFilling = false;
    QCollator FCollator;
};

}  // namespace qm
