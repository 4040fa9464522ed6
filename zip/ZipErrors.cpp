#include "zip/ZipErrors.h"

namespace qm {

namespace {

struct TMessage {
    int Id;
    const char* Text;
};

constexpr TMessage kMessages[] = {
    {sidOpenZipTitle, "Open a Zip File"},
    {sidOpenZipFilter,
     "Zip Files (*.ZIP)|*.zip|SFX Files (*.EXE)|*.exe|Jar Files (*.JAR)|*.jar|All Files "
     "(*.*)|*.*"},
    {sidCanceledDestDir, "User canceled Set Desination Directory"},
    {sidIndexOutOfRange, "Index %d is out of range"},
    {sidUserAborted, "User Aborted Operation"},
    {sidIncompleteZip, "Incomplete Zip File"},
    {sidNotAValidZip, "Not a valid zip file!"},
    {sidInsertDisk, "Please insert disk "},
    {sidOfMultiDiskSet, " of the multi-disk set."},
    {sidCanceledZipName, "User canceled setting zip file name."},
    {sidCanceledZipOp, "User canceled Zip operation"},
    {sidNotEnoughRoom, "Not enough room to write archive"},
    {sidCannotCreateZfc, "Unable to create Zip Configuration File to disk"},
    {sidCannotSaveZfc, "Unable to save Zip Configuration File to disk"},
};

}  // namespace

std::string ZipMessage(int Id) {
    for (const TMessage& m : kMessages)
        if (m.Id == Id) return m.Text;
    return {};
}

void RaiseIndexOutOfRange(long long Index) {
    throw EListError(FormatMessage(ZipMessage(sidIndexOutOfRange), Index));
}

}  // namespace qm
