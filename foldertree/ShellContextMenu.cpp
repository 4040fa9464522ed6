#include "foldertree/ShellContextMenu.h"

#include <QMenu>

namespace qm {

TShellContextMenu::TShellContextMenu(const TShellItem& Item, TShellTreeOptions Options,
                                     bool Extended, bool IsTop) {
    bool plain = Item.Kind() == ikEntry && !IsTop;
    FCanOpen = Item.IsFileSystem();
    FCanRename = Options.Has(toAllowRename) && Item.CanRename() && !Item.IsDesktop() && !IsTop;
    FCanCreate = Item.IsFileSystem() && Item.IsFolder();
    FCanTrash = plain && Item.CanRename();
    FHasPath = !Item.Path().isEmpty();
    FExtended = Extended && Options.Has(toExtendedMenu) && FCanCreate;
}

bool TShellContextMenu::Offers(TShellCommand Command) const {
    switch (Command) {
        case scmOpen:
            return FCanOpen;
        case scmRename:
            return FCanRename;
        case scmCopyPath:
            return FHasPath;
        case scmNewFolder:
            return FCanCreate;
        case scmMoveToTrash:
            return FCanTrash;
        case scmOpenTerminal:
            return FExtended;
        case scmNone:
            return false;
    }
    return false;
}

TShellCommand TShellContextMenu::Exec(QWidget* Parent, const QPoint& GlobalPos) const {
    QMenu menu(Parent);
    auto add = [&](TShellCommand command, const QString& caption) {
        if (!Offers(command)) return;
        QAction* action = menu.addAction(caption);
        action->setData(int(command));
    };
    add(scmOpen, QStringLiteral("&Open"));
    add(scmOpenTerminal, QStringLiteral("Open in &Terminal"));
    menu.addSeparator();
    add(scmNewFolder, QStringLiteral("&New Folder"));
    add(scmRename, QStringLiteral("Rena&me"));
    add(scmCopyPath, QStringLiteral("Copy &Path"));
    menu.addSeparator();
    add(scmMoveToTrash, QStringLiteral("Move to T&rash"));
    if (menu.actions().isEmpty()) return scmNone;
    QAction* chosen = menu.exec(GlobalPos);
    return chosen ? TShellCommand(chosen->data().toInt()) : scmNone;
}

}  // namespace qm
