// What the folder tree tests share: a temporary home with a desktop folder (so the namespace
// top is the test's own), a tree rooted in a temporary folder, and recorded message boxes.
#pragma once

#include <QAbstractItemModel>
#include <QDir>
#include <QFile>
#include <QTest>

#include <string>
#include <vector>

#include "foldertree/ShellErrors.h"
#include "foldertree/ShellTreeView.h"
#include "platform/UiHooks.h"
#include "support/ScriptedUiHooks.h"
#include "support/TestDir.h"

namespace qm::test {

// Fakes the user's folders below Dir: HOME, the XDG folders and a desktop folder.
inline void FakeUserFolders(const TestDir& Dir) {
    Dir.Folder("home/Desktop");
    Dir.Folder("home/Documents");
    Dir.Folder("home/.config");
    Dir.Folder("home/.local/share");
    qputenv("HOME", QByteArray::fromStdString(Dir / "home"));
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(Dir / "home/.config"));
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(Dir / "home/.local/share"));
    qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(Dir / "home/.cache"));
    QFile dirs(QString::fromStdString(Dir / "home/.config/user-dirs.dirs"));
    if (dirs.open(QIODevice::WriteOnly))
        dirs.write("XDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_DOCUMENTS_DIR=\"$HOME/Documents\"\n");
}

inline QString Q(const std::string& Text) {
    return QString::fromStdString(Text);
}

// The tree rooted at Root, shown, with the program's options; waits for the first listing.
inline std::unique_ptr<TShellTreeView> MakeTree(
    const QString& Root, TShellTreeOptions Options = kDefaultShellTreeOptions | toShowFiles) {
    auto tree = std::make_unique<TShellTreeView>();
    tree->SetOptions(Options);
    tree->SetSpecialRootFolder(sfNone);
    tree->SetRootFolder(Root);
    tree->resize(300, 400);
    tree->show();
    return tree;
}

inline bool Idle(const TCustomShellTreeView& Tree) {
    return !Tree.IsBusy();
}

inline QModelIndex Child(const QModelIndex& Node, int Row) {
    return Node.model()->index(Row, 0, Node);
}

inline int ChildCount(const QModelIndex& Node) {
    return Node.isValid() ? Node.model()->rowCount(Node) : 0;
}

inline QStringList Captions(const QModelIndex& Node) {
    QStringList captions;
    for (int i = 0; i < ChildCount(Node); ++i) captions << Child(Node, i).data().toString();
    return captions;
}

// Whether the node shows an expand button.
inline bool HasButton(const QModelIndex& Node) {
    return Node.model()->hasChildren(Node);
}

}  // namespace qm::test
