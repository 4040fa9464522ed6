#include "foldertree/ShellItem.h"

#include "foldertree/CustomShellController.h"

namespace qm {

int TShellItem::ImageIndex() const {
    if (FImageIndex == -2) {
        switch (FKind) {
            case ikDesktop:
                FImageIndex = siDesktop;
                break;
            case ikComputer:
                FImageIndex = siComputer;
                break;
            case ikHome:
                FImageIndex = siHome;
                break;
            case ikMount:
                FImageIndex = FMedia == smRemote      ? siRemoteDrive
                              : FMedia == smRemovable ? siRemovableDrive
                                                      : siDrive;
                break;
            case ikEntry:
                FImageIndex = FIsFolder ? siFolder : siFile;
                break;
        }
    }
    return FImageIndex;
}

int TShellItem::OpenImageIndex() const {
    if (FOpenImageIndex == -2)
        FOpenImageIndex = FKind == ikEntry && FIsFolder ? int(siFolderOpen) : ImageIndex();
    return FOpenImageIndex;
}

void TShellItem::Rename(const QString& NewName) {
    if (FAbsoluteId.isEmpty()) return;
    FAbsoluteId.last() = NewName;
    FDisplayName = NewName;
    FPath = JoinPath(FParentPath, NewName);
    FIsHidden = NewName.startsWith(QLatin1Char('.'));
}

void TShellItem::Reparent(const TShellIdList& ParentId, const QString& ParentPath) {
    QString name = RelativeId();
    FAbsoluteId = ParentId;
    FAbsoluteId.append(name);
    FParentPath = ParentPath;
    FPath = JoinPath(ParentPath, name);
}

}  // namespace qm
