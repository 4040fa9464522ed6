// The check a new archive passes before it takes its name: it is read back from its file as a
// restore would read it, by code that shares nothing with the writer. The records are parsed
// here afresh (not by zip/format), every entry's data is decoded by zlib's inflate (not by our
// compressor's counterpart), and the CRC-32 is zlib's. A fault in the writer's records, in the
// compressor or in the medium thus shows before the old back-up is given up, not on the day of
// the restore.
//
// What is checked:
//  - the end record (and the Zip64 end record with its locator, when present) and that the
//    central directory fills exactly the bytes between its offset and the end record;
//  - every central record: its signature, and that the records fill the directory exactly;
//  - every local header: its signature, and that it agrees with the central record (version
//    needed, flags, method, date-time, name, and CRC-32 and sizes unless they follow the data);
//  - entries lie inside the file, before the central directory, and do not overlap;
//  - every entry's data: stored data as it is, deflated data inflated to its end, which must
//    come exactly at the compressed size; the CRC-32 and size of the result equal the records'.
// Volume sets are not checked here (their entries lie in other files).
#pragma once

#include <string>

namespace qm {

// Empty when the archive FileName reads back whole; otherwise why not, naming the entry when
// one is at fault ("docs/a.txt: CRC-32 does not match"). The entries' data is decoded on up to
// Threads threads; the answer is the same for any count. Never raises.
std::string CheckArchiveFile(const std::string& FileName, int Threads = 1);

}  // namespace qm
