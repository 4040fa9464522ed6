// One item of the folder namespace: the Desktop, the virtual Computer node, a mounted file
// system, the Home folder, or a folder or file below one of them.
//
// An item is identified by its absolute ID list: the chain of relative IDs from the namespace's
// top down. The Desktop's list is empty; a relative ID is a file name, or for the nodes that are
// no file names a text holding "/" (which no file name can hold): kComputerId, kHomeId, and a
// mount point's root path below Computer.
#pragma once

#include <QString>
#include <QStringList>

#include <sys/types.h>

namespace qm {

using TShellIdList = QStringList;

inline const QString kComputerId = QStringLiteral("/computer");
inline const QString kHomeId = QStringLiteral("/home");
// The parsing name of the Computer node: deliberately no file system path.
inline const QString kComputerPath = QStringLiteral("computer:///");

enum TShellItemKind { ikDesktop, ikComputer, ikHome, ikMount, ikEntry };

// Where an item's storage lives, for the expand-button rule.
enum TShellMedia { smLocal, smRemote, smRemovable };

class TShellItem {
  public:
    TShellItem() = default;

    TShellItemKind Kind() const { return FKind; }
    const TShellIdList& AbsoluteId() const { return FAbsoluteId; }
    // The last ID of the list, relative to the parent.
    QString RelativeId() const { return FAbsoluteId.isEmpty() ? QString() : FAbsoluteId.last(); }
    // The path of the folder this item was listed in (empty for the top of the namespace).
    const QString& ParentPath() const { return FParentPath; }

    const QString& DisplayName() const { return FDisplayName; }
    // A file system path for file system items; kComputerPath for the Computer node.
    const QString& Path() const { return FPath; }

    bool IsDesktop() const { return FKind == ikDesktop; }
    bool IsFileSystem() const { return FKind != ikComputer; }
    bool IsFolder() const { return FIsFolder; }  // a file system folder
    bool IsFile() const { return IsFileSystem() && !FIsFolder; }
    bool IsVirtual() const { return FKind == ikDesktop || FKind == ikComputer; }

    bool HasSubFolder() const { return FHasSubFolder; }
    bool IsLink() const { return FIsLink; }
    bool IsShare() const { return false; }  // no shares on this platform
    bool CanRename() const { return FCanRename; }
    bool IsCompressed() const { return FIsCompressed; }
    bool IsHidden() const { return FIsHidden; }
    TShellMedia Media() const { return FMedia; }
    // Identity of the file system object (device, inode); 0/0 when unknown.
    dev_t Device() const { return FDevice; }
    ino_t Inode() const { return FInode; }

    // Indices into the controller's image list, computed when first asked.
    int ImageIndex() const;
    int OpenImageIndex() const;
    // 0 for a shared item, 1 for a link, -1 for none.
    int OverlayIndex() const { return IsShare() ? 0 : (FIsLink ? 1 : -1); }

    // Gives the item the identity of another name in the same folder (after a rename).
    void Rename(const QString& NewName);
    // Moves the item below a new parent identity (an ancestor was renamed).
    void Reparent(const TShellIdList& ParentId, const QString& ParentPath);

  private:
    friend class TCustomShellController;

    TShellItemKind FKind = ikEntry;
    TShellIdList FAbsoluteId;
    QString FParentPath;
    QString FDisplayName;
    QString FPath;
    bool FIsFolder = false;
    bool FHasSubFolder = false;
    bool FIsLink = false;
    bool FCanRename = false;
    bool FIsCompressed = false;
    bool FIsHidden = false;
    TShellMedia FMedia = smLocal;
    dev_t FDevice = 0;
    ino_t FInode = 0;
    mutable int FImageIndex = -2;
    mutable int FOpenImageIndex = -2;
};

}  // namespace qm
