#include "foldertree/SpecialFolder.h"

#include <array>

namespace qm {

int SpecialFolderCsidl(TSpecialFolder Folder) {
    static constexpr std::array<int, sfTemplates + 1> kCsidl = {
        29, 26, 10, 30, 25, 31, 23, 22, 24, 49, 3, 33, 0, 16, 17, 6,
        20, 34, 1,  32, 19, 18, 0,  5,  4,  27, 2, 8,  9, 11, 7,  21,
    };
    return kCsidl[Folder];
}

}  // namespace qm
