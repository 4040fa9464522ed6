#include "app/UFormMainSettings.h"

#include <QDir>
#include <algorithm>

#include "platform/CommaText.h"
#include "platform/FileOps.h"

namespace qm {

std::string SemicolonsToCommas(const std::string& Text) {
    std::string out = Text;
    std::replace(out.begin(), out.end(), ';', ',');
    return out;
}

std::vector<std::string> LoadFileTypesListNames(const TProfileFile& Ini) {
    std::vector<std::string> names;
    ReadFileTypesListRecords(Ini, [&](const TFileTypesList& List) {
        names.push_back(List.Name);
        return true;
    });
    return names;
}

std::vector<std::string> LoadFileMasks(const std::string& ListName, const TProfileFile& Ini) {
    std::vector<std::string> masks;
    ReadFileTypesListRecords(Ini, [&](const TFileTypesList& List) {
        if (!SameTextAscii(List.Name, ListName)) return true;
        masks = ReadCommaText(SemicolonsToCommas(List.Masks));
        return false;
    });
    return masks;
}

TWindowPosition ReadWindowPosition(const TWindowPosition& Current, const TProfileFile& Ini) {
    const std::string section = WindowSection();
    TWindowPosition position;
    position.Left = Ini.ReadInteger(section, "Left", Current.Left);
    position.Top = Ini.ReadInteger(section, "Top", Current.Top);
    return position;
}

TLastSettings ReadLastSettings(const TLastSettings& Current, const TProfileFile& Ini) {
    const std::string section = LastSection();
    TLastSettings last;
    last.DirName = Ini.ReadString(section, "DirName", "");
    last.InclSubFolders = Ini.ReadBool(section, "InclSubFolders", Current.InclSubFolders);
    last.FileTypeList = Ini.ReadString(section, "FileTypeList", Current.FileTypeList);
    last.BackUpFile = Ini.ReadString(section, "BackUpFile", Current.BackUpFile);
    return last;
}

std::string StartFolderFor(const std::string& DirName) {
    if (!DirName.empty() && DirectoryExists(DirName)) return DirName;
    return QDir::homePath().toStdString();
}

bool StoredFolderIsGone(const std::string& DirName) {
    return !DirName.empty() && !DirectoryExists(DirName);
}

int SelectStoredFileTypesList(const std::vector<std::string>& Entries, int Selected,
                              const std::string& Stored) {
    if (Stored.empty()) return Entries.empty() ? -1 : 0;
    for (size_t i = 0; i < Entries.size(); ++i)
        if (SameTextAscii(Entries[i], Stored)) return static_cast<int>(i);
    return Selected;
}

void SaveSettings(const std::optional<TWindowPosition>& Window, const TLastSettings& Last,
                  const TProfileFile& Ini) {
    if (Window)
        Ini.ReplaceSection(WindowSection(), {{"Left", std::to_string(Window->Left)},
                                             {"Top", std::to_string(Window->Top)}});
    Ini.ReplaceSection(LastSection(), {{"DirName", Last.DirName},
                                       {"InclSubFolders", Last.InclSubFolders ? "1" : "0"},
                                       {"FileTypeList", Last.FileTypeList},
                                       {"BackUpFile", Last.BackUpFile}});
}

}  // namespace qm
