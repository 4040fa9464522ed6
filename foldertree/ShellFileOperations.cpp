#include "foldertree/ShellFileOperations.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "foldertree/CustomShellController.h"

namespace qm {
namespace {

QString SystemError(int Code) {
    return QString::fromLocal8Bit(std::strerror(Code));
}

bool Exists(const QString& Path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(Path).constData(), &st) == 0;
}

bool IsBelowOrSame(const QString& Path, const QString& Folder) {
    return Path == Folder || Path.startsWith(Folder + QLatin1Char('/')) ||
           Folder == QLatin1String("/");
}

// rename() that never replaces an existing target.
int RenameNoReplace(const QString& From, const QString& To) {
    QByteArray from = QFile::encodeName(From), to = QFile::encodeName(To);
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    // The file system cannot promise it; check, then rename (a narrow race, but no silent loss
    // of an item that was there before we looked).
    if (Exists(To)) return EEXIST;
    return ::rename(from.constData(), to.constData()) == 0 ? 0 : errno;
}

bool CopyTree(const QString& From, const QString& To, QString& Error) {
    QByteArray from = QFile::encodeName(From), to = QFile::encodeName(To);
    struct stat st {};
    if (::lstat(from.constData(), &st) != 0) {
        Error = QStringLiteral("\"%1\": %2").arg(From, SystemError(errno));
        return false;
    }
    if (S_ISLNK(st.st_mode)) {
        QByteArray target(4096, 0);
        ssize_t n = ::readlink(from.constData(), target.data(), size_t(target.size()));
        if (n < 0 || ::symlink(target.left(n).constData(), to.constData()) != 0) {
            Error = QStringLiteral("\"%1\": %2").arg(From, SystemError(errno));
            return false;
        }
        return true;
    }
    if (S_ISDIR(st.st_mode)) {
        if (::mkdir(to.constData(), st.st_mode & 07777) != 0) {
            Error = QStringLiteral("\"%1\": %2").arg(To, SystemError(errno));
            return false;
        }
        DIR* dir = ::opendir(from.constData());
        if (!dir) {
            Error = QStringLiteral("\"%1\": %2").arg(From, SystemError(errno));
            return false;
        }
        bool ok = true;
        while (dirent* entry = ::readdir(dir)) {
            const char* name = entry->d_name;
            if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
            QString child = QFile::decodeName(name);
            if (!CopyTree(JoinPath(From, child), JoinPath(To, child), Error)) {
                ok = false;
                break;
            }
        }
        ::closedir(dir);
        return ok;
    }
    if (!S_ISREG(st.st_mode)) {
        Error = QStringLiteral("\"%1\": not a regular file").arg(From);
        return false;
    }
    QFile source(From);
    if (!source.copy(To)) {
        Error = QStringLiteral("\"%1\": %2").arg(From, source.errorString());
        return false;
    }
    return true;
}

bool RemoveTree(const QString& Path) {
    QFileInfo info(Path);
    if (info.isDir() && !info.isSymLink()) return QDir(Path).removeRecursively();
    return QFile::remove(Path);
}

}  // namespace

bool RenameShellItem(const QString& Path, const QString& NewName, QString& Error) {
    QString name = QFileInfo(Path).fileName();
    if (NewName.isEmpty() || NewName == QLatin1String(".") || NewName == QLatin1String("..") ||
        NewName.contains(QLatin1Char('/')) || NewName.contains(QChar(0))) {
        Error = QStringLiteral("\"%1\" is not a valid name.").arg(NewName);
        return false;
    }
    QString target = JoinPath(QFileInfo(Path).path(), NewName);
    if (int code = RenameNoReplace(Path, target); code != 0) {
        Error = QStringLiteral("Cannot rename \"%1\" to \"%2\": %3")
                    .arg(name, NewName,
                         code == EEXIST ? QStringLiteral("the name is taken") : SystemError(code));
        return false;
    }
    return true;
}

bool CreateNewFolder(const QString& Parent, QString& Created, QString& Error) {
    for (int n = 1; n < 10000; ++n) {
        QString name =
            n == 1 ? QStringLiteral("New Folder") : QStringLiteral("New Folder (%1)").arg(n);
        QString path = JoinPath(Parent, name);
        if (::mkdir(QFile::encodeName(path).constData(), 0777) == 0) {
            Created = path;
            return true;
        }
        if (errno != EEXIST) {
            Error = QStringLiteral("Cannot create a folder in \"%1\": %2")
                        .arg(Parent, SystemError(errno));
            return false;
        }
    }
    Error = QStringLiteral("Cannot create a folder in \"%1\": too many new folders").arg(Parent);
    return false;
}

bool MoveShellItemToTrash(const QString& Path, QString& Error) {
    QFile file(Path);
    if (file.moveToTrash()) return true;
    Error = QStringLiteral("Cannot move \"%1\" to the trash: %2").arg(Path, file.errorString());
    return false;
}

bool TransferShellItems(const QStringList& Sources, const QString& Folder, bool Move,
                        QString& Error, const TTransferProgress& Progress) {
    QStringList problems;
    QString folder = QDir::cleanPath(Folder);
    auto transfer = [&](const QString& raw) {
        QString source = QDir::cleanPath(raw);
        QString name = QFileInfo(source).fileName();
        QString target = JoinPath(folder, name);
        if (name.isEmpty() || !Exists(source)) {
            problems << QStringLiteral("\"%1\" does not exist").arg(source);
            return;
        }
        if (Move && target == source) return;  // already there
        if (IsBelowOrSame(folder, source)) {
            problems << QStringLiteral("\"%1\" cannot go into itself").arg(name);
            return;
        }
        if (Exists(target)) {
            problems << QStringLiteral("\"%1\" already exists in \"%2\"").arg(name, folder);
            return;
        }
        QString error;
        if (Move) {
            int code = RenameNoReplace(source, target);
            if (code == 0) return;
            if (code != EXDEV) {
                problems << QStringLiteral("\"%1\": %2").arg(source, SystemError(code));
                return;
            }
            // Another file system: copy, and remove the original only once the copy is whole.
            if (CopyTree(source, target, error))
                RemoveTree(source);
            else {
                RemoveTree(target);
                problems << error;
            }
            return;
        }
        if (!CopyTree(source, target, error)) {
            RemoveTree(target);
            problems << error;
        }
    };
    for (qsizetype done = 0; done < Sources.size(); ++done) {
        transfer(Sources[done]);
        if (Progress) Progress(static_cast<int>(done + 1), static_cast<int>(Sources.size()));
    }
    Error = problems.join(QLatin1Char('\r'));
    return problems.isEmpty();
}

}  // namespace qm
