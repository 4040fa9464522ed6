// The folder tree control: the folder namespace from its top (the Desktop, unless rooted
// elsewhere) down, filled lazily as nodes are expanded, kept current by change notifications,
// with in-place rename, an item menu, and drag and drop of file URLs.
//
// Folders are listed on worker threads (TShellFolderReader) and their nodes added when the
// listing arrives, so expanding a huge folder or one on a slow mount leaves the window
// responsive. Operations that need a node to exist (SelectFolderByPath) wait for the listings
// they depend on while the event loop keeps running.
#pragma once

#include <QCollator>
#include <QColor>
#include <QPersistentModelIndex>
#include <QTimer>
#include <QTreeWidget>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "foldertree/CustomShellController.h"
#include "foldertree/ShellChange.h"
#include "foldertree/ShellChangeQueue.h"
#include "foldertree/ShellContextMenu.h"
#include "foldertree/ShellFolderList.h"
#include "foldertree/ShellFolderReader.h"
#include "foldertree/ShellTransfers.h"
#include "foldertree/ShellTreeOptions.h"
#include "foldertree/SpecialFolder.h"

class QEventLoop;

namespace qm {

class TCustomShellTreeView;

using TFolderSelectedEvent =
    std::function<void(TCustomShellTreeView* Sender, TShellFolder* Folder)>;
// Accept starts true; a handler sets it false to leave the item out.
using TFilterItemEvent =
    std::function<void(TCustomShellTreeView* Sender, const TShellItem& Item, bool& Accept)>;
// Path2 is the new path of a rename, empty otherwise.
using TShellChangeNotifyEvent = std::function<void(
    TCustomShellTreeView* Sender, TShellChange Change, const QString& Path1, const QString& Path2)>;

class TCustomShellTreeView : public QTreeWidget {
    Q_OBJECT

  public:
    // Controller defaults to the shared one.
    explicit TCustomShellTreeView(QWidget* Parent = nullptr,
                                  std::shared_ptr<TCustomShellController> Controller = nullptr);
    ~TCustomShellTreeView() override;

    // ---- Properties. Changing a root property (or an option that changes what is listed)
    // rebuilds the tree; a setter that raises leaves the property as it was.
    TShellTreeOptions Options() const { return FOptions; }
    void SetOptions(TShellTreeOptions Options);
    TSpecialFolder SpecialRootFolder() const { return FSpecialRootFolder; }
    void SetSpecialRootFolder(TSpecialFolder Folder);  // raises EShellError
    const QString& RootFolder() const { return FRootFolder; }
    void SetRootFolder(const QString& Path);  // raises EInvalidFolder
    TSpecialFolder SpecialStartInFolder() const { return FSpecialStartInFolder; }
    void SetSpecialStartInFolder(TSpecialFolder Folder);
    const QString& StartInFolder() const { return FStartInFolder; }
    void SetStartInFolder(const QString& Path);
    int ExpandInterval() const { return FExpandInterval; }
    void SetExpandInterval(int Milliseconds) { FExpandInterval = std::max(0, Milliseconds); }
    QColor CompressedColor() const { return FCompressedColor; }
    void SetCompressedColor(const QColor& Color);
    bool Filtered() const { return FFiltered; }
    void SetFiltered(bool Filtered) { FFiltered = Filtered; }
    bool Enabled() const { return isEnabled(); }
    void SetEnabled(bool Enabled) { setEnabled(Enabled); }

    // ---- Interfaces
    // Selects the node of Path (an existing folder, or kComputerPath), expanding every level
    // down to it, the folder included, and makes it visible; StartInFolder becomes Path.
    // Raises EInvalidFolder ("Invalid folder") when Path does not resolve or its node cannot
    // be reached; the selection is then unchanged.
    void SelectFolderByPath(const QString& Path);
    // The item of the selected node, or nullptr.
    TShellFolder* SelectedShellItem() const;

    // ---- Events
    TFolderSelectedEvent OnFolderSelected;
    TFilterItemEvent OnFilterItem;
    TShellChangeNotifyEvent OnShellChangeNotify;

    // ---- Nodes and items
    TShellFolder* FolderOf(const QTreeWidgetItem* Node) const;
    QTreeWidgetItem* NodeAt(const QModelIndex& Index) const { return itemFromIndex(Index); }
    // The first node in tree order whose item has this ID list / this path.
    QTreeWidgetItem* FindNode(const TShellIdList& Id) const;
    QTreeWidgetItem* FindNodeByPath(const QString& Path) const;
    QTreeWidgetItem* RootNode() const { return topLevelItem(0); }
    // Whether listings are still being read.
    bool IsBusy() const { return !FTickets.empty(); }
    // Whether a dropped copy or move is still running on its worker.
    bool IsTransferring() const { return FTransfers.Running() > 0; }
    const TCustomShellController& Controller() const { return *FController; }
    // Drops every node and builds the tree again from the root properties.
    void Rebuild();

    // ---- Commands (the item menu's, also available without it)
    // Runs Command on the selected item; false when it does not apply or failed (a failure is
    // shown to the user).
    bool ExecuteCommand(TShellCommand Command);
    // Renames the node's item on disk and gives the node the new name; false (with the old
    // caption kept and the error shown) when that fails.
    bool RenameNode(QTreeWidgetItem* Node, const QString& NewName);

    // For the delegate: whether Index is the node marked as the drop target.
    bool IsDropTarget(const QModelIndex& Index) const;
    // Sibling order of two nodes (negative, 0, positive).
    int CompareNodes(const QTreeWidgetItem* A, const QTreeWidgetItem* B) const;

  protected:
    void showEvent(QShowEvent* Event) override;
    void contextMenuEvent(QContextMenuEvent* Event) override;
    void startDrag(Qt::DropActions Actions) override;
    void dragEnterEvent(QDragEnterEvent* Event) override;
    void dragMoveEvent(QDragMoveEvent* Event) override;
    void dragLeaveEvent(QDragLeaveEvent* Event) override;
    void dropEvent(QDropEvent* Event) override;

  private:
    struct TTicket {
        int Index;
        bool Refresh;
    };
    // A chain of nodes to expand toward Target, advanced as listings arrive.
    struct TExpandPlan {
        uint64_t Id;
        TShellIdList Target;
        bool IncludeTarget;
        bool Done = false;
    };

    TEnumFlags EnumFlags() const;
    std::optional<TShellItem> ResolveRoot(TSpecialFolder Special, const QString& Folder) const;
    std::optional<TShellIdList> StartInId() const;
    void BuildFrom(TShellItem Root);
    void ClearAll();

    QTreeWidgetItem* MakeNode(TShellItem Item);
    void DecorateNode(QTreeWidgetItem* Node) const;
    void InsertSorted(QTreeWidgetItem* Parent, QTreeWidgetItem* Node);
    void DeleteNode(QTreeWidgetItem* Node);
    void ReleaseSubtree(QTreeWidgetItem* Node);
    void RenameSubtree(QTreeWidgetItem* Node, const QString& NewName);
    bool Accepts(const TShellItem& Item);
    void Notify(TShellChange Change, const QString& Path1, const QString& Path2 = QString());
    void WatchFolder(const TShellFolder& Folder, bool On);

    void StartRead(QTreeWidgetItem* Node, bool Refresh);
    void Deliver(uint64_t Ticket, TShellListing Listing);
    void ApplyFill(QTreeWidgetItem* Node, TShellListing Listing);
    void ApplyRefresh(QTreeWidgetItem* Node, TShellListing Listing);
    void ProcessChanges(const QStringList& Folders);
    void OnItemExpanded(QTreeWidgetItem* Node);
    void OnCurrentChanged(QTreeWidgetItem* Current);
    void UpdateBusyCursor();

    uint64_t AddPlan(TShellIdList Target, bool IncludeTarget);
    bool AdvancePlan(TExpandPlan& Plan);
    void AdvancePlans();
    bool PlanDone(uint64_t Id) const;
    // Runs a nested event loop until plan Id is done; false when the view was destroyed
    // meanwhile (by something the loop ran), in which case the caller must touch nothing of it.
    [[nodiscard]] bool WaitForPlan(uint64_t Id);
    void SelectStartNode();

    // Expands down to Path and selects it; nullptr when the view was destroyed while it
    // waited for the listings. Raises EInvalidFolder when Path is not in the tree.
    QTreeWidgetItem* SelectPath(const QString& Path);
    QTreeWidgetItem* AddChildNow(QTreeWidgetItem* Parent, const QString& Name);
    void UpdateNode(QTreeWidgetItem* Node, const TShellItem& Fresh);
    void ShowError(const QString& Message) const;
    QStringList DraggedPaths(const QMimeData* Data) const;
    // Copies or moves Sources into Folder on a worker, with a progress dialog for long ones.
    void StartTransfer(const QStringList& Sources, const QString& Folder, bool Move);
    QTreeWidgetItem* DropTargetAt(const QPoint& Pos, const QStringList& Sources) const;
    void StopDragTracking();
    void AutoScrollStep();

    std::shared_ptr<TCustomShellController> FController;
    TShellTreeOptions FOptions = kDefaultShellTreeOptions;
    TSpecialFolder FSpecialRootFolder = sfDesktop;
    QString FRootFolder;
    TSpecialFolder FSpecialStartInFolder = sfNone;
    QString FStartInFolder;
    int FExpandInterval = 2000;
    QColor FCompressedColor = Qt::blue;
    bool FFiltered = false;

    TShellFolderList FItems;
    TShellChangeQueue FChanges;
    TShellTransfers FTransfers{this};
    std::unique_ptr<TShellFolderReader> FReader;
    std::map<uint64_t, TTicket> FTickets;
    uint64_t FNextTicket = 1;
    std::vector<TExpandPlan> FPlans;
    uint64_t FNextPlan = 1;
    uint64_t FStartPlan = 0;
    std::vector<QEventLoop*> FWaits;
    uint64_t FGeneration = 0;
    int FRootIndex = -1;
    bool FFirstPaint = false;
    bool FBusyCursor = false;
    bool FClearing = false;
    QCollator FCollator;

    // Drag and drop
    QPersistentModelIndex FDropTarget;
    QPersistentModelIndex FHoverIndex;
    QTimer FExpandTimer;
    QTimer FScrollTimer;
    int FScrollDirection = 0;
};

}  // namespace qm
