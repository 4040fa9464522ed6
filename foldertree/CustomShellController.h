// The part shared by the shell controls: the namespace itself (its top, its special folders,
// listing a folder, display and parsing names, sibling order) and the image list of item icons.
//
// The namespace operations read only the file system and the environment, so worker threads
// may call them at the same time as the GUI thread; the image list belongs to the GUI thread.
// A derived controller may stand in for the file system (a test or a benchmark can make
// listings slow).
#pragma once

#include <QIcon>
#include <QList>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

#include "foldertree/ShellItem.h"
#include "foldertree/SpecialFolder.h"

class QCollator;

namespace qm {

// What a listing includes.
struct TEnumFlags {
    bool NonFolders = false;     // files besides folders
    bool IncludeHidden = false;  // names beginning with "."
    bool Compression = false;    // read the compressed attribute
};

// A mounted file system as the Computer node lists it.
struct TMountPoint {
    QString RootPath;
    QString Type;
    TShellMedia Media = smLocal;
};

// Positions in the image list.
enum TShellImage {
    siFolder,
    siFolderOpen,
    siFile,
    siDrive,
    siRemoteDrive,
    siRemovableDrive,
    siComputer,
    siDesktop,
    siHome,
    siImageCount
};

class TCustomShellController {
  public:
    virtual ~TCustomShellController() = default;

    // The controller every tree uses unless given another; shared and never destroyed.
    static std::shared_ptr<TCustomShellController> Default();

    // The user's desktop folder when it exists, else the home folder.
    QString DesktopPath() const;
    QString HomePath() const;

    // The item of an ID list, read from the file system; none when it does not resolve.
    std::optional<TShellItem> ItemOf(const TShellIdList& Id, const TEnumFlags& Flags) const;
    // The ID list of a special folder; none when it has no folder here.
    std::optional<TShellIdList> SpecialFolderLocation(TSpecialFolder Folder,
                                                      const TShellItem* Root = nullptr) const;
    // The ID list of an existing absolute path (or kComputerPath), as seen from the namespace
    // top; none when it does not resolve. Root (when given) is the top of the tree doing the
    // asking: a path below a file system root is expressed through the root's own list.
    std::optional<TShellIdList> ParseDisplayName(const QString& Path,
                                                 const TShellItem* Root = nullptr) const;

    // The children of a folder item, in sibling order; none when the folder cannot be read.
    std::optional<std::vector<TShellItem>> EnumObjects(const TShellItem& Folder,
                                                       const TEnumFlags& Flags) const;

    // Sibling order: virtual nodes first (Computer, then Home), then folders, then files, each
    // by name in the locale's order without regard to case, ties by the name's code units.
    static int CompareIDs(const TShellItem& A, const TShellItem& B, const QCollator& Collator);
    // A collator set up for CompareIDs; one per thread.
    static QCollator MakeCollator();

    // The file systems mounted now, "/" first, pseudo file systems left out.
    virtual std::vector<TMountPoint> MountPoints() const;

    // The image list (GUI thread only). Overlay -1 gives the plain image.
    QIcon SmallImage(int Index, int Overlay = -1) const;

  protected:
    // The raw directory listing of Path (names without "." and ".."); none when it cannot be
    // opened. Derived controllers may slow it down or fake it.
    virtual std::optional<QStringList> ReadFolder(const QString& Path) const;
    // Whether a folder holds anything a listing with Flags would show.
    virtual bool HasShownContent(const QString& Path, const TEnumFlags& Flags) const;

  private:
    std::optional<TShellItem> EntryItem(const TShellIdList& ParentId, const QString& ParentPath,
                                        const QString& Name, const TEnumFlags& Flags,
                                        bool ParentWritable,
                                        const std::vector<TMountPoint>& Mounts) const;
    TShellItem ComputerItem() const;
    TShellItem HomeItem(const TEnumFlags& Flags) const;
    TShellItem MountItem(const TMountPoint& Mount, const TEnumFlags& Flags) const;
    QString PathOf(const TShellIdList& Id) const;

    mutable QList<QIcon> FImages;
    mutable QList<QIcon> FLinkImages;
};

// Parent + "/" + Name, without doubling the "/" of the file system root.
QString JoinPath(const QString& Parent, const QString& Name);

}  // namespace qm
