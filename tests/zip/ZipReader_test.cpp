// The reader component: properties and their setter rules, keeping the directory current,
// refusing files that are no archive, the three incomplete-archive modes and the rebuild from
// local headers, comments, sorting, and the directory file and volumes of multi-volume sets.
#include "zip/ZipReader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "platform/MemoryStream.h"
#include "platform/UiHooks.h"
#include "support/ScriptedUiHooks.h"
#include "support/TestDir.h"

namespace qm {
namespace {

struct TSpec {
    std::string Name;
    std::string Data;
    std::string Comment;
    uint32_t DateTime = 0x5A6E7C20;  // 2025-03-14 15:33:00
};

struct TBuilt {
    std::string Bytes;
    int64_t CentralOffset = 0;
    int64_t CentralEnd = 0;
};

// An archive of stored entries, built with the record writers.
TBuilt Build(const std::vector<TSpec>& Specs, const std::string& ArchiveComment = "",
             const std::string& Prefix = "") {
    TMemoryStream s;
    s.Write(Prefix.data(), static_cast<int32_t>(Prefix.size()));
    std::vector<std::unique_ptr<TZipHeaderInfo>> entries;
    for (const TSpec& spec : Specs) {
        auto e = std::make_unique<TZipHeaderInfo>();
        e->SetStoredName(spec.Name);
        e->Method = 0;
        e->DateTime = spec.DateTime;
        e->CRC = 0;
        e->CompressedSize = e->UncompressedSize = spec.Data.size();
        e->ExternalAttributes = 0x20 + static_cast<uint32_t>(entries.size());
        e->SetFileComment(spec.Comment);
        e->SaveLocalToStream(s);
        s.Write(spec.Data.data(), static_cast<int32_t>(spec.Data.size()));
        entries.push_back(std::move(e));
    }
    TBuilt b;
    b.CentralOffset = s.Position();
    for (auto& e : entries) e->SaveCentralToStream(s);
    b.CentralEnd = s.Position();
    TEndCentral end;
    end.EntriesOnDisk = end.TotalEntries = entries.size();
    end.CentralOffset = static_cast<uint64_t>(b.CentralOffset);
    end.CentralSize = static_cast<uint64_t>(b.CentralEnd - b.CentralOffset);
    end.SetComment(ArchiveComment);
    end.SaveToStream(s);
    b.Bytes = s.Text();
    return b;
}

const std::vector<TSpec> kThree = {
    {"zeta.txt", "zzz", "comment of zeta"},
    {"docs/alpha.txt", "aaaa", "comment of alpha"},
    {"mid/", "", ""},
};

void SetMTime(const std::string& File, std::time_t When) {
    utimbuf times{When, When};
    ASSERT_EQ(utime(File.c_str(), &times), 0);
}

TEST(TZipReader, DefaultsAndSetterRules) {
    TZipReader r;
    EXPECT_EQ(r.ThisVersion(), 220);
    r.SetThisVersion(5);
    EXPECT_EQ(r.ThisVersion(), 220);
    EXPECT_EQ(r.SortMode(), ByNone);
    EXPECT_EQ(r.IncompleteZipMode(), izAssumeMulti);
    EXPECT_FALSE(r.KeepZipOpen());
    EXPECT_TRUE(r.DoProcessMessages());
    EXPECT_TRUE(r.RetainAttributes());
    EXPECT_FALSE(r.FlushFilesOnClose());
    EXPECT_TRUE(r.CheckDiskLabels());
    EXPECT_EQ(r.MultiMode(), mmNone);
    EXPECT_EQ(r.OverwriteMode(), TUZOverwriteMode::Prompt);
    EXPECT_EQ(r.NumberOfDisks(), 1);
    EXPECT_EQ(r.Count(), 0);
    EXPECT_EQ(r.EntryList(), nullptr);
    EXPECT_TRUE(static_cast<bool>(r.OnGetNextDisk)) << "preset to the component's own handler";

    r.SetRootDir("/data");
    EXPECT_EQ(r.RootDir(), "/data/");
    r.SetRootDir("/data/");
    EXPECT_EQ(r.RootDir(), "/data/");
    r.SetRootDir("");
    EXPECT_EQ(r.RootDir(), "");
    r.SetDestDir("/out/");
    EXPECT_EQ(r.DestDir(), "/out");
}

TEST(TZipReader, AssignCopiesPropertiesAndHandlers) {
    TZipReader a;
    a.SetZipName("/nowhere/a.zip");
    a.SetRootDir("/r");
    a.SetDestDir("/d");
    a.SetSortMode(ByDate);
    a.SetFilesList({"/r/*.txt", "/r/*.doc"});
    a.SetIncompleteZipMode(izAssumeBad);
    a.SetKeepZipOpen(true);
    a.SetDoProcessMessages(false);
    a.SetRecreateDirs(true);
    a.SetDoAll(true);
    int fired = 0;
    a.OnInCompleteZip = [&](TZipReader&, TIncompleteZipMode&) { ++fired; };
    TZipReader b;
    b.Assign(a);
    EXPECT_EQ(b.ZipName(), "/nowhere/a.zip");
    EXPECT_EQ(b.RootDir(), "/r/");
    EXPECT_EQ(b.DestDir(), "/d");
    EXPECT_EQ(b.SortMode(), ByDate);
    EXPECT_EQ(b.FilesList(), a.FilesList());
    EXPECT_EQ(b.IncompleteZipMode(), izAssumeBad);
    EXPECT_TRUE(b.KeepZipOpen());
    EXPECT_FALSE(b.DoProcessMessages());
    EXPECT_TRUE(b.RecreateDirs());
    EXPECT_TRUE(b.DoAll());
    TIncompleteZipMode m = izAssumeMulti;
    b.OnInCompleteZip(b, m);
    EXPECT_EQ(fired, 1);
}

TEST(TZipReader, ReadsTheDirectoryWithDatesAndComments) {
    test::TestDir dir;
    const TBuilt built = Build(kThree, "archive note");
    const std::string name = dir.File("a.zip", built.Bytes);
    TZipReader r;
    r.SetZipName(name);
    r.OpenZip();
    ASSERT_EQ(r.Count(), 3);
    EXPECT_EQ(r.EntryList(), r.SortedView()) << "ByNone: the view is the list";
    EXPECT_NE(r.ArchiveStream(), nullptr) << "OpenZip leaves the stream open";
    r.CloseZip();
    EXPECT_EQ(r.ArchiveStream(), nullptr);
    const TZipHeaderInfo& zeta = *r.SortedView()->Items(0);
    EXPECT_EQ(zeta.StoredName(), "zeta.txt");
    EXPECT_EQ(zeta.RelativeOffset, 0);
    EXPECT_EQ(zeta.CentralOffset, static_cast<uint64_t>(built.CentralOffset));
    EXPECT_EQ(r.SortedView()->Items(2)->Directory(), "mid/");
    EXPECT_EQ(r.GetEntryComment(1), "comment of alpha");
    EXPECT_EQ(r.GetEntryComment(2), "");
    EXPECT_EQ(r.GetZipComment(), "archive note");
    EXPECT_FALSE(r.EndCentral().CommentChanged) << "loading is no change";
    TDateTime expected = 0;
    ASSERT_TRUE(TryDosDateTimeToDateTime(0x5A6E7C20, expected));
    EXPECT_EQ(r.GetEntryDateTime(0), expected);
    EXPECT_EQ(r.CurrentDisk(), 0);
    EXPECT_EQ(r.NumberOfDisks(), 1);
    EXPECT_FALSE(r.Rebuilt());
}

TEST(TZipReader, IndexOutOfRangeMessage) {
    test::TestDir dir;
    TZipReader r;
    r.SetZipName(dir.File("a.zip", Build(kThree).Bytes));
    r.OpenZip();
    try {
        r.GetEntryDateTime(3);
        FAIL();
    } catch (const EListError& e) {
        EXPECT_STREQ(e.what(), "Index 3 is out of range");
    }
    EXPECT_THROW(r.GetEntryComment(-1), EListError);
    EXPECT_THROW(r.SetEntryComment(3, "x"), EListError);
}

TEST(TZipReader, SortedViewAndCommentsFollowTheSortMode) {
    test::TestDir dir;
    TZipReader r;
    r.SetZipName(dir.File("a.zip", Build(kThree).Bytes));
    r.SetSortMode(ByName);
    r.OpenZip();
    ASSERT_NE(r.SortedView(), r.EntryList());
    EXPECT_FALSE(r.SortedView()->OwnsObjects);
    EXPECT_EQ(r.SortedView()->Items(0)->StoredName(), "docs/alpha.txt");
    EXPECT_EQ(r.GetEntryComment(0), "comment of alpha");
    r.Sort(ByNone);
    EXPECT_EQ(r.SortedView(), r.EntryList());
    EXPECT_EQ(r.SortMode(), ByNone);
    EXPECT_EQ(r.GetEntryComment(0), "comment of zeta");
}

TEST(TZipReader, SetCommentsMarkChangesOnlyWhenTheTextDiffers) {
    test::TestDir dir;
    TZipReader r;
    r.SetZipName(dir.File("a.zip", Build(kThree, "note").Bytes));
    r.OpenZip();
    r.SetEntryComment(2, "");
    EXPECT_FALSE(r.EndCentral().CommentChanged) << "no comment equals the empty text";
    r.SetEntryComment(2, "new");
    EXPECT_TRUE(r.EndCentral().CommentChanged);
    EXPECT_EQ(r.GetEntryComment(2), "new");
    EXPECT_EQ(r.SortedView()->Items(2)->CommentLength, 3);

    r.EndCentral().CommentChanged = false;
    EXPECT_EQ(r.GetZipComment(), "note");
    r.SetZipComment("note");
    EXPECT_FALSE(r.EndCentral().CommentChanged);
    r.SetZipComment("other");
    EXPECT_TRUE(r.EndCentral().CommentChanged);
    EXPECT_EQ(r.GetZipComment(), "other");
}

TEST(TZipReader, OpenZipReadsAgainOnlyWhenTheFileDateChanged) {
    test::TestDir dir;
    const std::string name = dir.File("a.zip", Build(kThree).Bytes);
    SetMTime(name, 1700000000);
    TZipReader r;
    r.SetZipName(name);
    r.OpenZip();
    r.SortedView()->Items(0)->UserFlag = 7;  // a mark that a fresh read would not have
    r.CloseZip();
    r.OpenZip();
    EXPECT_EQ(r.SortedView()->Items(0)->UserFlag, 7) << "unchanged: not read again";
    r.CloseZip();
    SetMTime(name, 1700000100);
    r.OpenZip();
    EXPECT_EQ(r.SortedView()->Items(0)->UserFlag, 0) << "touched: read again";
}

TEST(TZipReader, KeepZipOpenKeepsTheStreamAndClearZipClosesItAnyway) {
    test::TestDir dir;
    TZipReader r;
    r.SetZipName(dir.File("a.zip", Build(kThree).Bytes));
    r.SetKeepZipOpen(true);
    r.OpenZip();
    r.CloseZip();
    EXPECT_NE(r.ArchiveStream(), nullptr);
    r.ClearZip();
    EXPECT_EQ(r.ArchiveStream(), nullptr);
    EXPECT_TRUE(r.KeepZipOpen());
    EXPECT_EQ(r.ZipName(), "");
    EXPECT_EQ(r.Count(), 0);
    EXPECT_EQ(r.ArchiveDate(), 0);
    EXPECT_EQ(r.EndCentral().TotalEntries, 0u);
}

TEST(TZipReader, ZipNameSetterDropsTheDirectoryOnlyForAnotherName) {
    test::TestDir dir;
    const std::string name = dir.File("a.zip", Build(kThree).Bytes);
    TZipReader r;
    r.SetZipName(name);
    r.OpenZip();
    r.SetZipName(name);
    EXPECT_EQ(r.Count(), 3);
    r.SetZipName(dir / "A.zip");  // another file on a case-sensitive file system
    EXPECT_EQ(r.Count(), 0);
    EXPECT_EQ(r.ArchiveDate(), 0);
    EXPECT_EQ(r.EndCentral().TotalEntries, 0u);
}

TEST(TZipReader, QuestionMarkNameAsksForTheFile) {
    test::TestDir dir;
    test::TScriptedUiHooks hooks;
    TZipReader r;
    try {
        r.SetZipName(dir.Path() + "/?");
        FAIL();
    } catch (const EUserCanceled& e) {
        EXPECT_STREQ(e.what(), "User canceled setting zip file name.");
    }
    EXPECT_EQ(hooks.Asked.Title, "Open a Zip File");
    EXPECT_EQ(hooks.Asked.Filter,
              "Zip Files (*.ZIP)|*.zip|SFX Files (*.EXE)|*.exe|Jar Files (*.JAR)|*.jar|All "
              "Files (*.*)|*.*");
    EXPECT_EQ(hooks.Asked.InitialDir, dir.Path() + "/");
    hooks.OpenChoice = dir / "picked.zip";
    r.SetZipName("/no/such/folder/?");
    EXPECT_EQ(hooks.Asked.InitialDir, "/");
    EXPECT_EQ(r.ZipName(), dir / "picked.zip");
}

TEST(TZipReader, DefaultNextDiskHandler) {
    test::TScriptedUiHooks hooks;
    hooks.Otherwise = idOk;
    TZipReader r;
    std::string name = "/v/set.zip";
    r.OnGetNextDisk(r, 2, name);
    EXPECT_EQ(name, "/v/set.002");
    r.SetMultiMode(mmSpan);
    name = "/v/set.zip";
    r.OnGetNextDisk(r, 3, name);
    ASSERT_EQ(hooks.Boxes.size(), 1u);
    EXPECT_EQ(hooks.Boxes.back().Text, "Please insert disk 3 of the multi-disk set.");
    EXPECT_EQ(name, "/v/set.zip");
    hooks.Answers = {idCancel};
    r.OnGetNextDisk(r, 3, name);
    EXPECT_EQ(name, "");
}

TEST(TZipReader, FilesThatAreNoArchive) {
    test::TestDir dir;
    TZipReader r;
    r.SetZipName(dir.File("empty.zip", ""));
    r.OpenZip();
    EXPECT_EQ(r.Count(), 0) << "0 bytes: an archive with no entries";
    EXPECT_NE(r.EntryList(), nullptr);

    for (const std::string& bytes :
         {std::string("x"), std::string(21, 'P'), std::string(100000, 'q') + "PK\x05"}) {
        r.SetZipName(dir.File("bad.zip", bytes));
        try {
            r.OpenZip();
            FAIL() << bytes.size();
        } catch (const EIncompleteZip& e) {
            EXPECT_STREQ(e.what(), "Incomplete Zip File");
        }
        r.ClearZip();
    }
    r.SetIncompleteZipMode(izAssumeNotAZip);
    r.SetZipName(dir.File("bad.zip", std::string(70000, 'q')));
    try {
        r.OpenZip();
        FAIL();
    } catch (const ENotAZipFile& e) {
        EXPECT_STREQ(e.what(), "Not a valid zip file!");
    }
    r.SetZipName(dir / "missing.zip");
    EXPECT_THROW(r.OpenZip(), EFOpenError);
}

TEST(TZipReader, TheIncompleteEventMayChangeTheMode) {
    test::TestDir dir;
    TZipReader r;
    std::vector<TIncompleteZipMode> seen;
    r.OnInCompleteZip = [&](TZipReader& Sender, TIncompleteZipMode& Mode) {
        EXPECT_EQ(&Sender, &r);
        seen.push_back(Mode);
        Mode = izAssumeNotAZip;
    };
    r.SetZipName(dir.File("bad.zip", "no archive here at all"));
    EXPECT_THROW(r.OpenZip(), ENotAZipFile);
    EXPECT_EQ(seen, std::vector<TIncompleteZipMode>{izAssumeMulti});
    EXPECT_EQ(r.IncompleteZipMode(), izAssumeNotAZip);
}

TEST(TZipReader, BrokenDirectoryIsABadZipFile) {
    test::TestDir dir;
    const TBuilt built = Build(kThree);
    // The end record points one byte off; then: the second central record damaged.
    std::string offByOne = built.Bytes;
    offByOne[built.CentralEnd + 16] += 1;
    std::string damaged = built.Bytes;
    const size_t second = built.Bytes.find("PK\x01\x02", built.CentralOffset + 4);
    damaged[second + 2] = 'X';
    for (const std::string& bytes : {offByOne, damaged}) {
        TZipReader r;
        r.SetZipName(dir.File("b.zip", bytes));
        try {
            r.OpenZip();
            FAIL();
        } catch (const EBadZipFile& e) {
            EXPECT_STREQ(e.what(), "Not a valid zip file!");
        }
    }
}

TEST(TZipReader, AssumeBadRebuildsFromLocalHeadersAndCompletesFromTheCentralRecords) {
    test::TestDir dir;
    const TBuilt built = Build(kThree, "gone");
    TZipReader r;
    r.SetIncompleteZipMode(izAssumeBad);
    // No end record at all.
    r.SetZipName(dir.File("cut.zip", built.Bytes.substr(0, built.CentralEnd)));
    r.OpenZip();
    EXPECT_TRUE(r.Rebuilt());
    ASSERT_EQ(r.Count(), 3);
    EXPECT_EQ(r.SortedView()->Items(0)->StoredName(), "zeta.txt");
    EXPECT_EQ(r.SortedView()->Items(1)->StoredName(), "docs/alpha.txt");
    EXPECT_EQ(r.SortedView()->Items(2)->StoredName(), "mid/");
    EXPECT_EQ(r.SortedView()->Items(1)->ExternalAttributes, 0x21u) << "completed from central";
    EXPECT_EQ(r.SortedView()->Items(1)->RelativeOffset, 30 + 8 + 3);
    EXPECT_EQ(r.GetEntryComment(1), "comment of alpha");
    EXPECT_EQ(r.EndCentral().CentralOffset, static_cast<uint64_t>(built.CentralOffset));

    // Only the local headers, no central directory: the rebuilt entries stand alone.
    r.SetZipName(dir.File("locals.zip", built.Bytes.substr(0, built.CentralOffset)));
    r.OpenZip();
    ASSERT_EQ(r.Count(), 3);
    EXPECT_EQ(r.SortedView()->Items(0)->ExternalAttributes, 0u);
    EXPECT_EQ(r.SortedView()->Items(2)->CompressedSize, 0u);

    // A wrong central offset in a complete archive also leads to the rebuild.
    std::string offByOne = built.Bytes;
    offByOne[built.CentralEnd + 16] += 1;
    r.SetZipName(dir.File("off.zip", offByOne));
    r.OpenZip();
    EXPECT_TRUE(r.Rebuilt());
    EXPECT_EQ(r.Count(), 3);
    EXPECT_EQ(r.GetEntryComment(0), "comment of zeta");
}

// The rebuild scan passes over "PK\3\4" inside data unless the version needed that follows
// looks like a header's: its high byte below 10 (bytes 4 and 5 after the signature's start).
TEST(TZipReader, RebuildScanTakesASignatureOnlyWithAPlausibleVersion) {
    test::TestDir dir;
    const TBuilt real = Build({{"real.txt", "r", ""}});
    const std::string locals = real.Bytes.substr(0, real.CentralOffset);
    for (int highByte : {9, 10, 0xFF}) {
        const std::string fake = std::string("PK\3\4\x14", 5) + static_cast<char>(highByte);
        TZipReader r;
        r.SetIncompleteZipMode(izAssumeBad);
        r.SetZipName(dir.File("scan" + std::to_string(highByte) + ".zip", fake + locals));
        r.OpenZip();
        ASSERT_GE(r.Count(), 1) << highByte;
        // Taken for a header, the fake one starts the rebuilt list; passed over, the real one.
        const TZipHeaderInfo& first = *r.SortedView()->Items(0);
        EXPECT_EQ(first.RelativeOffset, highByte < 10 ? 0u : fake.size()) << highByte;
        EXPECT_EQ(first.StoredName() == "real.txt", highByte >= 10) << highByte;
    }
}

// A local header with the descriptor flag and its sizes filled in, stored data, then the
// descriptor: with or without its signature, with 32- or 64-bit sizes (Zip64 extra in the header).
std::string EntryWithDescriptor(const std::string& Name, const std::string& Data, bool Signed,
                                bool Zip64) {
    auto put16 = [](std::string& S, uint32_t V) {
        for (int i = 0; i < 2; ++i) S += static_cast<char>((V >> (8 * i)) & 0xFF);
    };
    auto put32 = [&](std::string& S, uint32_t V) {
        put16(S, V & 0xFFFF);
        put16(S, V >> 16);
    };
    auto put64 = [&](std::string& S, uint64_t V) {
        put32(S, static_cast<uint32_t>(V));
        put32(S, static_cast<uint32_t>(V >> 32));
    };
    const auto size = static_cast<uint32_t>(Data.size());
    const uint32_t crc = 0x12345678;
    std::string out;
    put32(out, 0x04034B50);
    put16(out, Zip64 ? 45 : 20);
    put16(out, 0x0008);
    put16(out, 0);  // stored
    put32(out, 0x00210000);
    put32(out, crc);
    put32(out, Zip64 ? 0xFFFFFFFFu : size);
    put32(out, Zip64 ? 0xFFFFFFFFu : size);
    put16(out, static_cast<uint32_t>(Name.size()));
    put16(out, Zip64 ? 20 : 0);
    out += Name;
    if (Zip64) {
        put16(out, 0x0001);
        put16(out, 16);
        put64(out, size);
        put64(out, size);
    }
    out += Data;
    if (Signed) put32(out, 0x08074B50);
    put32(out, crc);
    if (Zip64) {
        put64(out, size);
        put64(out, size);
    } else {
        put32(out, size);
        put32(out, size);
    }
    return out;
}

TEST(TZipReader, RebuildScanGoesOnBehindEveryKindOfDataDescriptor) {
    test::TestDir dir;
    const TBuilt after = Build({{"after.txt", "after", ""}});
    const std::string locals = after.Bytes.substr(0, after.CentralOffset);
    for (bool zip64 : {false, true}) {
        for (bool signed_ : {true, false}) {
            const std::string what =
                std::string(zip64 ? "zip64" : "32-bit") + (signed_ ? ", signed" : ", no signature");
            TZipReader r;
            r.SetIncompleteZipMode(izAssumeBad);
            r.SetZipName(dir.File(
                "d.zip", EntryWithDescriptor("first.txt", "first data", signed_, zip64) + locals));
            r.OpenZip();
            ASSERT_EQ(r.Count(), 2) << what;
            EXPECT_EQ(r.SortedView()->Items(0)->StoredName(), "first.txt") << what;
            EXPECT_EQ(r.SortedView()->Items(0)->CompressedSize, 10u) << what;
            EXPECT_EQ(r.SortedView()->Items(1)->StoredName(), "after.txt") << what;
        }
    }
}

TEST(TZipReader, FailedRebuildClearsAndRaises) {
    test::TestDir dir;
    TZipReader r;
    r.SetIncompleteZipMode(izAssumeBad);
    const std::string name = dir.File("junk.zip", std::string(5000, 'j'));
    r.SetZipName(name);
    EXPECT_THROW(r.OpenZip(), EBadZipFile);
    EXPECT_EQ(r.ZipName(), "") << "ClearZip ran";
    EXPECT_EQ(r.ArchiveStream(), nullptr);
}

TEST(TZipReader, RebuildScanOfAnExeStartsAt14000AndCanBeCancelled) {
    test::TestDir dir;
    const TBuilt early = Build({{"early.txt", "e", ""}});
    const TBuilt late = Build({{"late.txt", "l", ""}});
    const std::string locals = early.Bytes.substr(0, early.CentralOffset) +
                               std::string(20000, 'x') + late.Bytes.substr(0, late.CentralOffset);
    TZipReader r;
    r.SetIncompleteZipMode(izAssumeBad);
    r.SetZipName(dir.File("setup.EXE", locals));
    r.OpenZip();
    ASSERT_EQ(r.Count(), 1);
    EXPECT_EQ(r.SortedView()->Items(0)->StoredName(), "late.txt");
    r.SetZipName(dir.File("setup.zip", locals));
    r.OpenZip();
    EXPECT_EQ(r.Count(), 1) << "the scan stops at the first gap between headers";
    EXPECT_EQ(r.SortedView()->Items(0)->StoredName(), "early.txt");

    test::TScriptedUiHooks hooks;
    hooks.OnPump = [&] { r.RequestCancel(); };
    r.SetZipName(dir.File("slow.zip", std::string(30000, 'x') + locals));
    try {
        r.OpenZip();
        FAIL();
    } catch (const EUserCanceled& e) {
        EXPECT_STREQ(e.what(), "User Aborted Operation");
    }
    EXPECT_EQ(hooks.Pumps, 1) << "the first look after 10,240 bytes";
    EXPECT_FALSE(r.CancelRequested()) << "cleared where noticed";
    r.SetDoProcessMessages(false);
    r.ClearZip();
    r.SetZipName(dir / "slow.zip");
    EXPECT_NO_THROW(r.OpenZip());
}

TEST(TZipReader, DirectoryFileBesideTheFirstVolume) {
    test::TestDir dir;
    const TBuilt built = Build(kThree, "set comment");
    // The first volume holds the data; the directory file the central directory and end record.
    dir.File("set.zip", built.Bytes.substr(0, built.CentralOffset));
    dir.File("set.zfc", built.Bytes.substr(built.CentralOffset));
    TZipReader r;
    r.SetZipName(dir / "set.zip");
    r.OpenZip();
    ASSERT_EQ(r.Count(), 3);
    EXPECT_EQ(r.SortedView()->Items(0)->StoredName(), "zeta.txt");
    EXPECT_TRUE(r.SortedView()->Items(0)->HasCommentText()) << "loaded while the file was open";
    EXPECT_EQ(r.GetEntryComment(1), "comment of alpha");
    EXPECT_EQ(r.GetZipComment(), "set comment");
    EXPECT_EQ(r.CurrentDisk(), 0);
}

TEST(TZipReader, CentralDirectoryOnAnEarlierVolume) {
    test::TestDir dir;
    const TBuilt built = Build(kThree, "last volume comment");
    // Volume 1 (set.001): the data and the central directory. Volume 2 (set.zip, the named
    // last volume): the end record alone, naming volume 1 for the directory.
    dir.File("set.001", built.Bytes.substr(0, built.CentralEnd));
    TEndCentral end;
    end.ThisDisk = 1;
    end.CentralDisk = 0;
    end.EntriesOnDisk = 0;
    end.TotalEntries = 3;
    end.CentralOffset = static_cast<uint64_t>(built.CentralOffset);
    end.CentralSize = static_cast<uint64_t>(built.CentralEnd - built.CentralOffset);
    end.SetComment("last volume comment");
    TMemoryStream last;
    end.SaveToStream(last);
    dir.File("set.zip", last.Text());

    TZipReader r;
    std::vector<int> asked;
    r.OnGetNextDisk = [&](TZipReader& Sender, int NextDisk, std::string& FName) {
        asked.push_back(NextDisk);
        Sender.DefaultGetNextDisk(Sender, NextDisk, FName);
    };
    r.SetZipName(dir / "set.zip");
    r.OpenZip();
    EXPECT_EQ(asked, std::vector<int>{1});
    ASSERT_EQ(r.Count(), 3);
    EXPECT_EQ(r.MultiMode(), mmBlocks);
    EXPECT_EQ(r.NumberOfDisks(), 2);
    EXPECT_EQ(r.CurrentDisk(), 1);
    EXPECT_EQ(r.GetEntryComment(1), "comment of alpha") << "loaded while its volume was there";
    EXPECT_EQ(r.GetZipComment(), "last volume comment");

    r.OnGetNextDisk = [](TZipReader&, int, std::string& FName) { FName.clear(); };
    r.ClearZip();
    r.SetZipName(dir / "set.zip");
    try {
        r.OpenZip();
        FAIL();
    } catch (const EUserCanceled& e) {
        EXPECT_STREQ(e.what(), "User canceled Zip operation");
    }
}

TEST(TZipReader, CommentThatIsNotWhereTheRecordSaysIsABadZipFile) {
    test::TestDir dir;
    const TBuilt built = Build(kThree, "note");
    const std::string name = dir.File("a.zip", built.Bytes);
    SetMTime(name, 1700000000);
    TZipReader r;
    r.SetZipName(name);
    r.OpenZip();
    // The file shrinks behind the reader's back, keeping its date.
    dir.File("a.zip", built.Bytes.substr(0, 20));
    SetMTime(name, 1700000000);
    EXPECT_THROW(r.GetEntryComment(0), EBadZipFile);
    EXPECT_THROW(r.GetZipComment(), EBadZipFile);
}

// Every truncation and a sweep of single-byte damage of a small archive, in every mode: each
// read ends in a result or one of the named exceptions, and where the outcome is certain it is
// the one expected.
TEST(TZipReader, DamagedArchivesEndInAResultOrANamedError) {
    test::TestDir dir;
    const TBuilt built = Build(kThree, "abc");
    const size_t size = built.Bytes.size();
    enum class TOutcome { Read, NotAZip, OtherZipError, ListError, StreamError, Unnamed };
    struct TResult {
        TOutcome Outcome = TOutcome::Unnamed;
        int Count = 0;
        bool Rebuilt = false;
    };
    int attempts = 0;
    auto attempt = [&](const std::string& Bytes, TIncompleteZipMode Mode) {
        // A fresh file each time: truncating one that was just read is slow on some systems.
        const std::string name = dir.File("d" + std::to_string(attempts++) + ".zip", Bytes);
        TZipReader r;
        r.SetIncompleteZipMode(Mode);
        r.SetZipName(name);
        TResult result;
        try {
            r.OpenZip();
            for (int i = 0; i < r.Count(); ++i) {
                r.GetEntryComment(i);
                r.GetEntryDateTime(i);
            }
            r.GetZipComment();
            result = {TOutcome::Read, r.Count(), r.Rebuilt()};
        } catch (const ENotAZipFile&) {
            result.Outcome = TOutcome::NotAZip;
        } catch (const EZipError&) {
            result.Outcome = TOutcome::OtherZipError;
        } catch (const EListError&) {
            result.Outcome = TOutcome::ListError;
        } catch (const EStreamError&) {
            result.Outcome = TOutcome::StreamError;
        } catch (...) {
            ADD_FAILURE() << "an exception of no named kind, " << Bytes.size() << " bytes";
        }
        return result;
    };
    const auto modes = {izAssumeMulti, izAssumeBad, izAssumeNotAZip};
    for (size_t n = 0; n <= size; ++n) {
        for (TIncompleteZipMode m : modes) {
            const TResult result = attempt(built.Bytes.substr(0, n), m);
            EXPECT_LE(result.Count, 3) << n;
            if (n == size) {
                EXPECT_EQ(result.Outcome, TOutcome::Read) << "whole archive, mode " << m;
                EXPECT_EQ(result.Count, 3);
                EXPECT_FALSE(result.Rebuilt);
            } else if (n <= static_cast<size_t>(built.CentralEnd) && n > 0) {
                // No end record at all: the mode decides. Cut just before or just after the
                // central directory, every local header is there to rebuild from.
                if (m == izAssumeNotAZip) EXPECT_EQ(result.Outcome, TOutcome::NotAZip) << n;
                if (m == izAssumeBad && (n == static_cast<size_t>(built.CentralOffset) ||
                                         n == static_cast<size_t>(built.CentralEnd))) {
                    EXPECT_EQ(result.Outcome, TOutcome::Read) << n;
                    EXPECT_TRUE(result.Rebuilt) << n;
                    EXPECT_EQ(result.Count, 3) << n;
                }
            }
        }
    }
    int noticed = 0;
    for (size_t at = 0; at < size; at += 3) {
        std::string bytes = built.Bytes;
        bytes[at] = static_cast<char>(bytes[at] ^ 0xFF);
        const TResult result = attempt(bytes, izAssumeBad);
        EXPECT_LE(result.Count, 3) << at;
        if (result.Outcome != TOutcome::Read || result.Rebuilt) ++noticed;
    }
    EXPECT_GT(noticed, 0) << "no damage made any difference";
}

}  // namespace
}  // namespace qm
