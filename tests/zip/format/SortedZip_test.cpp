// The sorted entry list: each sort mode's order, the duplicates policies, the binary search,
// capacity growth and its limit, and the list errors.
#include "zip/format/SortedZip.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/MemoryStream.h"
#include "zip/ZipErrors.h"

namespace qm {
namespace {

constexpr uint32_t Dos(int Year, int Month, int Day, int Hour = 12) {
    return static_cast<uint32_t>((Year - 1980) << 25 | Month << 21 | Day << 16 | Hour << 11);
}

// Entries owned by the test; lists under test do not own them.
struct TPool {
    std::vector<std::unique_ptr<TZipHeaderInfo>> Items;
    TZipHeaderInfo* Make(const std::string& Name, int64_t Offset = 0) {
        Items.push_back(std::make_unique<TZipHeaderInfo>());
        TZipHeaderInfo* e = Items.back().get();
        e->SetStoredName(Name);
        e->RelativeOffset = Offset;
        return e;
    }
};

std::vector<std::string> Names(const TSortedZip& L) {
    std::vector<std::string> out;
    for (int i = 0; i < L.Count(); ++i) out.push_back(L[i]->StoredName());
    return out;
}

TEST(TSortedZip, NewListIsEmptyOwningAndByNone) {
    TSortedZip l(dupError);
    EXPECT_EQ(l.Count(), 0);
    EXPECT_EQ(l.SortMode, ByNone);
    EXPECT_TRUE(l.OwnsObjects);
    EXPECT_EQ(l.Duplicates, dupError);
}

TEST(TSortedZip, ByNameFoldsLettersAndOrdersFoldedTiesByBytes) {
    TPool p;
    TSortedZip l(dupError, false);
    l.SortMode = ByName;
    for (const char* n : {"b.txt", "A.txt", "a.txt", "sub/c", "_x", "B.txt"}) l.Add(p.Make(n));
    // "_" (0x5F) sorts after the folded letters' upper-case range but before "a" (0x61).
    EXPECT_EQ(Names(l),
              (std::vector<std::string>{"_x", "A.txt", "a.txt", "B.txt", "b.txt", "sub/c"}));
    EXPECT_THROW(l.Add(p.Make("a.txt")), EListError) << "the same name is a duplicate";
    try {
        l.Add(p.Make("b.txt"));
    } catch (const EListError& e) {
        EXPECT_STREQ(e.what(), "Duplicate Object index");
    }
}

TEST(TSortedZip, ByFileNameAndByDirectoryName) {
    TPool p;
    TSortedZip f(dupAccept, false);
    f.SortMode = ByFileName;
    TSortedZip d(dupAccept, false);
    d.SortMode = ByDirectoryName;
    for (const char* n : {"z/a", "a/c", "m/b"}) {
        TZipHeaderInfo* e = p.Make(n);
        f.Add(e);
        d.Add(e);
    }
    EXPECT_EQ(Names(f), (std::vector<std::string>{"z/a", "m/b", "a/c"}));
    EXPECT_EQ(Names(d), (std::vector<std::string>{"a/c", "m/b", "z/a"}));
}

TEST(TSortedZip, AcceptPutsEqualEntriesInFrontOfTheirEquals) {
    TPool p;
    TSortedZip l(dupAccept, false);
    l.SortMode = ByDirectoryName;
    TZipHeaderInfo* first = p.Make("d/1");
    TZipHeaderInfo* second = p.Make("d/2");
    TZipHeaderInfo* third = p.Make("d/3");
    l.Add(first);
    l.Add(p.Make("e/x"));
    l.Add(second);
    l.Add(third);
    EXPECT_EQ(l[0], third);
    EXPECT_EQ(l[1], second);
    EXPECT_EQ(l[2], first);
    int index = -1;
    EXPECT_TRUE(l.Find(*first, index));
    EXPECT_EQ(index, 0) << "the first of the equal ones";
}

TEST(TSortedZip, IgnoreLeavesTheDuplicateOutAndToTheCaller) {
    TSortedZip l(dupIgnore);
    l.SortMode = ByName;
    auto a = std::make_unique<TZipHeaderInfo>();
    a->SetStoredName("x");
    EXPECT_EQ(l.Add(std::move(a)), 0);
    auto b = std::make_unique<TZipHeaderInfo>();
    b->SetStoredName("x");
    TZipHeaderInfo* raw = b.release();
    EXPECT_EQ(l.Add(raw), -1);
    EXPECT_EQ(l.Count(), 1);
    delete raw;  // still ours: under ASan a double free or leak would show here
}

TEST(TSortedZip, ByDateIsNewestFirstAndNeverEqual) {
    TPool p;
    TSortedZip l(dupError, false);
    l.SortMode = ByDate;
    TZipHeaderInfo* old = p.Make("old");
    old->DateTime = Dos(2001, 5, 5);
    TZipHeaderInfo* mid = p.Make("mid");
    mid->DateTime = Dos(2010, 1, 1);
    TZipHeaderInfo* twin = p.Make("twin");
    twin->DateTime = Dos(2010, 1, 1);
    TZipHeaderInfo* bad = p.Make("bad");
    bad->DateTime = Dos(2020, 2, 31);  // does not convert: the earliest possible
    TZipHeaderInfo* recent = p.Make("recent");
    recent->DateTime = Dos(2024, 7, 1);
    for (TZipHeaderInfo* e : {old, mid, twin, bad, recent})
        EXPECT_NO_THROW(l.Add(e)) << "ByDate never reports a duplicate";
    EXPECT_EQ(Names(l), (std::vector<std::string>{"recent", "mid", "twin", "old", "bad"}));
    EXPECT_EQ(l.IndexOf(*mid), -1) << "never equal, so never found";
}

TEST(TSortedZip, SizesAreLargestFirstAndRateIsBestFirst) {
    TPool p;
    TSortedZip c(dupError, false);
    c.SortMode = ByCompressedSize;
    TSortedZip u(dupError, false);
    u.SortMode = ByUnCompressedSize;
    TSortedZip r(dupAccept, false);
    r.SortMode = ByRate;
    struct {
        const char* Name;
        uint64_t Compressed, Uncompressed;
    } rows[] = {{"half", 50, 100},
                {"tenth", 10, 100},
                {"big", 5000000000ull, 6000000000ull},
                {"empty", 0, 0}};
    for (const auto& row : rows) {
        TZipHeaderInfo* e = p.Make(row.Name);
        e->CompressedSize = row.Compressed;
        e->UncompressedSize = row.Uncompressed;
        c.Add(e);
        u.Add(e);
        r.Add(e);
    }
    EXPECT_EQ(Names(c), (std::vector<std::string>{"big", "half", "tenth", "empty"}));
    EXPECT_EQ(Names(u), (std::vector<std::string>{"big", "half", "tenth", "empty"}))
        << "equal sizes stay in the order they were added";
    // Rates: empty 0 %, tenth 10 %, half 50 %, big 83 %.
    EXPECT_EQ(Names(r), (std::vector<std::string>{"empty", "tenth", "half", "big"}));
}

TEST(TSortedZip, ByNoneIsThePhysicalOrder) {
    TPool p;
    TSortedZip l(dupError, false);
    TZipHeaderInfo* a = p.Make("a", 500);
    TZipHeaderInfo* b = p.Make("b", 100);
    TZipHeaderInfo* c = p.Make("c", 50);
    c->DiskNumberStart = 1;
    TZipHeaderInfo* d = p.Make("d", 5000000000ll);
    for (TZipHeaderInfo* e : {a, c, d, b}) l.Add(e);
    EXPECT_EQ(Names(l), (std::vector<std::string>{"b", "a", "d", "c"}));
    TZipHeaderInfo key;
    key.RelativeOffset = 500;
    EXPECT_EQ(l.IndexOf(key), 1);
    EXPECT_THROW(l.Add(p.Make("a2", 500)), EListError) << "same volume and offset";
}

TEST(TSortedZip, CapacityGrowsBy4Then8Then16WithoutUpperLimit) {
    TSortedZip l(dupError);
    std::vector<int> seen;
    for (int i = 0; i < 40; ++i) {
        auto e = std::make_unique<TZipHeaderInfo>();
        e->RelativeOffset = i;
        l.Add(std::move(e));
        if (seen.empty() || seen.back() != l.Capacity()) seen.push_back(l.Capacity());
    }
    EXPECT_EQ(seen, (std::vector<int>{4, 8, 16, 32, 48}));
    EXPECT_NO_THROW(l.SetCapacity(1 << 20));
    EXPECT_THROW(l.SetCapacity(39), EListError) << "below the count";
}

// The old 16-bit limit (65,520 entries) is gone: a back-up may hold any number of files, and
// entries inserted anywhere keep the order with the views staying consistent.
TEST(TSortedZip, HoldsMoreThan65535EntriesInOrderWhereverTheyAreInserted) {
    constexpr int kCount = 70000;
    TSortedZip l(dupError);
    TSortedZip byName(dupAccept, false);
    byName.SortMode = ByName;
    // A stride that visits every offset once, in an order far from sorted.
    for (int k = 0; k < kCount; ++k) {
        const int offset = static_cast<int>((static_cast<int64_t>(k) * 48271) % kCount);
        auto e = std::make_unique<TZipHeaderInfo>();
        e->RelativeOffset = offset;
        e->SetFileName("f" + std::to_string(kCount - offset));
        TZipHeaderInfo* raw = e.get();
        ASSERT_GE(l.Add(std::move(e)), 0);
        byName.Add(raw);
    }
    ASSERT_EQ(l.Count(), kCount);
    for (int i = 0; i < kCount; i += 997) EXPECT_EQ(l.Items(i)->RelativeOffset, i);
    EXPECT_EQ(l.Items(kCount - 1)->RelativeOffset, kCount - 1);
    for (int i = 1; i < kCount; i += 1009)
        EXPECT_LT(byName.Compare(*byName.Items(i - 1), *byName.Items(i)), 0);
    TZipHeaderInfo key;
    key.RelativeOffset = 65536;
    EXPECT_EQ(l.IndexOf(key), 65536);
    // Removing from the middle keeps indexes dense.
    l.Delete(100);
    EXPECT_EQ(l.Count(), kCount - 1);
    EXPECT_EQ(l.Items(100)->RelativeOffset, 101);
    EXPECT_EQ(l.IndexOf(key), 65535);
}

TEST(TSortedZip, IndexAndPutErrors) {
    TPool p;
    TSortedZip l(dupError, false);
    l.Add(p.Make("a"));
    EXPECT_THROW(l.Items(1), EListError);
    EXPECT_THROW(l.Items(-1), EListError);
    try {
        l.Put(0, p.Make("b"));
    } catch (const EListError& e) {
        EXPECT_STREQ(e.what(), "Cannot <Put> an Object in a sorted list!");
    }
    EXPECT_THROW(l.Add(std::make_unique<TZipHeaderInfo>()), EListError)
        << "a list that does not own cannot take ownership";
}

TEST(TSortedZip, SavesAndLoadsItself) {
    TSortedZip l(dupAccept);
    for (int i = 0; i < 3; ++i) {
        auto e = std::make_unique<TZipHeaderInfo>();
        e->SetStoredName("dir/f" + std::to_string(i));
        e->RelativeOffset = 100 * i;
        e->CompressedSize = 7 + i;
        e->LocalExtraLength = static_cast<uint16_t>(i);
        if (i == 1) e->SetFileComment("one");
        l.Add(std::move(e));
    }
    TMemoryStream s;
    l.SaveToStream(s);
    s.Seek(0, soBeginning);
    TSortedZip back(dupError, false);
    back.LoadFromStream(s);
    EXPECT_EQ(back.Duplicates, dupAccept);
    EXPECT_TRUE(back.OwnsObjects);
    ASSERT_EQ(back.Count(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(back[i]->StoredName(), l[i]->StoredName());
        EXPECT_EQ(back[i]->RelativeOffset, l[i]->RelativeOffset);
        EXPECT_EQ(back[i]->CompressedSize, l[i]->CompressedSize);
        EXPECT_EQ(back[i]->LocalExtraLength, l[i]->LocalExtraLength);
        EXPECT_EQ(back[i]->Comment(), l[i]->Comment());
    }
    TMemoryStream cut(s.Text().substr(0, 60));
    EXPECT_THROW(back.LoadFromStream(cut), EReadError);
}

}  // namespace
}  // namespace qm
