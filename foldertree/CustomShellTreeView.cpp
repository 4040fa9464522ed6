#include "foldertree/CustomShellTreeView.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QDir>
#include <QDrag>
#include <QFileInfo>
#include <QMimeData>
#include <QPointer>
#include <QProcess>
#include <QProgressDialog>
#include <QScrollBar>
#include <QUrl>

#include "foldertree/ShellErrors.h"
#include "foldertree/ShellFileOperations.h"
#include "foldertree/ShellItemDelegate.h"
#include "platform/UiHooks.h"

namespace qm {
namespace {

// Auto-scroll zones of a drag: the top margin is small so that the first node stays easy to
// hit; the bottom one is larger because the cursor tends to overshoot the last row.
inline constexpr int kScrollTopMargin = 10;
inline constexpr int kScrollBottomMargin = 30;
inline constexpr int kScrollStepMs = 30;
// A dropped copy or move that takes longer than this shows its progress dialog.
inline constexpr int kTransferDialogDelayMs = 400;

// What changes the listing itself; the other options take effect on the nodes shown.
inline constexpr uint32_t kListingOptions =
    (toShowFiles | toShowHidden | toColorCompressed | toAllowRename).Bits();

// The wait cursor while the GUI thread itself waits for the file system.
class TWaitCursor {
  public:
    TWaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TWaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    TWaitCursor(const TWaitCursor&) = delete;
    TWaitCursor& operator=(const TWaitCursor&) = delete;
};

bool IsInSubtree(const QModelIndex& Top, QModelIndex Node) {
    for (; Node.isValid(); Node = Node.parent())
        if (Node == Top) return true;
    return false;
}

}  // namespace

TCustomShellTreeView::TCustomShellTreeView(QWidget* Parent,
                                           std::shared_ptr<TCustomShellController> Controller)
    : QTreeView(Parent), FModel(new TShellTreeModel(std::move(Controller), this)) {
    FModel->SetFilter([this](const TShellItem& Item) {
        if (!FFiltered || !OnFilterItem) return true;
        bool accept = true;
        OnFilterItem(this, Item, accept);
        return accept;
    });
    FModel->SetNotify([this](TShellChange Change, const QString& Path1, const QString& Path2) {
        if (OnShellChangeNotify) OnShellChangeNotify(this, Change, Path1, Path2);
    });
    setModel(FModel);
    setHeaderHidden(true);
    setRootIsDecorated(false);  // the top node has no button of its own
    setIndentation(19);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    setItemDelegate(new TShellItemDelegate(
        this, [this](const QModelIndex& Index) { return IsDropTarget(Index); },
        [this](const QModelIndex& Index, const QString& NewName) { RenameNode(Index, NewName); }));
    // Keyboard moves and type-ahead bring the current node into view. Drags scroll by their
    // own zones only: dragMoveEvent never hands them to the base, which would scroll as well.
    setAutoScroll(true);
    // The selection stays as visible when the tree loses the focus.
    QPalette colours = palette();
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        colours.setColor(QPalette::Inactive, role, colours.color(QPalette::Active, role));
    setPalette(colours);

    connect(this, &QTreeView::expanded, this, [this](const QModelIndex& Index) {
        FModel->Fill(Index);
        FModel->SetExpanded(Index, true);
    });
    connect(this, &QTreeView::collapsed, this,
            [this](const QModelIndex& Index) { FModel->SetExpanded(Index, false); });
    FPlans = std::make_unique<TShellExpandPlans>(
        *FModel, [this](const QModelIndex& Node) { expand(Node); },
        [this](uint64_t Id) {
            if (Id != FStartPlan || !FFirstPaint) return;
            FStartPlan = 0;
            SelectStartNode();
        });
    connect(FModel, &TShellTreeModel::ListingArrived, this, [this] { FPlans->Advance(); });
    // A rebuild drops every node the plans lead through.
    connect(FModel, &QAbstractItemModel::modelAboutToBeReset, this, [this] { FPlans->Clear(); });
    connect(FModel, &TShellTreeModel::FolderEmptied, this, &QTreeView::collapse);
    connect(FModel, &TShellTreeModel::NodeAboutToBeRemoved, this,
            &TCustomShellTreeView::HandOffSelection);
    connect(FModel, &TShellTreeModel::FillingChanged, this, &TCustomShellTreeView::SetBusyCursor);

    FExpandTimer.setSingleShot(true);
    connect(&FExpandTimer, &QTimer::timeout, this, [this] {
        if (FHoverIndex.isValid()) expand(FHoverIndex);
    });
    FScrollTimer.setInterval(kScrollStepMs);
    connect(&FScrollTimer, &QTimer::timeout, this, &TCustomShellTreeView::AutoScrollStep);

    setDragEnabled(FOptions.Has(toAllowDrag));
    setAcceptDrops(FOptions.Has(toAllowDrop));
    Rebuild();
}

TCustomShellTreeView::~TCustomShellTreeView() {
    if (FBusyCursor) QGuiApplication::restoreOverrideCursor();
    // The model (a child) goes after this view, and nothing reacts to its end. Blocked, not
    // disconnected: Qt's own watchers (the accessibility cache) must still hear destroyed(),
    // which is emitted unblocked, or a later widget at this address would inherit their record
    // of the tree.
    blockSignals(true);
    FModel->blockSignals(true);
    if (QItemSelectionModel* selection = selectionModel()) selection->blockSignals(true);
}

// ---- Properties

void TCustomShellTreeView::SetOptions(TShellTreeOptions Options) {
    bool relist = (Options.Bits() ^ FOptions.Bits()) & kListingOptions;
    FOptions = Options;
    FModel->SetOptions(Options);
    setDragEnabled(FOptions.Has(toAllowDrag));
    setAcceptDrops(FOptions.Has(toAllowDrop));
    if (relist) Rebuild();
}

void TCustomShellTreeView::SetSpecialRootFolder(TSpecialFolder Folder) {
    if (Folder == FSpecialRootFolder) return;
    TShellItem root = FModel->ResolveRoot(Folder, FRootFolder);
    FSpecialRootFolder = Folder;
    BuildFrom(std::move(root));
}

void TCustomShellTreeView::SetRootFolder(const QString& Path) {
    if (Path == FRootFolder) return;
    if (FSpecialRootFolder != sfNone) {
        FRootFolder = Path;
        return;
    }
    TShellItem root = FModel->ResolveRoot(sfNone, Path);
    FRootFolder = Path;
    BuildFrom(std::move(root));
}

void TCustomShellTreeView::SetSpecialStartInFolder(TSpecialFolder Folder) {
    FSpecialStartInFolder = Folder;
    QueueStartPlan();
}

void TCustomShellTreeView::SetStartInFolder(const QString& Path) {
    FStartInFolder = Path;
    QueueStartPlan();
}

void TCustomShellTreeView::SetCompressedColor(const QColor& Color) {
    FCompressedColor = Color;
    FModel->SetCompressedColor(Color);
}

// ---- Building

std::optional<TShellIdList> TCustomShellTreeView::StartInId() const {
    TShellFolder* root = FolderOf(RootNode());
    if (!FStartInFolder.isEmpty()) return Controller().ParseDisplayName(FStartInFolder, root);
    if (FSpecialStartInFolder != sfNone)
        return Controller().SpecialFolderLocation(FSpecialStartInFolder, root);
    return std::nullopt;
}

void TCustomShellTreeView::Rebuild() {
    BuildFrom(FModel->ResolveRoot(FSpecialRootFolder, FRootFolder));
}

void TCustomShellTreeView::BuildFrom(TShellItem Root) {
    StopDragTracking();
    FStartPlan = 0;
    FModel->Build(std::move(Root));
    if (FOptions.Has(toExpandTopNode)) expand(RootNode());
    QueueStartPlan();
}

void TCustomShellTreeView::QueueStartPlan() {
    std::optional<TShellIdList> start = StartInId();
    if (!start) return;
    FStartPlan = FPlans->Add(*start, false);
    FPlans->Advance();
}

void TCustomShellTreeView::showEvent(QShowEvent* Event) {
    QTreeView::showEvent(Event);
    if (FFirstPaint) return;
    FFirstPaint = true;
    if (FStartPlan == 0 || FPlans->Done(FStartPlan)) {
        FStartPlan = 0;
        SelectStartNode();
    }
}

void TCustomShellTreeView::SelectStartNode() {
    if (currentIndex().isValid()) return;
    std::optional<TShellIdList> start = StartInId();
    if (!start) return;
    if (QModelIndex node = FindNode(*start); node.isValid()) {
        setCurrentIndex(node);
        scrollTo(node);
    }
}

// ---- Selection

TShellFolder* TCustomShellTreeView::SelectedShellItem() const {
    return FolderOf(currentIndex());
}

void TCustomShellTreeView::currentChanged(const QModelIndex& Current, const QModelIndex& Previous) {
    QTreeView::currentChanged(Current, Previous);
    if (!FFirstPaint || !OnFolderSelected) return;
    if (TShellFolder* folder = FolderOf(Current)) OnFolderSelected(this, folder);
}

void TCustomShellTreeView::HandOffSelection(const QModelIndex& Node) {
    QModelIndex current = currentIndex();
    if (!current.isValid() || !IsInSubtree(Node, current)) return;
    QModelIndex parent = Node.parent();
    QModelIndex next;
    if (parent.isValid()) {
        next = Node.siblingAtRow(Node.row() + 1);
        if (!next.isValid()) next = Node.row() > 0 ? Node.siblingAtRow(Node.row() - 1) : parent;
    }
    setCurrentIndex(next);
}

QModelIndex TCustomShellTreeView::SelectPath(const QString& Path) {
    TShellFolder* root = FolderOf(RootNode());
    if (!root) throw EInvalidFolder();
    std::optional<TShellIdList> target = Controller().ParseDisplayName(Path, root);
    if (!target) throw EInvalidFolder();
    {
        TWaitCursor wait;
        FPlans->RunNow(FPlans->Add(*target, true));
    }
    QModelIndex node = FindNode(*target);
    if (!node.isValid()) throw EInvalidFolder();
    scrollTo(node);
    setCurrentIndex(node);
    return node;
}

void TCustomShellTreeView::SelectFolderByPath(const QString& Path) {
    SelectPath(Path);
    FStartInFolder = Path;
}

void TCustomShellTreeView::SetBusyCursor(bool Busy) {
    if (Busy == FBusyCursor) return;
    FBusyCursor = Busy;
    if (Busy)
        QGuiApplication::setOverrideCursor(Qt::BusyCursor);
    else
        QGuiApplication::restoreOverrideCursor();
}

// ---- Commands

void TCustomShellTreeView::ShowError(const QString& Message) const {
    UiHooks().MessageBox("Error", Message.toStdString(), miError, mbOK, idOk);
}

bool TCustomShellTreeView::ExecuteCommand(TShellCommand Command) {
    QModelIndex node = currentIndex();
    TShellFolder* folder = FolderOf(node);
    if (!folder ||
        !TShellContextMenu(*folder, FOptions, true, FModel->IsRoot(node)).Offers(Command))
        return false;
    QString path = folder->Path();
    QString error;
    switch (Command) {
        case scmOpen:
            return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
        case scmRename:
            edit(node);
            return true;
        case scmCopyPath:
            QGuiApplication::clipboard()->setText(path);
            return true;
        case scmOpenTerminal:
            return QProcess::startDetached("x-terminal-emulator", {}, path);
        case scmNewFolder: {
            QString created;
            if (!CreateNewFolder(path, created, error)) {
                ShowError(error);
                return false;
            }
            FModel->AddChildNow(node, QFileInfo(created).fileName());
            QModelIndex fresh;
            try {
                fresh = SelectPath(created);
            } catch (const EInvalidFolder&) {
                return true;  // made, but filtered out or gone again
            }
            if (fresh.flags() & Qt::ItemIsEditable) edit(fresh);
            return true;
        }
        case scmMoveToTrash: {
            std::string question =
                "Move \"" + folder->DisplayName().toStdString() + "\" to the trash?";
            if (UiHooks().MessageBox("Move to Trash", question, miQuestion, mbYes | mbNo, idYes) !=
                idYes)
                return false;
            if (!MoveShellItemToTrash(path, error)) {
                ShowError(error);
                return false;
            }
            TShellChange change = folder->IsFolder() ? scRemoveFolder : scDeleteFile;
            FModel->RemoveNode(node);
            FModel->Notify(change, path);
            return true;
        }
        case scmNone:
            break;
    }
    return false;
}

bool TCustomShellTreeView::RenameNode(const QModelIndex& Node, const QString& NewName) {
    TShellFolder* folder = FolderOf(Node);
    if (!folder || !(Node.flags() & Qt::ItemIsEditable) || NewName == folder->DisplayName())
        return false;
    QPersistentModelIndex node(Node);
    QString error;
    bool renamed;
    {
        TWaitCursor wait;
        renamed = FModel->RenameItem(Node, NewName, error);
    }
    if (!renamed) {
        ShowError(error);
        return false;
    }
    setCurrentIndex(node);
    scrollTo(node);
    return true;
}

void TCustomShellTreeView::contextMenuEvent(QContextMenuEvent* Event) {
    if (!FOptions.Has(toShellMenu)) {
        Event->ignore();
        return;
    }
    QModelIndex node = Event->reason() == QContextMenuEvent::Mouse
                           ? indexAt(Event->pos())  // viewport coordinates
                           : currentIndex();
    TShellFolder* folder = FolderOf(node);
    if (!folder) return;
    setCurrentIndex(node);  // a right click selects the node under the mouse
    bool extended = Event->modifiers() & Qt::ShiftModifier;
    TShellCommand command = TShellContextMenu(*folder, FOptions, extended, FModel->IsRoot(node))
                                .Exec(this, Event->globalPos());
    if (command != scmNone) ExecuteCommand(command);
}

// ---- Drag and drop

void TCustomShellTreeView::startDrag(Qt::DropActions) {
    if (!FOptions.Has(toAllowDrag)) return;
    QModelIndex node = currentIndex();
    TShellFolder* folder = FolderOf(node);
    if (!folder || !folder->IsFileSystem() || folder->IsVirtual()) return;
    auto* data = new QMimeData;
    data->setUrls({QUrl::fromLocalFile(folder->Path())});
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    QRect row = visualRect(node);
    if (row.isValid()) {
        drag->setPixmap(viewport()->grab(row));
        drag->setHotSpot(QPoint(8, row.height() / 2));
    }
    drag->exec(Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, Qt::CopyAction);
}

QStringList TCustomShellTreeView::DraggedPaths(const QMimeData* Data) const {
    QStringList paths;
    if (!Data || !Data->hasUrls()) return paths;
    for (const QUrl& url : Data->urls())
        if (url.isLocalFile()) paths << QDir::cleanPath(url.toLocalFile());
    return paths;
}

QModelIndex TCustomShellTreeView::DropTargetAt(const QPoint& Pos,
                                               const QStringList& Sources) const {
    QModelIndex node = indexAt(Pos);
    TShellFolder* folder = FolderOf(node);
    if (!folder || !folder->IsFolder() || Sources.isEmpty()) return {};
    const QString& target = folder->Path();
    for (const QString& source : Sources) {
        if (target == source || target.startsWith(source + QLatin1Char('/'))) return {};
        if (QFileInfo(source).path() == target) return {};  // already there
    }
    return node;
}

bool TCustomShellTreeView::IsDropTarget(const QModelIndex& Index) const {
    return FDropTarget.isValid() && QModelIndex(FDropTarget) == Index;
}

void TCustomShellTreeView::dragEnterEvent(QDragEnterEvent* Event) {
    if (!FOptions.Has(toAllowDrop) || DraggedPaths(Event->mimeData()).isEmpty()) {
        Event->ignore();
        return;
    }
    Event->acceptProposedAction();
}

void TCustomShellTreeView::dragMoveEvent(QDragMoveEvent* Event) {
    QPoint pos = Event->position().toPoint();
    int height = viewport()->height();
    FScrollDirection =
        pos.y() < kScrollTopMargin ? -1 : (pos.y() >= height - kScrollBottomMargin ? 1 : 0);
    if (FScrollDirection == 0)
        FScrollTimer.stop();
    else if (!FScrollTimer.isActive())
        FScrollTimer.start();

    QModelIndex hover = indexAt(pos);
    if (hover != QModelIndex(FHoverIndex)) {
        FHoverIndex = hover;
        FExpandTimer.stop();
        if (hover.isValid() && FExpandInterval > 0 && !isExpanded(hover) &&
            model()->hasChildren(hover))
            FExpandTimer.start(FExpandInterval);
    }

    QModelIndex target = DropTargetAt(pos, DraggedPaths(Event->mimeData()));
    if (target != QModelIndex(FDropTarget)) {
        FDropTarget = target;
        viewport()->update();
    }
    if (!target.isValid()) {
        Event->ignore();
        return;
    }
    bool move =
        (Event->modifiers() & Qt::ShiftModifier) && (Event->possibleActions() & Qt::MoveAction);
    Event->setDropAction(move ? Qt::MoveAction : Qt::CopyAction);
    Event->accept();
}

void TCustomShellTreeView::dragLeaveEvent(QDragLeaveEvent* Event) {
    StopDragTracking();
    Event->accept();
}

void TCustomShellTreeView::dropEvent(QDropEvent* Event) {
    QStringList sources = DraggedPaths(Event->mimeData());
    QModelIndex target = DropTargetAt(Event->position().toPoint(), sources);
    StopDragTracking();
    TShellFolder* folder = FolderOf(target);
    if (!FOptions.Has(toAllowDrop) || !folder) {
        Event->ignore();
        return;
    }
    bool move =
        (Event->modifiers() & Qt::ShiftModifier) && (Event->possibleActions() & Qt::MoveAction);
    Event->setDropAction(move ? Qt::MoveAction : Qt::CopyAction);
    Event->accept();
    StartTransfer(sources, folder->Path(), move);
}

void TCustomShellTreeView::StartTransfer(const QStringList& Sources, const QString& Folder,
                                         bool Move) {
    // The dialog shows itself only when the transfer outlasts its minimum duration: small drops
    // finish unseen, large ones show how many of the dropped items are done.
    QPointer<QProgressDialog> progress =
        new QProgressDialog(Move ? QStringLiteral("Moving into %1").arg(Folder)
                                 : QStringLiteral("Copying into %1").arg(Folder),
                            QString(), 0, static_cast<int>(Sources.size()), this);
    progress->setObjectName(QStringLiteral("TransferProgress"));
    progress->setWindowModality(Qt::WindowModal);
    progress->setMinimumDuration(kTransferDialogDelayMs);
    progress->setValue(0);
    FTransfers.Start(
        [Sources, Folder, Move](QString& Error, const TShellTransfers::TProgress& Progress) {
            return TransferShellItems(Sources, Folder, Move, Error, Progress);
        },
        [progress](int Done, int) {
            if (progress) progress->setValue(Done);
        },
        [this, progress, Folder](bool Done, const QString& Error) {
            if (progress) progress->deleteLater();
            if (!Done) ShowError(Error);
            FModel->PostChange(Folder);
        });
}

void TCustomShellTreeView::StopDragTracking() {
    FExpandTimer.stop();
    FScrollTimer.stop();
    FScrollDirection = 0;
    FHoverIndex = QPersistentModelIndex();
    if (FDropTarget.isValid()) {
        FDropTarget = QPersistentModelIndex();
        viewport()->update();
    }
}

void TCustomShellTreeView::AutoScrollStep() {
    QScrollBar* bar = verticalScrollBar();
    if (FScrollDirection == 0) {
        FScrollTimer.stop();
        return;
    }
    bar->setValue(bar->value() + FScrollDirection * bar->singleStep());
}

}  // namespace qm
