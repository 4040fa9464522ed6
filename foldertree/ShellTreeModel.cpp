#include "foldertree/ShellTreeModel.h"

#include <algorithm>

#include "foldertree/ShellErrors.h"
#include "foldertree/ShellFileOperations.h"

namespace qm {

TShellTreeModel::TShellTreeModel(std::shared_ptr<TCustomShellController> Controller,
                                 QObject* Parent)
    : QAbstractItemModel(Parent),
      FController(Controller ? std::move(Controller) : TCustomShellController::Default()),
      FChanges([this](const QStringList& Folders) { ProcessChanges(Folders); }, this),
      FReader(std::make_unique<TShellFolderReader>(
          this,
          [this](uint64_t Ticket, TShellListing Listing) { Deliver(Ticket, std::move(Listing)); })),
      FCollator(TCustomShellController::MakeCollator()) {}

TShellTreeModel::~TShellTreeModel() {
    FReader.reset();
}

// ---- The model's interface

TShellTreeNode* TShellTreeModel::NodeOf(const QModelIndex& Index) const {
    if (!Index.isValid() || Index.model() != this) return nullptr;
    return static_cast<TShellTreeNode*>(Index.internalPointer());
}

QModelIndex TShellTreeModel::IndexOf(const TShellTreeNode* Node) const {
    return Node ? createIndex(Node->Row, 0, Node) : QModelIndex();
}

QModelIndex TShellTreeModel::index(int Row, int Column, const QModelIndex& Parent) const {
    if (Column != 0 || Row < 0) return {};
    if (!Parent.isValid()) return Row == 0 ? IndexOf(FRoot.get()) : QModelIndex();
    TShellTreeNode* parent = NodeOf(Parent);
    if (!parent || Parent.column() != 0 || Row >= int(parent->Children.size())) return {};
    return IndexOf(parent->Children[size_t(Row)].get());
}

QModelIndex TShellTreeModel::parent(const QModelIndex& Index) const {
    TShellTreeNode* node = NodeOf(Index);
    return node ? IndexOf(node->Parent) : QModelIndex();
}

int TShellTreeModel::rowCount(const QModelIndex& Parent) const {
    if (!Parent.isValid()) return FRoot ? 1 : 0;
    TShellTreeNode* node = NodeOf(Parent);
    return node && Parent.column() == 0 ? int(node->Children.size()) : 0;
}

int TShellTreeModel::columnCount(const QModelIndex&) const {
    return 1;
}

bool TShellTreeModel::hasChildren(const QModelIndex& Parent) const {
    if (!Parent.isValid()) return FRoot != nullptr;
    TShellTreeNode* node = NodeOf(Parent);
    return node && Parent.column() == 0 && node->HasButton();
}

QVariant TShellTreeModel::data(const QModelIndex& Index, int Role) const {
    TShellFolder* folder = FolderOf(Index);
    if (!folder) return {};
    switch (Role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
            return folder->DisplayName();
        case Qt::ToolTipRole:
            // The caption may be cut to fit: the full path says which folder it is.
            if (folder->IsFileSystem() && !folder->IsVirtual()) return folder->Path();
            return {};
        case Qt::DecorationRole: {
            int image = NodeOf(Index)->Expanded ? folder->OpenImageIndex() : folder->ImageIndex();
            return FController->SmallImage(image, folder->OverlayIndex());
        }
        case Qt::ForegroundRole:
            if (FOptions.Has(toColorCompressed) && folder->IsCompressed()) return FCompressedColor;
            return {};
        default:
            return {};
    }
}

Qt::ItemFlags TShellTreeModel::flags(const QModelIndex& Index) const {
    TShellFolder* folder = FolderOf(Index);
    if (!folder) return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    if (folder->IsFileSystem() && !folder->IsVirtual()) flags |= Qt::ItemIsDragEnabled;
    if (folder->IsFolder()) flags |= Qt::ItemIsDropEnabled;
    if (FOptions.Has(toAllowRename) && folder->CanRename() && !folder->IsDesktop() &&
        !IsRoot(Index))
        flags |= Qt::ItemIsEditable;
    return flags;
}

// ---- Settings and building

void TShellTreeModel::SetCompressedColor(const QColor& Color) {
    FCompressedColor = Color;
    std::function<void(TShellTreeNode*)> repaint = [&](TShellTreeNode* Node) {
        if (Node->Children.empty()) return;
        emit dataChanged(IndexOf(Node->Children.front().get()),
                         IndexOf(Node->Children.back().get()), {Qt::ForegroundRole});
        for (auto& child : Node->Children) repaint(child.get());
    };
    if (!FRoot) return;
    Changed(FRoot.get());
    repaint(FRoot.get());
}

TEnumFlags TShellTreeModel::EnumFlags() const {
    return {FOptions.Has(toShowFiles), FOptions.Has(toShowHidden), FOptions.Has(toColorCompressed)};
}

TShellItem TShellTreeModel::ResolveRoot(TSpecialFolder Special, const QString& Folder) const {
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
    return std::move(*root);
}

void TShellTreeModel::Build(TShellItem Root) {
    beginResetModel();
    FTickets.clear();
    FChanges.Clear();
    FRoot.reset();
    FItems.Clear();
    FRoot = MakeNode(std::move(Root), nullptr);
    endResetModel();
    UpdateFilling();
    StartRead(FRoot.get(), false);
}

// ---- Nodes

QModelIndex TShellTreeModel::RootIndex() const {
    return IndexOf(FRoot.get());
}

bool TShellTreeModel::IsRoot(const QModelIndex& Index) const {
    return FRoot && NodeOf(Index) == FRoot.get();
}

TShellFolder* TShellTreeModel::FolderOf(const QModelIndex& Index) const {
    TShellTreeNode* node = NodeOf(Index);
    return node ? FolderOf(node) : nullptr;
}

TShellTreeNode* TShellTreeModel::FindFirst(
    const std::function<bool(const TShellFolder&)>& Match) const {
    std::function<TShellTreeNode*(TShellTreeNode*)> walk = [&](TShellTreeNode* Node) {
        if (TShellFolder* folder = FolderOf(Node); folder && Match(*folder)) return Node;
        for (auto& child : Node->Children)
            if (TShellTreeNode* found = walk(child.get())) return found;
        return static_cast<TShellTreeNode*>(nullptr);
    };
    return FRoot ? walk(FRoot.get()) : nullptr;
}

QModelIndex TShellTreeModel::FindNode(const TShellIdList& Id) const {
    return IndexOf(
        FindFirst([&](const TShellFolder& Folder) { return Folder.AbsoluteId() == Id; }));
}

QModelIndex TShellTreeModel::FindNodeByPath(const QString& Path) const {
    return IndexOf(FindFirst([&](const TShellFolder& Folder) { return Folder.Path() == Path; }));
}

QModelIndex TShellTreeModel::ChildById(const QModelIndex& Parent, const QString& RelativeId) const {
    TShellTreeNode* parent = NodeOf(Parent);
    if (!parent) return {};
    for (auto& child : parent->Children)
        if (FolderOf(child.get())->RelativeId() == RelativeId) return IndexOf(child.get());
    return {};
}

int TShellTreeModel::CompareNodes(const QModelIndex& A, const QModelIndex& B) const {
    TShellFolder* a = FolderOf(A);
    TShellFolder* b = FolderOf(B);
    if (!a || !b) return 0;
    return TCustomShellController::CompareIDs(*a, *b, FCollator);
}

std::unique_ptr<TShellTreeNode> TShellTreeModel::MakeNode(TShellItem Item, TShellTreeNode* Parent) {
    auto folder = std::make_unique<TShellFolder>(std::move(Item));
    TShellFolder* raw = folder.get();
    auto node = std::make_unique<TShellTreeNode>(FItems.Add(std::move(folder)), Parent);
    raw->SetNode(node.get());
    node->ButtonBeforeListing = raw->HasSubFolder();
    return node;
}

TShellTreeNode* TShellTreeModel::InsertSorted(TShellTreeNode* Parent,
                                              std::unique_ptr<TShellTreeNode> Node) {
    const TShellFolder& item = *FolderOf(Node.get());
    auto at = std::lower_bound(Parent->Children.begin(), Parent->Children.end(), item,
                               [this](const auto& Child, const TShellFolder& Item) {
                                   return TCustomShellController::CompareIDs(*FolderOf(Child.get()),
                                                                             Item, FCollator) < 0;
                               });
    int row = int(at - Parent->Children.begin());
    beginInsertRows(IndexOf(Parent), row, row);
    TShellTreeNode* raw = Node.get();
    Parent->Children.insert(at, std::move(Node));
    Parent->Renumber(size_t(row));
    endInsertRows();
    return raw;
}

void TShellTreeModel::Resort(TShellTreeNode* Node) {
    TShellTreeNode* parent = Node->Parent;
    if (!parent) return;
    auto& siblings = parent->Children;
    const int from = Node->Row;
    // Binary search among the other siblings, which are still in order.
    int low = 0, high = int(siblings.size()) - 1;
    while (low < high) {
        int middle = (low + high) / 2;
        const TShellTreeNode* other = siblings[size_t(middle < from ? middle : middle + 1)].get();
        if (TCustomShellController::CompareIDs(*FolderOf(other), *FolderOf(Node), FCollator) < 0)
            low = middle + 1;
        else
            high = middle;
    }
    const int to = low;
    if (to == from) return;
    QModelIndex parentIndex = IndexOf(parent);
    beginMoveRows(parentIndex, from, from, parentIndex, to > from ? to + 1 : to);
    std::unique_ptr<TShellTreeNode> moved = std::move(siblings[size_t(from)]);
    siblings.erase(siblings.begin() + from);
    siblings.insert(siblings.begin() + to, std::move(moved));
    parent->Renumber(size_t(std::min(from, to)));
    endMoveRows();
}

void TShellTreeModel::Changed(TShellTreeNode* Node) {
    QModelIndex index = IndexOf(Node);
    emit dataChanged(index, index);
}

void TShellTreeModel::ReleaseSubtree(TShellTreeNode* Node) {
    for (auto& child : Node->Children) ReleaseSubtree(child.get());
    if (TShellFolder* folder = FolderOf(Node)) {
        if (folder->FillState() == fsFilled) WatchFolder(*folder, false);
        FItems.Delete(Node->Index);
    }
}

void TShellTreeModel::RemoveNode(const QModelIndex& Index) {
    TShellTreeNode* node = NodeOf(Index);
    // The top node goes only with a rebuild.
    if (!node || !node->Parent) return;
    emit NodeAboutToBeRemoved(Index);
    TShellTreeNode* parent = node->Parent;
    const int row = node->Row;
    beginRemoveRows(IndexOf(parent), row, row);
    ReleaseSubtree(node);
    parent->Children.erase(parent->Children.begin() + row);
    parent->Renumber(size_t(row));
    endRemoveRows();
}

void TShellTreeModel::WatchFolder(const TShellFolder& Folder, bool On) {
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

void TShellTreeModel::RenameSubtree(TShellTreeNode* Node, const QString& NewName) {
    // Watches follow paths, so every folder shown below the renamed one moves its watch.
    std::vector<TShellFolder*> filled;
    std::function<void(TShellTreeNode*)> collect = [&](TShellTreeNode* N) {
        if (TShellFolder* f = FolderOf(N); f && f->FillState() == fsFilled) filled.push_back(f);
        for (auto& child : N->Children) collect(child.get());
    };
    collect(Node);
    for (TShellFolder* f : filled) WatchFolder(*f, false);
    FolderOf(Node)->Rename(NewName);
    std::function<void(TShellTreeNode*)> reparent = [&](TShellTreeNode* N) {
        TShellFolder* parent = FolderOf(N);
        for (auto& child : N->Children) {
            FolderOf(child.get())->Reparent(parent->AbsoluteId(), parent->Path());
            reparent(child.get());
        }
    };
    reparent(Node);
    for (TShellFolder* f : filled) WatchFolder(*f, true);
    Changed(Node);
}

void TShellTreeModel::UpdateNode(TShellTreeNode* Node, const TShellItem& Fresh) {
    TShellFolder* folder = FolderOf(Node);
    folder->Refresh(Fresh);
    if (folder->FillState() == fsNotFilled) Node->ButtonBeforeListing = folder->HasSubFolder();
    Changed(Node);
}

QModelIndex TShellTreeModel::AddChildNow(const QModelIndex& Parent, const QString& Name) {
    TShellTreeNode* parentNode = NodeOf(Parent);
    TShellFolder* parent = FolderOf(Parent);
    if (!parent || parent->FillState() != fsFilled) return {};
    TShellIdList id = parent->AbsoluteId();
    id.append(Name);
    if (QModelIndex node = FindNode(id); node.isValid()) return node;
    std::optional<TShellItem> item = FController->ItemOf(id, EnumFlags());
    if (!item || !Accepts(*item)) return {};
    return IndexOf(InsertSorted(parentNode, MakeNode(std::move(*item), parentNode)));
}

bool TShellTreeModel::RenameItem(const QModelIndex& Index, const QString& NewName, QString& Error) {
    TShellTreeNode* node = NodeOf(Index);
    TShellFolder* folder = FolderOf(Index);
    if (!folder) return false;
    QString oldPath = folder->Path();
    if (!RenameShellItem(oldPath, NewName, Error)) return false;
    RenameSubtree(node, NewName);
    Resort(node);
    // Read the folder again for whatever else changed there meanwhile.
    if (node->Parent) FChanges.Post(FolderOf(node->Parent)->Path());
    Notify(folder->IsFolder() ? scRenameFolder : scRenameFile, oldPath, folder->Path());
    return true;
}

void TShellTreeModel::Notify(TShellChange Change, const QString& Path1, const QString& Path2) {
    if (FNotify) FNotify(Change, Path1, Path2);
}

void TShellTreeModel::SetExpanded(const QModelIndex& Index, bool Expanded) {
    TShellTreeNode* node = NodeOf(Index);
    if (!node || node->Expanded == Expanded) return;
    node->Expanded = Expanded;
    emit dataChanged(Index, Index, {Qt::DecorationRole});
}

}  // namespace qm
