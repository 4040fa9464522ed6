// TSortedZip: the sorted collection of archive entries in which a directory is held.
//
// The list keeps its entries ordered by Compare under its SortMode and finds them by binary
// search. It may own its entries (the directory in archive order does) or only refer to them
// (a sorted view of that directory). The reported capacity grows like this: by 4 slots while it
// is at most 4, by 8 while it is at most 8, by 16 beyond. There is no upper limit: a back-up
// may hold millions of files.
//
// The entries sit in a balanced tree ordered by position (a treap that counts the entries
// below each node), so that adding, finding, removing and indexing each cost O(log n): a
// directory of a million entries is built without ever moving the entries that follow an
// insertion point.
//
// Errors are EListError: an index outside the list ("List index out of bounds (%d)"), a
// refused capacity ("List capacity out of bounds (%d)"), a duplicate under the error policy
// ("Duplicate Object index"), a put by index ("Cannot <Put> an Object in a sorted list!").
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "platform/Stream.h"
#include "zip/format/ZipHeaderInfo.h"

namespace qm {

enum TZipSortMode : uint8_t {
    ByName = 0,              // Directory + FileName, letters a-z folded, ties by bytes
    ByFileName = 1,          // FileName, the same way
    ByDirectoryName = 2,     // Directory, the same way
    ByDate = 3,              // newest first; never equal
    ByCompressedSize = 4,    // largest first; never equal
    ByUnCompressedSize = 5,  // largest first; never equal
    ByRate = 6,              // best compression (lowest percentage) first
    ByNone = 7,              // physical order: disk, then local header offset
};

// What Add does with an entry equal to one already present.
enum TDuplicates : uint8_t {
    dupIgnore = 0,  // not added (and not freed: the caller keeps it)
    dupAccept = 1,  // inserted in front of the equal ones
    dupError = 2,   // EListError "Duplicate Object index"
};

class TSortedZip {
  public:
    // An empty list with the given policy and SortMode ByNone.
    explicit TSortedZip(TDuplicates Duplicates, bool OwnsObjects = true);
    // Frees the entries when it owns them.
    ~TSortedZip();
    TSortedZip(const TSortedZip&) = delete;
    TSortedZip& operator=(const TSortedZip&) = delete;

    int Count() const { return static_cast<int>(SizeOf(FRoot)); }
    int Capacity() const { return FCapacity; }
    // Sets the reported capacity; EListError for less than Count.
    void SetCapacity(int NewCapacity);

    // The entry at Index; EListError outside 0..Count-1.
    TZipHeaderInfo* Items(int Index) const;
    TZipHeaderInfo* operator[](int Index) const { return Items(Index); }
    // Always refused: a sorted list decides its positions itself.
    [[noreturn]] void Put(int Index, TZipHeaderInfo* Entry);

    // Inserts Entry where the order wants it; returns its index, or -1 when the ignore policy
    // left it out. An owning list takes ownership only when it returns an index; on -1 or an
    // exception the caller still owns Entry.
    int Add(TZipHeaderInfo* Entry);
    // The same for an owning list (EListError for one that does not own its entries).
    int Add(std::unique_ptr<TZipHeaderInfo> Entry);
    // Inserts at Index without looking at the order (Add uses it); EListError for an index
    // outside 0..Count or a full list.
    void Insert(int Index, TZipHeaderInfo* Entry);
    // Binary search for an entry equal to Key: true when found; Index is its position (the
    // first of the equal ones under the accept policy), or where Key would be inserted.
    bool Find(const TZipHeaderInfo& Key, int& Index) const;
    // The position of an entry equal to Key, or -1.
    int IndexOf(const TZipHeaderInfo& Key) const;

    // Removes the entry at Index, freeing it when owning.
    void Delete(int Index);
    // Removes the entry at Index and hands it to the caller (never freed here).
    TZipHeaderInfo* Extract(int Index);
    // Removes every entry (freeing them when owning); the capacity drops to 0.
    void Clear();
    // Removes every entry and hands them to the caller, in list order; the capacity drops to 0.
    // A deque, so that the caller can release its memory as it takes the entries from it.
    std::deque<std::unique_ptr<TZipHeaderInfo>> TakeAll();

    // The item's key is the item itself.
    const TZipHeaderInfo& KeyOf(const TZipHeaderInfo& Item) const { return Item; }
    // Below 0 when A (an item of the list) goes before B (the key) under SortMode.
    int Compare(const TZipHeaderInfo& A, const TZipHeaderInfo& B) const;

    // The policy byte, the entry count (32-bit), then per entry its central record (comment
    // text included when present), LocalExtraLength and Zip64Local. Loading replaces the
    // content and the policy, makes the list owning, and adds the entries by the current
    // SortMode; EReadError when the stream ends early.
    void SaveToStream(TStream& Stream) const;
    void LoadFromStream(TStream& Stream);

    TDuplicates Duplicates;
    TZipSortMode SortMode = ByNone;
    bool OwnsObjects;

  private:
    // Node 0 stands for "none"; its Size is 0. Twenty bytes, with no padding: a directory of
    // a million entries holds a million nodes in every list.
    struct __attribute__((packed, aligned(4))) TNode {
        TZipHeaderInfo* Item = nullptr;
        uint32_t Left = 0;
        uint32_t Right = 0;
        uint32_t Size = 0;
    };
    // The nodes in blocks of fixed size: growing never copies them, and never holds the old
    // and the new copy at once.
    class TNodeStore {
      public:
        TNodeStore() { clear(); }
        TNode& operator[](uint32_t At) { return FBlocks[At >> kBlockBits][At & kBlockMask]; }
        const TNode& operator[](uint32_t At) const {
            return FBlocks[At >> kBlockBits][At & kBlockMask];
        }
        uint32_t size() const { return FSize; }
        void emplace_back() {
            if ((FSize & kBlockMask) == 0) FBlocks.push_back(std::make_unique<TNode[]>(kBlock));
            FBlocks[FSize >> kBlockBits][FSize & kBlockMask] = TNode{};
            ++FSize;
        }
        // Only node 0 left.
        void clear() {
            FBlocks.clear();
            FBlocks.shrink_to_fit();
            FSize = 0;
            emplace_back();
        }

      private:
        static constexpr uint32_t kBlockBits = 14;
        static constexpr uint32_t kBlock = uint32_t{1} << kBlockBits;
        static constexpr uint32_t kBlockMask = kBlock - 1;
        std::vector<std::unique_ptr<TNode[]>> FBlocks;
        uint32_t FSize = 0;
    };
    // A node's priority in the treap: a hash of its number, so that the tree's shape depends
    // only on the order of the calls, never on addresses, and costs no memory.
    static uint32_t PriorityOf(uint32_t Node) {
        uint32_t x = Node * 0x9E3779B9u;
        x ^= x >> 16;
        x *= 0x85EBCA6Bu;
        x ^= x >> 13;
        return x;
    }

    void Grow();
    uint32_t SizeOf(uint32_t Node) const { return FNodes[Node].Size; }
    void Update(uint32_t Node);
    uint32_t NewNode(TZipHeaderInfo* Entry);
    // Splits the tree Node into its first Count entries (Left) and the rest (Right).
    void Split(uint32_t Node, uint32_t Count, uint32_t& Left, uint32_t& Right);
    uint32_t Merge(uint32_t Left, uint32_t Right);
    uint32_t NodeAt(int Index) const;
    // Calls Visit with every entry in list order.
    template <typename F>
    void ForEach(F Visit) const;

    TNodeStore FNodes;
    std::vector<uint32_t> FFree;  // nodes of removed entries, for reuse
    uint32_t FRoot = 0;
    int FCapacity = 0;
};

}  // namespace qm
