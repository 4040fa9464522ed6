// The kinds of namespace change the tree reacts to and reports through OnShellChangeNotify.
#pragma once

namespace qm {

enum TShellChange {
    scCreateFolder,
    scRemoveFolder,
    scCreateFile,
    scDeleteFile,
    scRenameFolder,
    scRenameFile,
    scDriveAdd,
    scDriveRemove,
    scUpdateItem,  // attributes, icon or caption of an existing item
};

}  // namespace qm
