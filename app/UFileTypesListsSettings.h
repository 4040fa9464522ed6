// The FileTypesLists section of the settings file: the lists dialog's column widths
// ("Width0", "Width1") and the file types lists, one comma-text record (name, masks) per key
// "Item1", "Item2", ... numbered without gaps.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/ProfileFile.h"

namespace qm {

struct TFileTypesList {
    std::string Name;
    std::string Masks;  // as typed, separated by ";"
    bool operator==(const TFileTypesList&) const = default;
};

// The settings file of this process (AppsIniFileName).
TProfileFile AppsIni();

// GetTitleStem(AppTitle) followed by " FileTypesLists", " Window" and " Last".
std::string FileTypesListsSection();
std::string WindowSection();
std::string LastSection();

// Hands the records "Item1", "Item2", ... to Reader in order, stopping at the first key that
// does not read as exactly two fields (a missing key reads as none), or when Reader returns
// false. A record after a gap or a damaged record is never read.
void ReadFileTypesListRecords(const TProfileFile& Ini,
                              const std::function<bool(const TFileTypesList&)>& Reader);

// All the lists, in file order.
std::vector<TFileTypesList> ReadFileTypesLists(const TProfileFile& Ini = AppsIni());

// The widths of the lists dialog's columns, Current[i] where "Width" + i is missing, invalid or
// negative.
std::vector<int> ReadFileTypesListsColumnWidths(const std::vector<int>& Current,
                                                const TProfileFile& Ini = AppsIni());

// Erases the section and writes the widths and then the lists as "Item1" onwards, in one
// replacement of the file (a failure leaves the old section).
void WriteFileTypesListsSection(const std::vector<int>& Widths,
                                const std::vector<TFileTypesList>& Lists,
                                const TProfileFile& Ini = AppsIni());

}  // namespace qm
