// The file system operations the tree offers the user: rename, new folder, move to the trash,
// and copying or moving dropped items into a folder. Each refuses to overwrite anything and
// reports failure with a message for the user.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

namespace qm {

// Renames Path within its folder; fails when NewName is no single name or is taken.
bool RenameShellItem(const QString& Path, const QString& NewName, QString& Error);
// Creates "New Folder" (or "New Folder (2)" and so on) in Parent; gives its path in Created.
bool CreateNewFolder(const QString& Parent, QString& Created, QString& Error);
bool MoveShellItemToTrash(const QString& Path, QString& Error);
// Called after each source: how many of the sources have been dealt with, of how many.
using TTransferProgress = std::function<void(int Done, int Total)>;
// Copies (or moves) each source into Folder under its own name. Sources that cannot go there
// (a name that is taken, a folder into itself) are left and named in Error; the rest go on.
// Touches no widget, so it may run on a worker thread.
bool TransferShellItems(const QStringList& Sources, const QString& Folder, bool Move,
                        QString& Error, const TTransferProgress& Progress = {});

}  // namespace qm
