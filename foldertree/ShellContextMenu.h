// The item menu of the folder tree. Command identifiers lie between 1 and 32,767; 19 is the
// rename command, which the tree answers by editing the node's caption.
#pragma once

#include <QPoint>

#include "foldertree/ShellItem.h"
#include "foldertree/ShellTreeOptions.h"

class QWidget;

namespace qm {

enum TShellCommand {
    scmNone = 0,
    scmOpen = 1,
    scmCopyPath = 2,
    scmNewFolder = 3,
    scmMoveToTrash = 4,
    scmOpenTerminal = 5,
    scmRename = 19,
};

class TShellContextMenu {
  public:
    // Extended adds the commands reserved for the extended menu (Shift held). The tree's top
    // item (IsTop) is its root property: it can be neither renamed nor thrown away.
    TShellContextMenu(const TShellItem& Item, TShellTreeOptions Options, bool Extended, bool IsTop);

    // Whether the menu offers Command for this item.
    bool Offers(TShellCommand Command) const;
    // Shows the menu at the global position; returns the command chosen, or scmNone.
    TShellCommand Exec(QWidget* Parent, const QPoint& GlobalPos) const;

  private:
    bool FCanOpen, FCanRename, FCanCreate, FCanTrash, FHasPath, FExtended;
};

}  // namespace qm
