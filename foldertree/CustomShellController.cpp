#include "foldertree/CustomShellController.h"

#include <QApplication>
#include <QCollator>
#include <QDir>
#include <QFile>
#include <QFileIconProvider>
#include <QPainter>
#include <QPixmap>
#include <QStandardPaths>
#include <QStyle>

#include <algorithm>

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qm {
namespace {

bool IsBelow(const QString& Path, const QString& Folder) {
    if (Folder == QLatin1String("/")) return Path.startsWith(QLatin1Char('/'));
    return Path == Folder || Path.startsWith(Folder + QLatin1Char('/'));
}

// The segments of Path below Folder (Path must be below Folder).
QStringList SegmentsBelow(const QString& Path, const QString& Folder) {
    QString rest = Path.mid(Folder.size());
    return rest.split(QLatin1Char('/'), Qt::SkipEmptyParts);
}

// /proc/self/mounts escapes blanks and backslashes as three octal digits.
QString UnescapeMountField(const QByteArray& Field) {
    QByteArray out;
    for (qsizetype i = 0; i < Field.size(); ++i) {
        if (Field[i] == '\\' && i + 3 < Field.size()) {
            bool ok = false;
            int value = Field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok) {
                out.append(char(value));
                i += 3;
                continue;
            }
        }
        out.append(Field[i]);
    }
    return QFile::decodeName(out);
}

bool IsPseudoMount(const QString& Root, const QString& Type) {
    static const QStringList kPseudoTypes = {
        "proc",      "sysfs",    "devtmpfs",  "devpts",  "cgroup",      "cgroup2",
        "pstore",    "bpf",      "debugfs",   "tracefs", "securityfs",  "mqueue",
        "hugetlbfs", "configfs", "fusectl",   "autofs",  "binfmt_misc", "rpc_pipefs",
        "nsfs",      "efivarfs", "selinuxfs", "ramfs"};
    if (kPseudoTypes.contains(Type)) return true;
    for (const char* top : {"/proc", "/sys", "/dev"})
        if (IsBelow(Root, QLatin1String(top))) return true;
    return IsBelow(Root, QStringLiteral("/run")) && !IsBelow(Root, QStringLiteral("/run/media"));
}

TShellMedia MediaOfMount(const QString& Root, const QString& Type) {
    static const QStringList kRemoteTypes = {"nfs",   "nfs4",      "cifs",   "smb3", "smbfs",
                                             "sshfs", "ncpfs",     "afs",    "9p",   "davfs",
                                             "ceph",  "glusterfs", "lustre", "coda"};
    if (kRemoteTypes.contains(Type) || Type.startsWith(QLatin1String("fuse"))) return smRemote;
    if (IsBelow(Root, QStringLiteral("/media")) || IsBelow(Root, QStringLiteral("/run/media")))
        return smRemovable;
    return smLocal;
}

const TMountPoint* MountOf(const QString& Path, const std::vector<TMountPoint>& Mounts) {
    const TMountPoint* best = nullptr;
    for (const TMountPoint& mount : Mounts)
        if (IsBelow(Path, mount.RootPath) &&
            (!best || mount.RootPath.size() > best->RootPath.size()))
            best = &mount;
    return best;
}

bool ReadCompressedFlag(const QByteArray& Path) {
    int fd = ::open(Path.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    int flags = 0;
    bool compressed = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_COMPR_FL) != 0;
    ::close(fd);
    return compressed;
}

bool IsDirectory(const QByteArray& Path) {
    struct stat st {};
    return ::stat(Path.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Rank in sibling order.
int RankOf(const TShellItem& Item) {
    switch (Item.Kind()) {
        case ikDesktop:
            return 0;
        case ikComputer:
            return 1;
        case ikHome:
            return 2;
        case ikMount:
            return 3;
        case ikEntry:
            return Item.IsFolder() ? 4 : 5;
    }
    return 6;
}

QIcon WithLinkOverlay(const QIcon& Base) {
    QIcon result;
    for (int size : {16, 22, 32}) {
        QPixmap pixmap = Base.pixmap(size, size);
        if (pixmap.isNull()) continue;
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        int box = std::max(7, size / 2);
        QRectF rect(0.5, size - box - 0.5, box, box);
        painter.setPen(QPen(Qt::black, 1));
        painter.setBrush(Qt::white);
        painter.drawRect(rect);
        // A small arrow pointing up and to the right.
        QPointF from(rect.left() + box * 0.25, rect.bottom() - box * 0.25);
        QPointF to(rect.right() - box * 0.25, rect.top() + box * 0.25);
        painter.setPen(QPen(Qt::black, std::max(1.0, box / 7.0)));
        painter.drawLine(from, to);
        painter.drawLine(to, QPointF(to.x() - box * 0.35, to.y()));
        painter.drawLine(to, QPointF(to.x(), to.y() + box * 0.35));
        painter.end();
        result.addPixmap(pixmap);
    }
    return result;
}

}  // namespace

QString JoinPath(const QString& Parent, const QString& Name) {
    if (Parent.endsWith(QLatin1Char('/'))) return Parent + Name;
    return Parent + QLatin1Char('/') + Name;
}

std::shared_ptr<TCustomShellController> TCustomShellController::Default() {
    // Deliberately leaked: the image list is shared by every tree for the life of the process.
    static auto* controller =
        new std::shared_ptr<TCustomShellController>(std::make_shared<TCustomShellController>());
    return *controller;
}

QString TCustomShellController::HomePath() const {
    return QDir::cleanPath(QDir::homePath());
}

QString TCustomShellController::DesktopPath() const {
    QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (!desktop.isEmpty() && IsDirectory(QFile::encodeName(desktop)))
        return QDir::cleanPath(desktop);
    return HomePath();
}

std::vector<TMountPoint> TCustomShellController::MountPoints() const {
    std::vector<TMountPoint> mounts;
    QFile table(QStringLiteral("/proc/self/mounts"));
    if (!table.open(QIODevice::ReadOnly)) {
        mounts.push_back({QStringLiteral("/"), QString(), smLocal});
        return mounts;
    }
    // Reading the table never touches the file systems themselves, so a hung network mount
    // cannot block here.
    for (const QByteArray& line : table.readAll().split('\n')) {
        QList<QByteArray> fields = line.split(' ');
        if (fields.size() < 3) continue;
        QString root = QDir::cleanPath(UnescapeMountField(fields[1]));
        QString type = QString::fromLatin1(fields[2]);
        if (IsPseudoMount(root, type)) continue;
        auto same = std::find_if(mounts.begin(), mounts.end(),
                                 [&](const TMountPoint& m) { return m.RootPath == root; });
        TMountPoint mount{root, type, MediaOfMount(root, type)};
        if (same != mounts.end())
            *same = mount;  // mounted over: the last one is what is seen
        else
            mounts.push_back(mount);
    }
    // Bind mounts of single files are no file systems to browse.
    std::erase_if(mounts, [](const TMountPoint& m) {
        return m.Media == smLocal && !IsDirectory(QFile::encodeName(m.RootPath));
    });
    std::sort(mounts.begin(), mounts.end(), [](const TMountPoint& a, const TMountPoint& b) {
        if ((a.RootPath == QLatin1String("/")) != (b.RootPath == QLatin1String("/")))
            return a.RootPath == QLatin1String("/");
        return a.RootPath < b.RootPath;
    });
    if (mounts.empty() || mounts.front().RootPath != QLatin1String("/"))
        mounts.insert(mounts.begin(), {QStringLiteral("/"), QString(), smLocal});
    return mounts;
}

TShellItem TCustomShellController::ComputerItem() const {
    TShellItem item;
    item.FKind = ikComputer;
    item.FAbsoluteId = {kComputerId};
    item.FDisplayName = QStringLiteral("Computer");
    item.FPath = kComputerPath;
    item.FIsFolder = false;
    item.FHasSubFolder = true;
    return item;
}

TShellItem TCustomShellController::HomeItem(const TEnumFlags& Flags) const {
    TShellItem item;
    item.FKind = ikHome;
    item.FAbsoluteId = {kHomeId};
    item.FDisplayName = QStringLiteral("Home");
    item.FPath = HomePath();
    item.FIsFolder = true;
    item.FHasSubFolder = HasShownContent(item.FPath, Flags);
    struct stat st {};
    if (::stat(QFile::encodeName(item.FPath).constData(), &st) == 0) {
        item.FDevice = st.st_dev;
        item.FInode = st.st_ino;
    }
    return item;
}

TShellItem TCustomShellController::MountItem(const TMountPoint& Mount, const TEnumFlags&) const {
    TShellItem item;
    item.FKind = ikMount;
    item.FAbsoluteId = {kComputerId, Mount.RootPath};
    item.FParentPath = kComputerPath;
    item.FDisplayName =
        Mount.RootPath == QLatin1String("/") ? QStringLiteral("File System") : Mount.RootPath;
    item.FPath = Mount.RootPath;
    item.FIsFolder = true;
    item.FMedia = Mount.Media;
    // A drive gets its expand button without a look, so that a slow mount is not touched
    // before the user asks for it.
    item.FHasSubFolder = true;
    return item;
}

std::optional<TShellItem> TCustomShellController::EntryItem(
    const TShellIdList& ParentId, const QString& ParentPath, const QString& Name,
    const TEnumFlags& Flags, bool ParentWritable, const std::vector<TMountPoint>& Mounts) const {
    TShellItem item;
    item.FKind = ikEntry;
    item.FAbsoluteId = ParentId;
    item.FAbsoluteId.append(Name);
    item.FParentPath = ParentPath;
    item.FDisplayName = Name;
    item.FPath = JoinPath(ParentPath, Name);
    item.FIsHidden = Name.startsWith(QLatin1Char('.'));
    QByteArray native = QFile::encodeName(item.FPath);
    struct stat st {};
    if (::lstat(native.constData(), &st) != 0) return std::nullopt;
    item.FDevice = st.st_dev;
    item.FInode = st.st_ino;
    item.FIsLink = S_ISLNK(st.st_mode);
    mode_t mode = st.st_mode;
    if (item.FIsLink) {
        struct stat target {};
        mode = ::stat(native.constData(), &target) == 0 ? target.st_mode : S_IFREG;
    }
    item.FIsFolder = S_ISDIR(mode);
    item.FCanRename = ParentWritable;
    const TMountPoint* mount = MountOf(item.FPath, Mounts);
    item.FMedia = mount ? mount->Media : smLocal;
    if (item.FIsFolder)
        item.FHasSubFolder = item.FMedia != smLocal || HasShownContent(item.FPath, Flags);
    if (Flags.Compression && !item.FIsLink) item.FIsCompressed = ReadCompressedFlag(native);
    return item;
}

QString TCustomShellController::PathOf(const TShellIdList& Id) const {
    if (Id.isEmpty()) return DesktopPath();
    if (Id.first() == kComputerId) {
        if (Id.size() == 1) return kComputerPath;
        QString path = Id[1];
        for (qsizetype i = 2; i < Id.size(); ++i) path = JoinPath(path, Id[i]);
        return path;
    }
    qsizetype first = 0;
    QString path = DesktopPath();
    if (Id.first() == kHomeId) {
        path = HomePath();
        first = 1;
    }
    for (qsizetype i = first; i < Id.size(); ++i) path = JoinPath(path, Id[i]);
    return path;
}

std::optional<TShellItem> TCustomShellController::ItemOf(const TShellIdList& Id,
                                                         const TEnumFlags& Flags) const {
    if (Id.isEmpty()) {
        TShellItem item;
        item.FKind = ikDesktop;
        item.FDisplayName = QStringLiteral("Desktop");
        item.FPath = DesktopPath();
        item.FIsFolder = true;
        item.FHasSubFolder = true;
        return item;
    }
    if (Id == TShellIdList{kComputerId}) return ComputerItem();
    if (Id == TShellIdList{kHomeId}) return HomeItem(Flags);
    std::vector<TMountPoint> mounts = MountPoints();
    if (Id.size() == 2 && Id.first() == kComputerId) {
        const TMountPoint* mount = MountOf(Id[1], mounts);
        if (!mount || mount->RootPath != Id[1]) return std::nullopt;
        return MountItem(*mount, Flags);
    }
    TShellIdList parentId = Id.mid(0, Id.size() - 1);
    QString parentPath = PathOf(parentId);
    bool writable = ::access(QFile::encodeName(parentPath).constData(), W_OK | X_OK) == 0;
    return EntryItem(parentId, parentPath, Id.last(), Flags, writable, mounts);
}

std::optional<TShellIdList> TCustomShellController::ParseDisplayName(const QString& Path,
                                                                     const TShellItem* Root) const {
    if (Path == kComputerPath) return TShellIdList{kComputerId};
    if (!Path.startsWith(QLatin1Char('/'))) return std::nullopt;
    QString clean = QDir::cleanPath(Path);
    struct stat st {};
    if (::lstat(QFile::encodeName(clean).constData(), &st) != 0) return std::nullopt;

    if (Root && (Root->Kind() == ikHome || Root->Kind() == ikMount || Root->Kind() == ikEntry) &&
        IsBelow(clean, Root->Path())) {
        TShellIdList id = Root->AbsoluteId();
        id.append(SegmentsBelow(clean, Root->Path()));
        return id;
    }
    bool viaComputer = Root && Root->Kind() == ikComputer;
    if (!viaComputer) {
        QString home = HomePath();
        QString desktop = DesktopPath();
        if (desktop != home && IsBelow(clean, desktop)) return SegmentsBelow(clean, desktop);
        if (IsBelow(clean, home)) {
            TShellIdList id{kHomeId};
            id.append(SegmentsBelow(clean, home));
            return id;
        }
    }
    std::vector<TMountPoint> mounts = MountPoints();
    const TMountPoint* mount = MountOf(clean, mounts);
    if (!mount) return std::nullopt;
    TShellIdList id{kComputerId, mount->RootPath};
    id.append(SegmentsBelow(clean, mount->RootPath));
    return id;
}

std::optional<TShellIdList> TCustomShellController::SpecialFolderLocation(
    TSpecialFolder Folder, const TShellItem* Root) const {
    auto location = [](QStandardPaths::StandardLocation type, const char* below = nullptr) {
        QString path = QStandardPaths::writableLocation(type);
        if (!path.isEmpty() && below) path = JoinPath(path, QLatin1String(below));
        return path;
    };
    QString path;
    switch (Folder) {
        case sfDesktop:
            return TShellIdList{};
        case sfDrives:
            return TShellIdList{kComputerId};
        case sfDesktopDir:
            path = location(QStandardPaths::DesktopLocation);
            break;
        case sfPersonal:
            path = location(QStandardPaths::DocumentsLocation);
            break;
        case sfAppData:
            path = location(QStandardPaths::GenericConfigLocation);
            break;
        case sfInternetCache:
            path = location(QStandardPaths::GenericCacheLocation);
            break;
        case sfFonts:
            path = location(QStandardPaths::GenericDataLocation, "fonts");
            break;
        case sfBitBucket:
            path = location(QStandardPaths::GenericDataLocation, "Trash/files");
            break;
        case sfPrograms:
        case sfStartMenu:
            path = location(QStandardPaths::GenericDataLocation, "applications");
            break;
        case sfStartup:
            path = location(QStandardPaths::GenericConfigLocation, "autostart");
            break;
        case sfCommonPrograms:
        case sfCommonStartMenu:
            path = QStringLiteral("/usr/share/applications");
            break;
        case sfCommonStartup:
            path = QStringLiteral("/etc/xdg/autostart");
            break;
        default:
            return std::nullopt;
    }
    if (path.isEmpty() || !IsDirectory(QFile::encodeName(path))) return std::nullopt;
    return ParseDisplayName(path, Root);
}

std::optional<QStringList> TCustomShellController::ReadFolder(const QString& Path) const {
    DIR* dir = ::opendir(QFile::encodeName(Path).constData());
    if (!dir) return std::nullopt;
    QStringList names;
    while (dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
        names.append(QFile::decodeName(name));
    }
    ::closedir(dir);
    return names;
}

bool TCustomShellController::HasShownContent(const QString& Path, const TEnumFlags& Flags) const {
    QByteArray native = QFile::encodeName(Path);
    DIR* dir = ::opendir(native.constData());
    if (!dir) return false;
    bool found = false;
    while (!found) {
        dirent* entry = ::readdir(dir);
        if (!entry) break;
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
        if (name[0] == '.' && !Flags.IncludeHidden) continue;
        if (Flags.NonFolders || entry->d_type == DT_DIR)
            found = true;
        else if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN)
            found = IsDirectory(native + '/' + name);
    }
    ::closedir(dir);
    return found;
}

std::optional<std::vector<TShellItem>> TCustomShellController::EnumObjects(
    const TShellItem& Folder, const TEnumFlags& Flags) const {
    std::vector<TShellItem> children;
    if (Folder.Kind() == ikComputer) {
        for (const TMountPoint& mount : MountPoints()) children.push_back(MountItem(mount, Flags));
        return children;
    }
    QString folderPath = Folder.Path();
    if (Folder.Kind() == ikDesktop) {
        children.push_back(ComputerItem());
        children.push_back(HomeItem(Flags));
        // Without a desktop folder of its own the Desktop would only repeat Home.
        if (folderPath == HomePath()) return children;
    } else if (!Folder.IsFolder()) {
        return std::nullopt;
    }
    std::optional<QStringList> names = ReadFolder(folderPath);
    if (!names) {
        if (Folder.Kind() == ikDesktop) return children;
        return std::nullopt;
    }
    std::vector<TMountPoint> mounts = MountPoints();
    bool writable = ::access(QFile::encodeName(folderPath).constData(), W_OK | X_OK) == 0;
    children.reserve(children.size() + names->size());
    for (const QString& name : *names) {
        if (!Flags.IncludeHidden && name.startsWith(QLatin1Char('.'))) continue;
        std::optional<TShellItem> item =
            EntryItem(Folder.AbsoluteId(), folderPath, name, Flags, writable, mounts);
        if (!item || (!item->IsFolder() && !Flags.NonFolders)) continue;
        children.push_back(std::move(*item));
    }
    QCollator collator = MakeCollator();
    std::sort(children.begin(), children.end(), [&](const TShellItem& a, const TShellItem& b) {
        return CompareIDs(a, b, collator) < 0;
    });
    return children;
}

QCollator TCustomShellController::MakeCollator() {
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

int TCustomShellController::CompareIDs(const TShellItem& A, const TShellItem& B,
                                       const QCollator& Collator) {
    int rankA = RankOf(A), rankB = RankOf(B);
    if (rankA != rankB) return rankA < rankB ? -1 : 1;
    if (A.Kind() == ikMount) {
        bool rootA = A.Path() == QLatin1String("/"), rootB = B.Path() == QLatin1String("/");
        if (rootA != rootB) return rootA ? -1 : 1;
    }
    int order = Collator.compare(A.DisplayName(), B.DisplayName());
    if (order != 0) return order < 0 ? -1 : 1;
    order = A.DisplayName().compare(B.DisplayName());
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

QIcon TCustomShellController::SmallImage(int Index, int Overlay) const {
    if (FImages.isEmpty()) {
        QFileIconProvider provider;
        QStyle* style = QApplication::style();
        FImages.resize(siImageCount);
        FImages[siFolder] = provider.icon(QFileIconProvider::Folder);
        FImages[siFolderOpen] = style->standardIcon(QStyle::SP_DirOpenIcon);
        FImages[siFile] = provider.icon(QFileIconProvider::File);
        FImages[siDrive] = provider.icon(QFileIconProvider::Drive);
        FImages[siRemoteDrive] = provider.icon(QFileIconProvider::Network);
        FImages[siRemovableDrive] = style->standardIcon(QStyle::SP_DriveFDIcon);
        FImages[siComputer] = provider.icon(QFileIconProvider::Computer);
        FImages[siDesktop] = provider.icon(QFileIconProvider::Desktop);
        FImages[siHome] = style->standardIcon(QStyle::SP_DirHomeIcon);
        FLinkImages.resize(siImageCount);
    }
    if (Index < 0 || Index >= siImageCount) return QIcon();
    if (Overlay != 1) return FImages[Index];
    if (FLinkImages[Index].isNull()) FLinkImages[Index] = WithLinkOverlay(FImages[Index]);
    return FLinkImages[Index];
}

}  // namespace qm
