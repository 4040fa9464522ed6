#include "zip/format/SortedZip.h"

#include <limits>

#include "platform/DosDateTime.h"
#include "platform/Exception.h"
#include "zip/ZipErrors.h"
#include "zip/format/PercentOf.h"

namespace qm {

namespace {

// Letters a-z folded, other bytes by value; names equal under folding are ordered by their
// bytes, so that only the same name compares equal.
int CompareFolded(const std::string& A, const std::string& B) {
    auto fold = [](unsigned char C) { return C >= 'A' && C <= 'Z' ? C + ('a' - 'A') : C; };
    const size_t n = std::min(A.size(), B.size());
    for (size_t i = 0; i < n; ++i) {
        int a = fold(static_cast<unsigned char>(A[i]));
        int b = fold(static_cast<unsigned char>(B[i]));
        if (a != b) return a - b;
    }
    if (A.size() != B.size()) return A.size() < B.size() ? -1 : 1;
    int exact = A.compare(B);
    return exact < 0 ? -1 : exact > 0 ? 1 : 0;
}

TDateTime DateOf(const TZipHeaderInfo& Entry) {
    TDateTime value;
    if (TryDosDateTimeToDateTime(Entry.DateTime, value)) return value;
    return std::numeric_limits<TDateTime>::lowest();
}

[[noreturn]] void RaiseListError(const char* Format, long long Value) {
    throw EListError(FormatMessage(Format, Value));
}

}  // namespace

TSortedZip::TSortedZip(TDuplicates Duplicates, bool OwnsObjects)
    : Duplicates(Duplicates), OwnsObjects(OwnsObjects) {}

TSortedZip::~TSortedZip() {
    Clear();
}

void TSortedZip::SetCapacity(int NewCapacity) {
    if (NewCapacity < Count()) RaiseListError("List capacity out of bounds (%d)", NewCapacity);
    FCapacity = NewCapacity;
}

void TSortedZip::Grow() {
    const int delta = FCapacity <= 4 ? 4 : FCapacity <= 8 ? 8 : 16;
    SetCapacity(FCapacity + delta);
}

void TSortedZip::Update(uint32_t Node) {
    TNode& n = FNodes[Node];
    n.Size = 1 + FNodes[n.Left].Size + FNodes[n.Right].Size;
}

uint32_t TSortedZip::NewNode(TZipHeaderInfo* Entry) {
    uint32_t node;
    if (!FFree.empty()) {
        node = FFree.back();
        FFree.pop_back();
    } else {
        node = static_cast<uint32_t>(FNodes.size());
        FNodes.emplace_back();
    }
    FNodes[node] = TNode{Entry, 0, 0, 1};
    return node;
}

void TSortedZip::Split(uint32_t Node, uint32_t Count, uint32_t& Left, uint32_t& Right) {
    if (Node == 0) {
        Left = Right = 0;
        return;
    }
    const uint32_t leftSize = SizeOf(FNodes[Node].Left);
    if (Count <= leftSize) {
        uint32_t l = 0;
        Split(FNodes[Node].Left, Count, Left, l);
        FNodes[Node].Left = l;
        Right = Node;
    } else {
        uint32_t r = 0;
        Split(FNodes[Node].Right, Count - leftSize - 1, r, Right);
        FNodes[Node].Right = r;
        Left = Node;
    }
    Update(Node);
}

uint32_t TSortedZip::Merge(uint32_t Left, uint32_t Right) {
    if (Left == 0) return Right;
    if (Right == 0) return Left;
    if (PriorityOf(Left) > PriorityOf(Right)) {
        FNodes[Left].Right = Merge(FNodes[Left].Right, Right);
        Update(Left);
        return Left;
    }
    FNodes[Right].Left = Merge(Left, FNodes[Right].Left);
    Update(Right);
    return Right;
}

uint32_t TSortedZip::NodeAt(int Index) const {
    if (Index < 0 || Index >= Count()) RaiseListError("List index out of bounds (%d)", Index);
    uint32_t node = FRoot;
    auto rest = static_cast<uint32_t>(Index);
    for (;;) {
        const uint32_t leftSize = SizeOf(FNodes[node].Left);
        if (rest < leftSize) {
            node = FNodes[node].Left;
        } else if (rest == leftSize) {
            return node;
        } else {
            rest -= leftSize + 1;
            node = FNodes[node].Right;
        }
    }
}

template <typename F>
void TSortedZip::ForEach(F Visit) const {
    // In order without recursion: the tree may be deep in the worst case.
    std::vector<uint32_t> stack;
    uint32_t node = FRoot;
    while (node != 0 || !stack.empty()) {
        while (node != 0) {
            stack.push_back(node);
            node = FNodes[node].Left;
        }
        node = stack.back();
        stack.pop_back();
        Visit(FNodes[node].Item);
        node = FNodes[node].Right;
    }
}

TZipHeaderInfo* TSortedZip::Items(int Index) const {
    return FNodes[NodeAt(Index)].Item;
}

void TSortedZip::Put(int, TZipHeaderInfo*) {
    throw EListError("Cannot <Put> an Object in a sorted list!");
}

int TSortedZip::Add(TZipHeaderInfo* Entry) {
    int index = 0;
    if (Find(*Entry, index)) {
        if (Duplicates == dupIgnore) return -1;
        if (Duplicates == dupError) throw EListError("Duplicate Object index");
    }
    Insert(index, Entry);
    return index;
}

int TSortedZip::Add(std::unique_ptr<TZipHeaderInfo> Entry) {
    if (!OwnsObjects) throw EListError("Cannot hand an Object to a list that does not own it");
    int index = Add(Entry.get());
    if (index >= 0) Entry.release();
    return index;
}

void TSortedZip::Insert(int Index, TZipHeaderInfo* Entry) {
    if (Index < 0 || Index > Count()) RaiseListError("List index out of bounds (%d)", Index);
    if (Count() == FCapacity) Grow();
    uint32_t left = 0, right = 0;
    Split(FRoot, static_cast<uint32_t>(Index), left, right);
    FRoot = Merge(Merge(left, NewNode(Entry)), right);
}

bool TSortedZip::Find(const TZipHeaderInfo& Key, int& Index) const {
    // The first position whose entry does not go before Key; found when an entry equal to Key
    // was met on the way (under the accept policy, the first of the equal ones is there).
    bool found = false;
    uint32_t before = 0;
    uint32_t node = FRoot;
    while (node != 0) {
        const TNode& n = FNodes[node];
        const int c = Compare(KeyOf(*n.Item), Key);
        if (c < 0) {
            before += SizeOf(n.Left) + 1;
            node = n.Right;
        } else {
            if (c == 0) found = true;
            node = n.Left;
        }
    }
    Index = static_cast<int>(before);
    return found;
}

int TSortedZip::IndexOf(const TZipHeaderInfo& Key) const {
    int index = 0;
    return Find(Key, index) ? index : -1;
}

void TSortedZip::Delete(int Index) {
    TZipHeaderInfo* entry = Extract(Index);
    if (OwnsObjects) delete entry;
}

TZipHeaderInfo* TSortedZip::Extract(int Index) {
    NodeAt(Index);  // raises for an index outside the list
    uint32_t left = 0, rest = 0, middle = 0, right = 0;
    Split(FRoot, static_cast<uint32_t>(Index), left, rest);
    Split(rest, 1, middle, right);
    TZipHeaderInfo* entry = FNodes[middle].Item;
    FNodes[middle] = TNode{};
    FFree.push_back(middle);
    FRoot = Merge(left, right);
    return entry;
}

void TSortedZip::Clear() {
    if (OwnsObjects) ForEach([](TZipHeaderInfo* Entry) { delete Entry; });
    FNodes.clear();
    FFree.clear();
    FFree.shrink_to_fit();
    FRoot = 0;
    FCapacity = 0;
}

std::deque<std::unique_ptr<TZipHeaderInfo>> TSortedZip::TakeAll() {
    std::deque<std::unique_ptr<TZipHeaderInfo>> entries;
    ForEach([&](TZipHeaderInfo* Entry) { entries.emplace_back(Entry); });
    const bool owns = OwnsObjects;
    OwnsObjects = false;
    Clear();
    OwnsObjects = owns;
    return entries;
}

int TSortedZip::Compare(const TZipHeaderInfo& A, const TZipHeaderInfo& B) const {
    switch (SortMode) {
        case ByName:
            return CompareFolded(A.StoredName(), B.StoredName());
        case ByFileName:
            return CompareFolded(A.FileName(), B.FileName());
        case ByDirectoryName:
            return CompareFolded(A.Directory(), B.Directory());
        case ByDate:
            return DateOf(B) > DateOf(A) ? 1 : -1;
        case ByCompressedSize:
            return B.CompressedSize > A.CompressedSize ? 1 : -1;
        case ByUnCompressedSize:
            return B.UncompressedSize > A.UncompressedSize ? 1 : -1;
        case ByRate:
            return PercentOf(static_cast<int64_t>(A.UncompressedSize),
                             static_cast<int64_t>(A.CompressedSize)) -
                   PercentOf(static_cast<int64_t>(B.UncompressedSize),
                             static_cast<int64_t>(B.CompressedSize));
        case ByNone:
            if (A.DiskNumberStart != B.DiskNumberStart)
                return A.DiskNumberStart < B.DiskNumberStart ? -1 : 1;
            return A.RelativeOffset > B.RelativeOffset   ? 1
                   : A.RelativeOffset < B.RelativeOffset ? -1
                                                         : 0;
    }
    return -1;
}

void TSortedZip::SaveToStream(TStream& Stream) const {
    const auto policy = static_cast<unsigned char>(Duplicates);
    Stream.WriteBuffer(&policy, 1);
    const auto count = static_cast<uint32_t>(Count());
    unsigned char header[4] = {
        static_cast<unsigned char>(count), static_cast<unsigned char>(count >> 8),
        static_cast<unsigned char>(count >> 16), static_cast<unsigned char>(count >> 24)};
    Stream.WriteBuffer(header, 4);
    ForEach([&](const TZipHeaderInfo* entry) {
        // The save updates the written lengths; a copy keeps the listed entry as it is.
        TZipHeaderInfo copy;
        copy.Assign(*entry);
        copy.SaveCentralToStream(Stream);
        unsigned char tail[3] = {static_cast<unsigned char>(entry->LocalExtraLength),
                                 static_cast<unsigned char>(entry->LocalExtraLength >> 8),
                                 static_cast<unsigned char>(entry->Zip64Local ? 1 : 0)};
        Stream.WriteBuffer(tail, 3);
    });
}

void TSortedZip::LoadFromStream(TStream& Stream) {
    unsigned char policy = 0;
    Stream.ReadBuffer(&policy, 1);
    unsigned char header[4];
    Stream.ReadBuffer(header, 4);
    const uint32_t count =
        header[0] | (header[1] << 8) | (header[2] << 16) | (static_cast<uint32_t>(header[3]) << 24);
    Clear();
    OwnsObjects = true;
    Duplicates = policy <= dupError ? static_cast<TDuplicates>(policy) : dupError;
    for (uint32_t i = 0; i < count; ++i) {
        auto entry = std::make_unique<TZipHeaderInfo>();
        const uint64_t start = static_cast<uint64_t>(Stream.Position());
        if (!entry->ReadCentralFromStream(Stream)) throw EReadError("Stream read error");
        if (entry->CommentLength != 0) {
            std::string comment(entry->CommentLength, '\0');
            Stream.Seek(-static_cast<int64_t>(entry->CommentLength), soCurrent);
            Stream.ReadBuffer(comment.data(), entry->CommentLength);
            entry->SetFileComment(comment);
        }
        entry->CentralOffset = start;
        unsigned char tail[3];
        Stream.ReadBuffer(tail, 3);
        entry->LocalExtraLength = static_cast<uint16_t>(tail[0] | (tail[1] << 8));
        entry->Zip64Local = tail[2] != 0;
        Add(std::move(entry));
    }
}

}  // namespace qm
