// The main window's settings readers and writers, as functions over the settings file so that
// the window only moves values between these and its controls.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/UFileTypesListsSettings.h"

namespace qm {

// Every ";" replaced by ",".
std::string SemicolonsToCommas(const std::string& Text);

// The names of all file types lists, in file order (duplicates kept): the drop-down list's
// entries.
std::vector<std::string> LoadFileTypesListNames(const TProfileFile& Ini = AppsIni());

// The masks of the first list whose name equals ListName without regard to ASCII letter case,
// in their stored order (the list box sorts them): masks are separated by ";" and by spaces
// outside double quotes; a ";" at the end or two in a row give an empty mask. Empty when no
// list has that name.
std::vector<std::string> LoadFileMasks(const std::string& ListName,
                                       const TProfileFile& Ini = AppsIni());

struct TWindowPosition {
    int Left = 192;
    int Top = 103;
    bool operator==(const TWindowPosition&) const = default;
};

// "Left" and "Top" of the Window section, each falling back to Current's.
TWindowPosition ReadWindowPosition(const TWindowPosition& Current,
                                   const TProfileFile& Ini = AppsIni());

struct TLastSettings {
    std::string DirName;  // the tree's selected folder
    bool InclSubFolders = false;
    std::string FileTypeList;  // name of the selected list, empty when none
    std::string BackUpFile;    // the back-up file edit, as typed
    bool operator==(const TLastSettings&) const = default;
};

// The Last section. DirName falls back to empty; the other values to Current's (the controls'
// state at that moment).
TLastSettings ReadLastSettings(const TLastSettings& Current, const TProfileFile& Ini = AppsIni());

// The folder to select for a stored DirName: the stored one when it is an existing folder,
// otherwise the user's home folder (the program's own folder holds nothing to back up, and one
// click would back it up).
std::string StartFolderFor(const std::string& DirName);
// Whether a folder was stored that is no existing folder any more (the user is told).
bool StoredFolderIsGone(const std::string& DirName);

// The drop-down entry to select for a stored list name: the first entry equal to Stored
// without regard to ASCII letter case; Selected (the current selection, -1 for none) when
// Stored is not found; the first entry (or -1 when there are none) when Stored is empty.
int SelectStoredFileTypesList(const std::vector<std::string>& Entries, int Selected,
                              const std::string& Stored);

// Writes the Window section (only when Window is given: the window is in its normal state)
// and then the Last section, each erased and rewritten whole in one replacement of the file.
void SaveSettings(const std::optional<TWindowPosition>& Window, const TLastSettings& Last,
                  const TProfileFile& Ini = AppsIni());

}  // namespace qm
