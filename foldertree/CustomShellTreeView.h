// The folder tree control: a view of the folder namespace (TShellTreeModel) from its top (the
// Desktop, unless rooted elsewhere) down, with selection, in-place rename, an item menu, and
// drag and drop of file URLs.
//
// The model lists folders on worker threads as nodes are expanded, so expanding a huge folder
// or one on a slow mount leaves the window responsive; the start folder chosen before the first
// show is opened as those listings arrive. SelectFolderByPath is synchronous instead: it queues
// its selection in the model's plans and runs it to its end at once, listing every level still
// missing on the calling thread (see ShellExpandPlans.h). No event is processed during the
// call, so its caller finds the selection made (or EInvalidFolder raised) on return, and
// nothing can delete the view under it; the caller waits for those listings meanwhile.
#pragma once

#include <QColor>
#include <QPersistentModelIndex>
#include <QTimer>
#include <QTreeView>

#include <cstdint>
#include <functional>
#include <memory>

#include "foldertree/CustomShellController.h"
#include "foldertree/ShellChange.h"
#include "foldertree/ShellContextMenu.h"
#include "foldertree/ShellExpandPlans.h"
#include "foldertree/ShellTransfers.h"
#include "foldertree/ShellTreeModel.h"
#include "foldertree/ShellTreeOptions.h"
#include "foldertree/SpecialFolder.h"

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

class TCustomShellTreeView : public QTreeView {
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
    // be reached; the selection is then unchanged. Synchronous: see the top of this file.
    void SelectFolderByPath(const QString& Path);
    // The item of the selected node, or nullptr.
    TShellFolder* SelectedShellItem() const;

    // ---- Events
    TFolderSelectedEvent OnFolderSelected;
    TFilterItemEvent OnFilterItem;
    TShellChangeNotifyEvent OnShellChangeNotify;

    // ---- Nodes and items
    TShellFolder* FolderOf(const QModelIndex& Node) const { return FModel->FolderOf(Node); }
    // The first node in tree order whose item has this ID list / this path.
    QModelIndex FindNode(const TShellIdList& Id) const { return FModel->FindNode(Id); }
    QModelIndex FindNodeByPath(const QString& Path) const { return FModel->FindNodeByPath(Path); }
    QModelIndex RootNode() const { return FModel->RootIndex(); }
    TShellTreeModel* ShellModel() const { return FModel; }
    // Whether listings are still being read.
    bool IsBusy() const { return FModel->IsBusy(); }
    // Whether a dropped copy or move is still running on its worker.
    bool IsTransferring() const { return FTransfers.Running() > 0; }
    const TCustomShellController& Controller() const { return FModel->Controller(); }
    // Drops every node and builds the tree again from the root properties.
    void Rebuild();

    // ---- Commands (the item menu's, also available without it)
    // Runs Command on the selected item; false when it does not apply or failed (a failure is
    // shown to the user).
    bool ExecuteCommand(TShellCommand Command);
    // Renames the node's item on disk and gives the node the new name; false (with the old
    // caption kept and the error shown) when that fails.
    bool RenameNode(const QModelIndex& Node, const QString& NewName);

    // Whether Index is the node marked as the drop target.
    bool IsDropTarget(const QModelIndex& Index) const;
    // Sibling order of two nodes (negative, 0, positive).
    int CompareNodes(const QModelIndex& A, const QModelIndex& B) const {
        return FModel->CompareNodes(A, B);
    }

  protected:
    void showEvent(QShowEvent* Event) override;
    void currentChanged(const QModelIndex& Current, const QModelIndex& Previous) override;
    void contextMenuEvent(QContextMenuEvent* Event) override;
    void startDrag(Qt::DropActions Actions) override;
    void dragEnterEvent(QDragEnterEvent* Event) override;
    void dragMoveEvent(QDragMoveEvent* Event) override;
    void dragLeaveEvent(QDragLeaveEvent* Event) override;
    void dropEvent(QDropEvent* Event) override;

  private:
    std::optional<TShellIdList> StartInId() const;
    void BuildFrom(TShellItem Root);
    void QueueStartPlan();
    void SelectStartNode();
    // Expands down to Path and selects it. Raises EInvalidFolder when Path is not in the tree.
    QModelIndex SelectPath(const QString& Path);
    // Hands the selection to the next node when Node (or a node below it) is selected.
    void HandOffSelection(const QModelIndex& Node);
    void SetBusyCursor(bool Busy);
    void ShowError(const QString& Message) const;

    QStringList DraggedPaths(const QMimeData* Data) const;
    // Copies or moves Sources into Folder on a worker, with a progress dialog for long ones.
    void StartTransfer(const QStringList& Sources, const QString& Folder, bool Move);
    QModelIndex DropTargetAt(const QPoint& Pos, const QStringList& Sources) const;
    void StopDragTracking();
    void AutoScrollStep();

    TShellTreeModel* FModel;
    TShellTreeOptions FOptions = kDefaultShellTreeOptions;
    TSpecialFolder FSpecialRootFolder = sfDesktop;
    QString FRootFolder;
    TSpecialFolder FSpecialStartInFolder = sfNone;
    QString FStartInFolder;
    int FExpandInterval = 2000;
    QColor FCompressedColor = Qt::blue;
    bool FFiltered = false;

    TShellTransfers FTransfers{this};
    std::unique_ptr<TShellExpandPlans> FPlans;
    uint64_t FStartPlan = 0;
    bool FFirstPaint = false;
    bool FBusyCursor = false;

    // Drag and drop
    QPersistentModelIndex FDropTarget;
    QPersistentModelIndex FHoverIndex;
    QTimer FExpandTimer;
    QTimer FScrollTimer;
    int FScrollDirection = 0;
};

}  // namespace qm
