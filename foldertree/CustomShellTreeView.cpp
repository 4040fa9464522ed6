#include "foldertree/CustomShellTreeView.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QDir>
#include <QDrag>
#include <QEventLoop>
#include <QFileInfo>
#include <QHash>
#include <QMimeData>
#include <QPointer>
#include <QProcess>
#include <QProgressDialog>
#include <QScrollBar>
#include <QTreeWidgetItemIterator>
#include <QUrl>

#include <algorithm>

#include "foldertree/ShellErrors.h"
#include "foldertree/ShellFileOperations.h"
#include "foldertree/ShellItemDelegate.h"
#include "foldertree/ShellTreeNode.h"
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

bool IsInSubtree(const QTreeWidgetItem* Top, const QTreeWidgetItem* Node) {
    for (; Node; Node = Node->parent())
        if (Node == Top) return true;
    return false;
}

}  // namespace

TCustomShellTreeView::TCustomShellTreeView(QWidget* Parent,
                                           std::shared_ptr<TCustomShellController> Controller)
    : QTreeWidget(Parent),
      FController(Controller ? std::move(Controller) : TCustomShellController::Default()),
      FChanges([this](const QStringList& Folders) { ProcessChanges(Folders); }, this),
      FReader(std::make_unique<TShellFolderReader>(
          this,
          [this](uint64_t Ticket, TShellListing Listing) { Deliver(Ticket, std::move(Listing)); })),
      FCollator(TCustomShellController::MakeCollator()) {
    setColumnCount(1);
    setHeaderHidden(true);
    setRootIsDecorated(false);  // the top node has no button of its own
    setIndentation(19);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    setItemDelegate(new TShellItemDelegate(this));
    // Keyboard moves and type-ahead bring the current node into view. Drags scroll by their
    // own zones only: dragMoveEvent never hands them to the base, which would scroll as well.
    setAutoScroll(true);
    // The selection stays as visible when the tree loses the focus.
    QPalette colours = palette();
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        colours.setColor(QPalette::Inactive, role, colours.color(QPalette::Active, role));
    setPalette(colours);

    connect(this, &QTreeWidget::itemExpanded, this, &TCustomShellTreeView::OnItemExpanded);
    connect(this, &QTreeWidget::itemCollapsed, this,
            [this](QTreeWidgetItem* Node) { DecorateNode(Node); });
    connect(this, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* Current, QTreeWidgetItem*) { OnCurrentChanged(Current); });

    FExpandTimer.setSingleShot(true);
    connect(&FExpandTimer, &QTimer::timeout, this, [this] {
        if (QTreeWidgetItem* node = itemFromIndex(FHoverIndex)) node->setExpanded(true);
    });
    FScrollTimer.setInterval(kScrollStepMs);
    connect(&FScrollTimer, &QTimer::timeout, this, &TCustomShellTreeView::AutoScrollStep);

    setDragEnabled(FOptions.Has(toAllowDrag));
    setAcceptDrops(FOptions.Has(toAllowDrop));
    Rebuild();
}

TCustomShellTreeView::~TCustomShellTreeView() {
    FReader.reset();
    for (QEventLoop* loop : FWaits) loop->quit();
    if (FBusyCursor) QGuiApplication::restoreOverrideCursor();
    // The nodes go while the items they refer to still exist, and nothing reacts to it.
    // Blocked, not disconnected: Qt's own watchers (the accessibility cache) must still
    // hear destroyed(), which is emitted unblocked, or a later widget at this address would
    // inherit their record of the tree.
    FClearing = true;
    blockSignals(true);
    clear();
}

// ---- Properties

void TCustomShellTreeView::SetOptions(TShellTreeOptions Options) {
    bool relist = (Options.Bits() ^ FOptions.Bits()) & kListingOptions;
    FOptions = Options;
    setDragEnabled(FOptions.Has(toAllowDrag));
    setAcceptDrops(FOptions.Has(toAllowDrop));
    if (relist) Rebuild();
}

void TCustomShellTreeView::SetSpecialRootFolder(TSpecialFolder Folder) {
    if (Folder == FSpecialRootFolder) return;
    TShellItem root = *ResolveRoot(Folder, FRootFolder);
    FSpecialRootFolder = Folder;
    BuildFrom(std::move(root));
}

void TCustomShellTreeView::SetRootFolder(const QString& Path) {
    if (Path == FRootFolder) return;
    if (FSpecialRootFolder != sfNone) {
        FRootFolder = Path;
        return;
    }
    TShellItem root = *ResolveRoot(sfNone, Path);
    FRootFolder = Path;
    BuildFrom(std::move(root));
}

void TCustomShellTreeView::SetSpecialStartInFolder(TSpecialFolder Folder) {
    FSpecialStartInFolder = Folder;
    if (std::optional<TShellIdList> start = StartInId()) {
        FStartPlan = AddPlan(*start, false);
        AdvancePlans();
    }
}

void TCustomShellTreeView::SetStartInFolder(const QString& Path) {
    FStartInFolder = Path;
    if (std::optional<TShellIdList> start = StartInId()) {
        FStartPlan = AddPlan(*start, false);
        AdvancePlans();
    }
}

void TCustomShellTreeView::SetCompressedColor(const QColor& Color) {
    FCompressedColor = Color;
    for (QTreeWidgetItemIterator it(this); *it; ++it) DecorateNode(*it);
}

// ---- Building

TEnumFlags TCustomShellTreeView::EnumFlags() const {
    return {FOptions.Has(toShowFiles), FOptions.Has(toShowHidden), FOptions.Has(toColorCompressed)};
}

std::optional<TShellItem> TCustomShellTreeView::ResolveRoot(TSpecialFolder Special,
                                                            const QString& Folder) const {
    std::optional<TShellIdList> id;
    if (Special != sfNone) {
        id = FController->SpecialFolderLocation(Special);
        if (!id) throw EShellError();
    } else if (Folder.isEmpty()) {
        id = TShellIdList{};
    } else {
        id = FController->ParseDisplayName(Folder);
        if (!id) throw EInvalidFolder();
    }
    std::optional<TShellItem> root = FController->ItemOf(*id, EnumFlags());
    if (!root || !(root->IsFolder() || root->IsVirtual())) {
        if (Special != sfNone) throw EShellError();
        throw EInvalidFolder();
    }
    return root;
}

std::optional<TShellIdList> TCustomShellTreeView::StartInId() const {
    TShellFolder* root = FolderOf(RootNode());
    if (!FStartInFolder.isEmpty()) return FController->ParseDisplayName(FStartInFolder, root);
    if (FSpecialStartInFolder != sfNone)
        return FController->SpecialFolderLocation(FSpecialStartInFolder, root);
    return std::nullopt;
}

void TCustomShellTreeView::Rebuild() {
    BuildFrom(*ResolveRoot(FSpecialRootFolder, FRootFolder));
}

void TCustomShellTreeView::BuildFrom(TShellItem Root) {
    ClearAll();
    ++FGeneration;
    FRootIndex = FItems.Count();  // the index MakeNode is about to give
    QTreeWidgetItem* node = MakeNode(std::move(Root));
    addTopLevelItem(node);
    StartRead(node, false);
    if (FOptions.Has(toExpandTopNode)) node->setExpanded(true);
    std::optional<TShellIdList> start = StartInId();
    FStartPlan = start ? AddPlan(*start, false) : 0;
    AdvancePlans();
}

void TCustomShellTreeView::ClearAll() {
    FClearing = true;
    FPlans.clear();
    for (QEventLoop* loop : FWaits) loop->quit();
    FTickets.clear();
    FChanges.Clear();
    StopDragTracking();
    clear();
    FItems.Clear();
    FClearing = false;
    UpdateBusyCursor();
}

// ---- Nodes

TShellFolder* TCustomShellTreeView::FolderOf(const QTreeWidgetItem* Node) const {
    return FItems[NodeIndex(Node)];
}

TShellFolder* TCustomShellTreeView::SelectedShellItem() const {
    return FolderOf(currentItem());
}

QTreeWidgetItem* TCustomShellTreeView::FindNode(const TShellIdList& Id) const {
    for (QTreeWidgetItemIterator it(const_cast<TCustomShellTreeView*>(this)); *it; ++it)
        if (TShellFolder* folder = FolderOf(*it); folder && folder->AbsoluteId() == Id) return *it;
    return nullptr;
}

QTreeWidgetItem* TCustomShellTreeView::FindNodeByPath(const QString& Path) const {
    for (QTreeWidgetItemIterator it(const_cast<TCustomShellTreeView*>(this)); *it; ++it)
        if (TShellFolder* folder = FolderOf(*it); folder && folder->Path() == Path) return *it;
    return nullptr;
}

int TCustomShellTreeView::CompareNodes(const QTreeWidgetItem* A, const QTreeWidgetItem* B) const {
    TShellFolder* a = FolderOf(A);
    TShellFolder* b = FolderOf(B);
    if (!a || !b) return 0;
    return TCustomShellController::CompareIDs(*a, *b, FCollator);
}

QTreeWidgetItem* TCustomShellTreeView::MakeNode(TShellItem Item) {
    auto folder = std::make_unique<TShellFolder>(std::move(Item));
    TShellFolder* raw = folder.get();
    auto* node = new TShellTreeNode(FItems.Add(std::move(folder)));
    raw->SetNode(node);
    DecorateNode(node);
    node->setChildIndicatorPolicy(raw->HasSubFolder() ? QTreeWidgetItem::ShowIndicator
                                                      : QTreeWidgetItem::DontShowIndicator);
    return node;
}

void TCustomShellTreeView::DecorateNode(QTreeWidgetItem* Node) const {
    TShellFolder* folder = FolderOf(Node);
    if (!folder) return;
    Node->setText(0, folder->DisplayName());
    // The caption may be cut to fit: the full path says which folder it is.
    Node->setToolTip(0,
                     folder->IsFileSystem() && !folder->IsVirtual() ? folder->Path() : QString());
    int image = Node->isExpanded() ? folder->OpenImageIndex() : folder->ImageIndex();
    Node->setIcon(0, FController->SmallImage(image, folder->OverlayIndex()));
    Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    if (folder->IsFileSystem() && !folder->IsVirtual()) flags |= Qt::ItemIsDragEnabled;
    if (folder->IsFolder()) flags |= Qt::ItemIsDropEnabled;
    if (FOptions.Has(toAllowRename) && folder->CanRename() && !folder->IsDesktop() &&
        NodeIndex(Node) != FRootIndex)
        flags |= Qt::ItemIsEditable;
    Node->setFlags(flags);
    bool coloured = FOptions.Has(toColorCompressed) && folder->IsCompressed();
    Node->setData(0, Qt::ForegroundRole, coloured ? QVariant(FCompressedColor) : QVariant());
}

void TCustomShellTreeView::InsertSorted(QTreeWidgetItem* Parent, QTreeWidgetItem* Node) {
    int low = 0, high = Parent->childCount();
    while (low < high) {
        int middle = (low + high) / 2;
        if (CompareNodes(Parent->child(middle), Node) < 0)
            low = middle + 1;
        else
            high = middle;
    }
    Parent->insertChild(low, Node);
}

void TCustomShellTreeView::ReleaseSubtree(QTreeWidgetItem* Node) {
    for (int i = 0; i < Node->childCount(); ++i) ReleaseSubtree(Node->child(i));
    int index = NodeIndex(Node);
    if (TShellFolder* folder = FItems[index]) {
        if (folder->FillState() == fsFilled) WatchFolder(*folder, false);
        FItems.Delete(index);
    }
}

void TCustomShellTreeView::DeleteNode(QTreeWidgetItem* Node) {
    QTreeWidgetItem* current = currentItem();
    if (current && IsInSubtree(Node, current)) {
        QTreeWidgetItem* parent = Node->parent();
        QTreeWidgetItem* next = nullptr;
        if (parent) {
            int at = parent->indexOfChild(Node);
            next = parent->child(at + 1);
            if (!next) next = at > 0 ? parent->child(at - 1) : parent;
        }
        setCurrentItem(next);
    }
    if (FDropTarget.isValid() && IsInSubtree(Node, itemFromIndex(FDropTarget)))
        FDropTarget = QPersistentModelIndex();
    ReleaseSubtree(Node);
    delete Node;
}

void TCustomShellTreeView::WatchFolder(const TShellFolder& Folder, bool On) {
    if (Folder.Kind() == ikComputer) {
        FChanges.WatchMounts(kComputerPath, On);
        return;
    }
    // inotify sees nothing of what other machines do on a network file system, and setting a
    // watch there would touch a possibly hung mount from the GUI thread.
    if (!Folder.IsFolder() || Folder.Media() == smRemote) return;
    if (On)
        FChanges.Watch(Folder.Path());
    else
        FChanges.Unwatch(Folder.Path());
}

void TCustomShellTreeView::RenameSubtree(QTreeWidgetItem* Node, const QString& NewName) {
    // Watches follow paths, so every folder shown below the renamed one moves its watch.
    std::vector<TShellFolder*> filled;
    std::function<void(QTreeWidgetItem*)> collect = [&](QTreeWidgetItem* n) {
        if (TShellFolder* f = FolderOf(n); f && f->FillState() == fsFilled) filled.push_back(f);
        for (int i = 0; i < n->childCount(); ++i) collect(n->child(i));
    };
    collect(Node);
    for (TShellFolder* f : filled) WatchFolder(*f, false);
    FolderOf(Node)->Rename(NewName);
    DecorateNode(Node);
    std::function<void(QTreeWidgetItem*)> reparent = [&](QTreeWidgetItem* n) {
        TShellFolder* parent = FolderOf(n);
        for (int i = 0; i < n->childCount(); ++i) {
            QTreeWidgetItem* child = n->child(i);
            FolderOf(child)->Reparent(parent->AbsoluteId(), parent->Path());
            reparent(child);
        }
    };
    reparent(Node);
    for (TShellFolder* f : filled) WatchFolder(*f, true);
}

void TCustomShellTreeView::UpdateNode(QTreeWidgetItem* Node, const TShellItem& Fresh) {
    TShellFolder* folder = FolderOf(Node);
    folder->Refresh(Fresh);
    DecorateNode(Node);
    if (folder->FillState() == fsNotFilled)
        Node->setChildIndicatorPolicy(folder->HasSubFolder() ? QTreeWidgetItem::ShowIndicator
                                                             : QTreeWidgetItem::DontShowIndicator);
}

bool TCustomShellTreeView::Accepts(const TShellItem& Item) {
    if (!FFiltered || !OnFilterItem) return true;
    bool accept = true;
    OnFilterItem(this, Item, accept);
    return accept;
}

void TCustomShellTreeView::Notify(TShellChange Change, const QString& Path1, const QString& Path2) {
    if (OnShellChangeNotify) OnShellChangeNotify(this, Change, Path1, Path2);
}

// ---- Listings

void TCustomShellTreeView::StartRead(QTreeWidgetItem* Node, bool Refresh) {
    TShellFolder* folder = FolderOf(Node);
    if (!folder) return;
    if (!Refresh) {
        if (folder->FillState() != fsNotFilled) return;
        folder->SetFillState(fsFilling);
    }
    uint64_t ticket = FNextTicket++;
    FTickets[ticket] = {NodeIndex(Node), Refresh};
    FReader->Read(ticket, FController, TShellItem(*folder), EnumFlags());
    UpdateBusyCursor();
}

void TCustomShellTreeView::Deliver(uint64_t Ticket, TShellListing Listing) {
    auto it = FTickets.find(Ticket);
    if (it == FTickets.end()) return;  // from before a rebuild
    TTicket ticket = it->second;
    FTickets.erase(it);
    if (TShellFolder* folder = FItems[ticket.Index]; folder && folder->Node()) {
        if (ticket.Refresh)
            ApplyRefresh(folder->Node(), std::move(Listing));
        else
            ApplyFill(folder->Node(), std::move(Listing));
    }
    UpdateBusyCursor();
    AdvancePlans();
    for (QEventLoop* loop : FWaits) loop->quit();
}

void TCustomShellTreeView::ApplyFill(QTreeWidgetItem* Node, TShellListing Listing) {
    TShellFolder* folder = FolderOf(Node);
    folder->SetFillState(fsFilled);
    QList<QTreeWidgetItem*> nodes;
    if (Listing) {
        nodes.reserve(qsizetype(Listing->size()));
        // Listings come sorted, so the nodes go in as they are.
        for (TShellItem& item : *Listing)
            if (Accepts(item)) nodes.append(MakeNode(std::move(item)));
    }
    Node->addChildren(nodes);
    if (nodes.isEmpty()) {
        Node->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicator);
        Node->setExpanded(false);
    } else {
        Node->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
    }
    WatchFolder(*FolderOf(Node), true);
}

void TCustomShellTreeView::ApplyRefresh(QTreeWidgetItem* Node, TShellListing Listing) {
    TShellFolder* folder = FolderOf(Node);
    if (!Listing || folder->FillState() != fsFilled) return;
    QHash<QString, QTreeWidgetItem*> existing;
    for (int i = 0; i < Node->childCount(); ++i)
        if (TShellFolder* child = FolderOf(Node->child(i)))
            existing.insert(child->RelativeId(), Node->child(i));
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
    bool resort = false;
    for (auto a = added.begin(); a != added.end();) {
        QTreeWidgetItem* renamed = nullptr;
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
        Notify(a->IsFolder() ? scRenameFolder : scRenameFile, oldPath, a->Path());
        resort = true;
        a = added.erase(a);
    }
    for (QTreeWidgetItem* gone : existing) {
        TShellFolder* old = FolderOf(gone);
        TShellChange change = old->Kind() == ikMount ? scDriveRemove
                              : old->IsFolder()      ? scRemoveFolder
                                                     : scDeleteFile;
        QString path = old->Path();
        DeleteNode(gone);
        Notify(change, path);
    }
    for (TShellItem& item : added) {
        if (!Accepts(item)) continue;
        TShellChange change = item.Kind() == ikMount ? scDriveAdd
                              : item.IsFolder()      ? scCreateFolder
                                                     : scCreateFile;
        QString path = item.Path();
        InsertSorted(Node, MakeNode(std::move(item)));
        Notify(change, path);
    }
    if (resort) Node->sortChildren(0, Qt::AscendingOrder);
}

void TCustomShellTreeView::ProcessChanges(const QStringList& Folders) {
    for (const QString& path : Folders) {
        std::vector<QTreeWidgetItem*> shown;
        for (QTreeWidgetItemIterator it(this); *it; ++it) {
            TShellFolder* folder = FolderOf(*it);
            if (folder && folder->FillState() == fsFilled && folder->Path() == path)
                shown.push_back(*it);
        }
        for (QTreeWidgetItem* node : shown) StartRead(node, true);
    }
}

void TCustomShellTreeView::OnItemExpanded(QTreeWidgetItem* Node) {
    StartRead(Node, false);
    DecorateNode(Node);
}

void TCustomShellTreeView::OnCurrentChanged(QTreeWidgetItem* Current) {
    if (FClearing || !FFirstPaint || !Current || !OnFolderSelected) return;
    if (TShellFolder* folder = FolderOf(Current)) OnFolderSelected(this, folder);
}

void TCustomShellTreeView::UpdateBusyCursor() {
    bool busy = std::any_of(FTickets.begin(), FTickets.end(),
                            [](const auto& entry) { return !entry.second.Refresh; });
    if (busy == FBusyCursor) return;
    FBusyCursor = busy;
    if (busy)
        QGuiApplication::setOverrideCursor(Qt::BusyCursor);
    else
        QGuiApplication::restoreOverrideCursor();
}

// ---- Expansion toward a folder

uint64_t TCustomShellTreeView::AddPlan(TShellIdList Target, bool IncludeTarget) {
    uint64_t id = FNextPlan++;
    FPlans.push_back({id, std::move(Target), IncludeTarget});
    return id;
}

bool TCustomShellTreeView::AdvancePlan(TExpandPlan& Plan) {
    QTreeWidgetItem* node = RootNode();
    TShellFolder* folder = FolderOf(node);
    if (!folder) return true;
    const TShellIdList& rootId = folder->AbsoluteId();
    if (Plan.Target.size() < rootId.size() || Plan.Target.mid(0, rootId.size()) != rootId)
        return true;
    for (qsizetype level = rootId.size();; ++level) {
        folder = FolderOf(node);
        if (level == Plan.Target.size() && !Plan.IncludeTarget) return true;
        StartRead(node, false);
        if (!node->isExpanded()) node->setExpanded(true);
        if (folder->FillState() != fsFilled) return false;
        if (level == Plan.Target.size()) return true;
        QTreeWidgetItem* next = nullptr;
        for (int i = 0; i < node->childCount() && !next; ++i)
            if (FolderOf(node->child(i))->RelativeId() == Plan.Target[level]) next = node->child(i);
        // A hidden folder on the way to a folder chosen by its path is shown, so that a hidden
        // folder (settings, keys, mail) can be the source of a back-up.
        if (!next && Plan.Target[level].startsWith(QLatin1Char('.')))
            next = AddChildNow(node, Plan.Target[level]);
        if (!next) return true;
        node = next;
    }
}

void TCustomShellTreeView::AdvancePlans() {
    for (size_t i = 0; i < FPlans.size(); ++i)
        if (AdvancePlan(FPlans[i])) FPlans[i].Done = true;
    std::erase_if(FPlans, [](const TExpandPlan& plan) { return plan.Done; });
    if (FFirstPaint && FStartPlan != 0 && PlanDone(FStartPlan)) {
        FStartPlan = 0;
        SelectStartNode();
    }
}

bool TCustomShellTreeView::PlanDone(uint64_t Id) const {
    return std::none_of(FPlans.begin(), FPlans.end(),
                        [Id](const TExpandPlan& plan) { return plan.Id == Id; });
}

bool TCustomShellTreeView::WaitForPlan(uint64_t Id) {
    const QPointer<TCustomShellTreeView> self(this);
    while (!PlanDone(Id)) {
        QEventLoop loop;
        FWaits.push_back(&loop);
        loop.exec();
        if (!self) return false;
        std::erase(FWaits, &loop);
    }
    return true;
}

void TCustomShellTreeView::SelectStartNode() {
    if (currentItem()) return;
    std::optional<TShellIdList> start = StartInId();
    if (!start) return;
    if (QTreeWidgetItem* node = FindNode(*start)) {
        setCurrentItem(node);
        scrollToItem(node);
    }
}

QTreeWidgetItem* TCustomShellTreeView::SelectPath(const QString& Path) {
    TShellFolder* root = FolderOf(RootNode());
    if (!root) throw EInvalidFolder();
    std::optional<TShellIdList> target = FController->ParseDisplayName(Path, root);
    if (!target) throw EInvalidFolder();
    uint64_t generation = FGeneration;
    uint64_t plan = AddPlan(*target, true);
    AdvancePlans();
    if (!WaitForPlan(plan)) return nullptr;
    QTreeWidgetItem* node = generation == FGeneration ? FindNode(*target) : nullptr;
    if (!node) throw EInvalidFolder();
    scrollToItem(node);
    setCurrentItem(node);
    return node;
}

void TCustomShellTreeView::SelectFolderByPath(const QString& Path) {
    if (SelectPath(Path)) FStartInFolder = Path;
}

void TCustomShellTreeView::showEvent(QShowEvent* Event) {
    QTreeWidget::showEvent(Event);
    if (FFirstPaint) return;
    FFirstPaint = true;
    if (FStartPlan == 0 || PlanDone(FStartPlan)) {
        FStartPlan = 0;
        SelectStartNode();
    }
}

// ---- Commands

void TCustomShellTreeView::ShowError(const QString& Message) const {
    UiHooks().MessageBox("Error", Message.toStdString(), miError, mbOK, idOk);
}

QTreeWidgetItem* TCustomShellTreeView::AddChildNow(QTreeWidgetItem* Parent, const QString& Name) {
    TShellFolder* parent = FolderOf(Parent);
    if (!parent || parent->FillState() != fsFilled) return nullptr;
    TShellIdList id = parent->AbsoluteId();
    id.append(Name);
    if (QTreeWidgetItem* node = FindNode(id)) return node;
    std::optional<TShellItem> item = FController->ItemOf(id, EnumFlags());
    if (!item || !Accepts(*item)) return nullptr;
    QTreeWidgetItem* node = MakeNode(std::move(*item));
    InsertSorted(Parent, node);
    return node;
}

bool TCustomShellTreeView::ExecuteCommand(TShellCommand Command) {
    QTreeWidgetItem* node = currentItem();
    TShellFolder* folder = FolderOf(node);
    if (!folder ||
        !TShellContextMenu(*folder, FOptions, true, NodeIndex(node) == FRootIndex).Offers(Command))
        return false;
    QString path = folder->Path();
    QString error;
    switch (Command) {
        case scmOpen:
            return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
        case scmRename:
            editItem(node, 0);
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
            AddChildNow(node, QFileInfo(created).fileName());
            QTreeWidgetItem* fresh = nullptr;
            try {
                fresh = SelectPath(created);
            } catch (const EInvalidFolder&) {
                return true;  // made, but filtered out or gone again
            }
            if (!fresh) return true;  // the view went away while it waited
            if (fresh->flags() & Qt::ItemIsEditable) editItem(fresh, 0);
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
            DeleteNode(node);
            Notify(change, path);
            return true;
        }
        case scmNone:
            break;
    }
    return false;
}

bool TCustomShellTreeView::RenameNode(QTreeWidgetItem* Node, const QString& NewName) {
    TShellFolder* folder = FolderOf(Node);
    if (!folder || !FOptions.Has(toAllowRename) || !folder->CanRename() || folder->IsDesktop() ||
        NodeIndex(Node) == FRootIndex)
        return false;
    if (NewName == folder->DisplayName()) return false;
    QString oldPath = folder->Path();
    QString error;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    bool renamed = RenameShellItem(oldPath, NewName, error);
    QGuiApplication::restoreOverrideCursor();
    if (!renamed) {
        ShowError(error);
        return false;
    }
    RenameSubtree(Node, NewName);
    if (QTreeWidgetItem* parent = Node->parent()) {
        parent->sortChildren(0, Qt::AscendingOrder);
        // Read the folder again for whatever else changed there meanwhile.
        if (TShellFolder* parentFolder = FolderOf(parent)) FChanges.Post(parentFolder->Path());
    }
    setCurrentItem(Node);
    scrollToItem(Node);
    Notify(folder->IsFolder() ? scRenameFolder : scRenameFile, oldPath, folder->Path());
    return true;
}

void TCustomShellTreeView::contextMenuEvent(QContextMenuEvent* Event) {
    if (!FOptions.Has(toShellMenu)) {
        Event->ignore();
        return;
    }
    QTreeWidgetItem* node = Event->reason() == QContextMenuEvent::Mouse
                                ? itemAt(Event->pos())  // viewport coordinates
                                : currentItem();
    TShellFolder* folder = FolderOf(node);
    if (!folder) return;
    setCurrentItem(node);  // a right click selects the node under the mouse
    bool extended = Event->modifiers() & Qt::ShiftModifier;
    TShellCommand command =
        TShellContextMenu(*folder, FOptions, extended, NodeIndex(node) == FRootIndex)
            .Exec(this, Event->globalPos());
    if (command != scmNone) ExecuteCommand(command);
}

// ---- Drag and drop

void TCustomShellTreeView::startDrag(Qt::DropActions) {
    if (!FOptions.Has(toAllowDrag)) return;
    QTreeWidgetItem* node = currentItem();
    TShellFolder* folder = FolderOf(node);
    if (!folder || !folder->IsFileSystem() || folder->IsVirtual()) return;
    auto* data = new QMimeData;
    data->setUrls({QUrl::fromLocalFile(folder->Path())});
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    QRect row = visualItemRect(node);
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

QTreeWidgetItem* TCustomShellTreeView::DropTargetAt(const QPoint& Pos,
                                                    const QStringList& Sources) const {
    QTreeWidgetItem* node = itemAt(Pos);
    TShellFolder* folder = FolderOf(node);
    if (!folder || !folder->IsFolder() || Sources.isEmpty()) return nullptr;
    const QString& target = folder->Path();
    for (const QString& source : Sources) {
        if (target == source || target.startsWith(source + QLatin1Char('/'))) return nullptr;
        if (QFileInfo(source).path() == target) return nullptr;  // already there
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

    QTreeWidgetItem* hover = itemAt(pos);
    QModelIndex hoverIndex = hover ? indexFromItem(hover) : QModelIndex();
    if (hoverIndex != QModelIndex(FHoverIndex)) {
        FHoverIndex = hoverIndex;
        FExpandTimer.stop();
        if (hover && FExpandInterval > 0 && !hover->isExpanded() &&
            hover->childIndicatorPolicy() != QTreeWidgetItem::DontShowIndicator)
            FExpandTimer.start(FExpandInterval);
    }

    QTreeWidgetItem* target = DropTargetAt(pos, DraggedPaths(Event->mimeData()));
    QModelIndex targetIndex = target ? indexFromItem(target) : QModelIndex();
    if (targetIndex != QModelIndex(FDropTarget)) {
        FDropTarget = targetIndex;
        viewport()->update();
    }
    if (!target) {
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
    QTreeWidgetItem* target = DropTargetAt(Event->position().toPoint(), sources);
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
            FChanges.Post(Folder);
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
