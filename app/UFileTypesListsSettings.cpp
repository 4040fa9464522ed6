#include "app/UFileTypesListsSettings.h"

#include "app/UQMApps.h"
#include "platform/CommaText.h"

namespace qm {

TProfileFile AppsIni() {
    return TProfileFile(AppsIniFileName);
}

std::string FileTypesListsSection() {
    return GetTitleStem(AppTitle) + " FileTypesLists";
}
std::string WindowSection() {
    return GetTitleStem(AppTitle) + " Window";
}
std::string LastSection() {
    return GetTitleStem(AppTitle) + " Last";
}

void ReadFileTypesListRecords(const TProfileFile& Ini,
                              const std::function<bool(const TFileTypesList&)>& Reader) {
    const std::string section = FileTypesListsSection();
    for (int n = 1;; ++n) {
        std::vector<std::string> fields =
            ReadCommaText(Ini.ReadString(section, "Item" + std::to_string(n), ""));
        if (fields.size() != 2) return;
        if (!Reader(TFileTypesList{fields[0], fields[1]})) return;
    }
}

std::vector<TFileTypesList> ReadFileTypesLists(const TProfileFile& Ini) {
    std::vector<TFileTypesList> lists;
    ReadFileTypesListRecords(Ini, [&](const TFileTypesList& List) {
        lists.push_back(List);
        return true;
    });
    return lists;
}

std::vector<int> ReadFileTypesListsColumnWidths(const std::vector<int>& Current,
                                                const TProfileFile& Ini) {
    std::vector<int> widths;
    const std::string section = FileTypesListsSection();
    for (size_t i = 0; i < Current.size(); ++i) {
        int width = Ini.ReadInteger(section, "Width" + std::to_string(i), Current[i]);
        widths.push_back(width >= 0 ? width : Current[i]);
    }
    return widths;
}

void WriteFileTypesListsSection(const std::vector<int>& Widths,
                                const std::vector<TFileTypesList>& Lists, const TProfileFile& Ini) {
    std::vector<TProfileEntry> entries;
    for (size_t i = 0; i < Widths.size(); ++i)
        entries.emplace_back("Width" + std::to_string(i), std::to_string(Widths[i]));
    for (size_t i = 0; i < Lists.size(); ++i)
        entries.emplace_back("Item" + std::to_string(i + 1),
                             WriteCommaText({Lists[i].Name, Lists[i].Masks}));
    Ini.ReplaceSection(FileTypesListsSection(), entries);
}

}  // namespace qm
