// The tree following the file system, and the user's changes through the tree: rename in
// place, the item menu's commands, and drops.
#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPointer>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <memory>

#include "TreeFixture.h"
#include "foldertree/ShellChangeQueue.h"

namespace qm::test {

struct TChangeRecord {
    TShellChange Change;
    QString Path1, Path2;
};

class ShellTreeChangesTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<TestDir> FDir;
    QString FRoot;

    QString P(const std::string& Relative) const { return Q(*FDir / ("root/" + Relative)); }
    QModelIndex Node(const TShellTreeView& Tree, const std::string& Relative) const {
        return Tree.FindNodeByPath(P(Relative));
    }

    // Sends a drag of Paths to the centre of Node and drops it there.
    static bool DropOn(TShellTreeView& Tree, const QModelIndex& Node, const QStringList& Paths,
                       Qt::KeyboardModifiers Modifiers = Qt::NoModifier) {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& path : Paths) urls << QUrl::fromLocalFile(path);
        data.setUrls(urls);
        QPointF at = Tree.visualRect(Node).center();
        Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;
        QDragEnterEvent enter(at.toPoint(), actions, &data, Qt::LeftButton, Modifiers);
        QApplication::sendEvent(Tree.viewport(), &enter);
        QDragMoveEvent move(at.toPoint(), actions, &data, Qt::LeftButton, Modifiers);
        QApplication::sendEvent(Tree.viewport(), &move);
        if (!move.isAccepted()) return false;
        QDropEvent drop(at, actions, &data, Qt::LeftButton, Modifiers);
        QApplication::sendEvent(Tree.viewport(), &drop);
        // The copy runs on a worker: wait for its end (and for its report, if any).
        if (!QTest::qWaitFor([&] { return !Tree.IsTransferring(); }, 10000)) return false;
        return drop.isAccepted();
    }

  private slots:
    void init() {
        FDir = std::make_unique<TestDir>();
        FakeUserFolders(*FDir);
        FRoot = Q(FDir->Folder("root"));
    }
    void cleanup() { FDir.reset(); }

    void foldersCreatedRenamedAndRemovedOnDiskFollow() {
        FDir->File("root/keep/inner/deep.txt");
        auto tree = MakeTree(FRoot);
        QAbstractItemModelTester tester(tree->model(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        std::vector<TChangeRecord> changes;
        tree->OnShellChangeNotify = [&](TCustomShellTreeView*, TShellChange change,
                                        const QString& a, const QString& b) {
            changes.push_back({change, a, b});
        };
        tree->SelectFolderByPath(P("keep/inner"));
        QPersistentModelIndex keep = Node(*tree, "keep");

        QVERIFY(QDir().mkdir(P("fresh")));
        FDir->File("root/fresh.txt");
        QTRY_VERIFY_WITH_TIMEOUT(
            Node(*tree, "fresh").isValid() && Node(*tree, "fresh.txt").isValid(), 10000);
        QCOMPARE(Captions(tree->RootNode()), (QStringList{"fresh", "keep", "fresh.txt"}));

        // A rename keeps the node, its expansion and the selection below it.
        QVERIFY(QDir().rename(P("keep"), P("alpha")));
        QTRY_VERIFY_WITH_TIMEOUT(Node(*tree, "alpha").isValid(), 10000);
        QCOMPARE(Node(*tree, "alpha"), QModelIndex(keep));
        QVERIFY(!Node(*tree, "keep").isValid());
        QCOMPARE(Captions(tree->RootNode()), (QStringList{"alpha", "fresh", "fresh.txt"}));
        QVERIFY(tree->isExpanded(keep));
        QCOMPARE(tree->SelectedShellItem()->Path(), P("alpha/inner"));
        QCOMPARE(tree->FolderOf(Child(Child(keep, 0), 0))->Path(), P("alpha/inner/deep.txt"));

        // The watch moved with the folder: a change inside it still shows.
        FDir->File("root/alpha/inner/later.txt");
        QTRY_VERIFY_WITH_TIMEOUT(Node(*tree, "alpha/inner/later.txt").isValid(), 10000);

        // Removing the selected folder's parent selects the next node first.
        QVERIFY(QDir(P("alpha")).removeRecursively());
        QTRY_VERIFY_WITH_TIMEOUT(!Node(*tree, "alpha").isValid(), 10000);
        QVERIFY(tree->SelectedShellItem());
        QCOMPARE(tree->SelectedShellItem()->Path(), P("fresh"));
        QVERIFY(QFile::remove(P("fresh.txt")));
        QTRY_VERIFY_WITH_TIMEOUT(!Node(*tree, "fresh.txt").isValid(), 10000);

        auto saw = [&](TShellChange change, const QString& path) {
            return std::any_of(changes.begin(), changes.end(), [&](const auto& c) {
                return c.Change == change && c.Path1 == path;
            });
        };
        QVERIFY(saw(scCreateFolder, P("fresh")));
        QVERIFY(saw(scCreateFile, P("fresh.txt")));
        QVERIFY(saw(scRenameFolder, P("keep")));
        QVERIFY(saw(scRemoveFolder, P("alpha")));
        QVERIFY(saw(scDeleteFile, P("fresh.txt")));
    }

    void renameInPlaceRenamesOnDisk() {
        FDir->File("root/old/child.txt");
        FDir->Folder("root/zz");
        auto tree = MakeTree(FRoot);
        test::TScriptedUiHooks hooks;
        tree->SelectFolderByPath(P("old"));
        QPersistentModelIndex node = tree->currentIndex();
        QVERIFY(tree->ExecuteCommand(scmRename));
        auto* editor = tree->viewport()->findChild<QLineEdit*>();
        QVERIFY(editor);
        editor->setText("zebra");
        QTest::keyClick(editor, Qt::Key_Return);  // the edit is committed from the event loop

        QTRY_VERIFY(QFileInfo(P("zebra/child.txt")).exists());
        QVERIFY(!QFileInfo::exists(P("old")));
        QCOMPARE(node.data().toString(), QString("zebra"));
        QCOMPARE(tree->currentIndex(), QModelIndex(node));
        QCOMPARE(tree->SelectedShellItem()->Path(), P("zebra"));
        QCOMPARE(Captions(tree->RootNode()), (QStringList{"zebra", "zz"}));
        QCOMPARE(tree->FolderOf(Child(node, 0))->Path(), P("zebra/child.txt"));
        QVERIFY(hooks.Boxes.empty());

        // A taken name is refused: nothing moves on disk and the old caption stays.
        QVERIFY(!tree->RenameNode(node, "zz"));
        QVERIFY(QFileInfo(P("zebra/child.txt")).exists());
        QVERIFY(QFileInfo(P("zz")).isDir());
        QCOMPARE(node.data().toString(), QString("zebra"));
        QCOMPARE(hooks.Boxes.size(), size_t(1));
        QCOMPARE(hooks.Boxes[0].Title, std::string("Error"));
        QVERIFY(!tree->RenameNode(node, "a/b"));
        QVERIFY(!tree->RenameNode(tree->RootNode(), "root2"));  // the root's name is not ours
    }

    void theItemMenuMakesFoldersAndTrashesItems() {
        FDir->File("root/a/doomed.txt");
        auto tree = MakeTree(FRoot);
        test::TScriptedUiHooks hooks;
        tree->SelectFolderByPath(P("a"));
        QVERIFY(tree->ExecuteCommand(scmNewFolder));
        QVERIFY(QFileInfo(P("a/New Folder")).isDir());
        QCOMPARE(tree->SelectedShellItem()->Path(), P("a/New Folder"));
        QVERIFY(tree->viewport()->findChild<QLineEdit*>());
        tree->closePersistentEditor(tree->currentIndex());
        tree->SelectFolderByPath(P("a"));
        QVERIFY(tree->ExecuteCommand(scmNewFolder));
        QVERIFY(QFileInfo(P("a/New Folder (2)")).isDir());

        QModelIndex doomed = Node(*tree, "a/doomed.txt");
        QVERIFY(doomed.isValid());
        tree->setCurrentIndex(doomed);
        QVERIFY(tree->ExecuteCommand(scmMoveToTrash));
        QVERIFY(!QFileInfo::exists(P("a/doomed.txt")));
        QVERIFY(!Node(*tree, "a/doomed.txt").isValid());
        QCOMPARE(hooks.Boxes.size(), size_t(1));  // the question only

        // Commands that make no sense for an item are refused.
        tree->setCurrentIndex(tree->RootNode());
        QVERIFY(!tree->ExecuteCommand(scmMoveToTrash));
        QVERIFY(!tree->ExecuteCommand(scmRename));
    }

    void aRightClickSelectsAndOffersTheItemsCommands() {
        FDir->File("root/a/file.txt");
        auto tree = MakeTree(FRoot);
        tree->SelectFolderByPath(P("a"));
        QModelIndex file = Node(*tree, "a/file.txt");
        QVERIFY(file.isValid() && tree->currentIndex() != file);
        QStringList offered;
        QTimer::singleShot(0, [&] {
            if (QWidget* popup = QApplication::activePopupWidget()) {
                for (QAction* action : popup->actions())
                    if (!action->isSeparator()) offered << action->text();
                popup->close();
            }
        });
        QPoint at = tree->visualRect(file).center();
        QContextMenuEvent click(QContextMenuEvent::Mouse, at, tree->viewport()->mapToGlobal(at));
        QApplication::sendEvent(tree->viewport(), &click);
        QCOMPARE(tree->currentIndex(), file);
        QCOMPARE(offered, (QStringList{"&Open", "Rena&me", "Copy &Path", "Move to T&rash"}));

        // The top node takes new folders but is neither renamed nor thrown away; the extended
        // command needs the option as well as Shift.
        TShellContextMenu menu(*tree->FolderOf(tree->RootNode()), tree->Options(), false, true);
        QVERIFY(menu.Offers(scmNewFolder));
        QVERIFY(!menu.Offers(scmRename) && !menu.Offers(scmMoveToTrash));
        QVERIFY(!menu.Offers(scmOpenTerminal));
    }

    void aDropCopiesOrMovesIntoTheFolder() {
        FDir->Folder("root/target");
        FDir->Folder("root/other");
        FDir->File("root/file.txt");
        std::string copied = FDir->File("outside/copied.txt", "copy me");
        std::string moved = FDir->File("outside/moved/inner.txt", "move me");
        auto tree = MakeTree(FRoot);
        test::TScriptedUiHooks hooks;
        QTRY_VERIFY(Node(*tree, "target").isValid());

        QVERIFY(DropOn(*tree, Node(*tree, "target"), {Q(copied)}));
        QCOMPARE(ReadWholeFile(*FDir / "root/target/copied.txt"), std::string("copy me"));
        QVERIFY(QFileInfo::exists(Q(copied)));
        QVERIFY(
            DropOn(*tree, Node(*tree, "target"), {Q(*FDir / "outside/moved")}, Qt::ShiftModifier));
        QCOMPARE(ReadWholeFile(*FDir / "root/target/moved/inner.txt"), std::string("move me"));
        QVERIFY(!QFileInfo::exists(Q(*FDir / "outside/moved")));
        QVERIFY(hooks.Boxes.empty());

        // A second copy would overwrite: refused, reported, the first copy untouched.
        FDir->File("elsewhere/copied.txt", "other content");
        QVERIFY(DropOn(*tree, Node(*tree, "target"), {Q(*FDir / "elsewhere/copied.txt")}));
        QCOMPARE(ReadWholeFile(*FDir / "root/target/copied.txt"), std::string("copy me"));
        QCOMPARE(hooks.Boxes.size(), size_t(1));
        // A folder cannot be dropped into itself, nor onto a file.
        QVERIFY(!DropOn(*tree, Node(*tree, "target"), {P("target")}));
        QTRY_VERIFY_WITH_TIMEOUT(
            Node(*tree, "target/copied.txt").isValid() || !tree->isExpanded(Node(*tree, "target")),
            100);
        QVERIFY(!DropOn(*tree, Node(*tree, "other"), {P("")}));
    }

    // A large drop runs on a worker: the tree answers meanwhile, and a tree closed before the
    // copy ends neither crashes nor stops the copy half-way.
    void aDropOutlivesTheTreeThatTookIt() {
        FDir->Folder("root/target");
        for (int i = 0; i < 300; ++i)
            FDir->File("outside/many/f" + std::to_string(i) + ".txt", std::string(4000, 'x'));
        auto tree = MakeTree(FRoot);
        test::TScriptedUiHooks hooks;
        QTRY_VERIFY(Node(*tree, "target").isValid());
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(Q(*FDir / "outside/many"))});
        const QPointF at = tree->visualRect(Node(*tree, "target")).center();
        const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;
        QDragEnterEvent enter(at.toPoint(), actions, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(tree->viewport(), &enter);
        QDragMoveEvent move(at.toPoint(), actions, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(tree->viewport(), &move);
        QDropEvent drop(at, actions, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(tree->viewport(), &drop);
        QVERIFY(drop.isAccepted());
        tree.reset();
        const QString last = Q(*FDir / "root/target/many/f299.txt");
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(last).size() == 4000, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(QDir(Q(*FDir / "root/target/many")).entryList(QDir::Files).size(),
                                  qsizetype(300), 20000);
        QVERIFY(hooks.Boxes.empty());
    }

    // Selecting a path runs no event: a deletion queued before the call waits until the call
    // has returned with the selection made.
    void aTreeIsNotDestroyedWhileSelecting() {
        FDir->Folder("root/a/b/c/d");
        auto tree = MakeTree(FRoot);
        QPointer<TShellTreeView> watch(tree.get());
        QTimer::singleShot(0, [&] { tree.reset(); });
        tree->SelectFolderByPath(P("a/b/c/d"));
        QVERIFY(watch);
        QCOMPARE(tree->SelectedShellItem()->Path(), P("a/b/c/d"));
        QTRY_VERIFY(!watch);
    }

    void aDragHoveringExpandsAndScrollsNearTheEdges() {
        for (int i = 0; i < 60; ++i) FDir->Folder("root/f" + std::to_string(100 + i));
        FDir->Folder("root/f100/sub");
        std::string dragged = FDir->File("outside/x.txt");
        auto tree = MakeTree(FRoot);
        tree->resize(200, 160);
        tree->SetExpandInterval(100);
        QTRY_VERIFY(Node(*tree, "f159").isValid());
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(Q(dragged))});
        auto moveTo = [&](QPoint at) {
            QDragMoveEvent move(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(tree->viewport(), &move);
        };
        QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(tree->viewport(), &enter);

        QPersistentModelIndex f100 = Node(*tree, "f100");
        QVERIFY(!tree->isExpanded(f100));
        moveTo(tree->visualRect(f100).center());
        QTRY_VERIFY_WITH_TIMEOUT(tree->isExpanded(f100), 5000);

        QScrollBar* bar = tree->verticalScrollBar();
        int before = bar->value();
        moveTo(QPoint(50, tree->viewport()->height() - 5));
        QTRY_VERIFY_WITH_TIMEOUT(bar->value() >= before + 3, 5000);
        int bottom = bar->value();
        moveTo(QPoint(50, 3));
        QTRY_VERIFY_WITH_TIMEOUT(bar->value() < bottom, 5000);
        // Outside both zones the scrolling stops.
        moveTo(QPoint(50, tree->viewport()->height() / 2));
        int still = bar->value();
        QTest::qWait(150);
        QCOMPARE(bar->value(), still);
        QDragLeaveEvent leave;
        QApplication::sendEvent(tree->viewport(), &leave);
    }

    void atMostFiveChangesWait() {
        std::vector<QStringList> batches;
        TShellChangeQueue queue([&](const QStringList& folders) { batches.push_back(folders); });
        for (int i = 0; i < kMaxPendingChanges; ++i) QVERIFY(queue.Post(QString("/f%1").arg(i)));
        QVERIFY(queue.Post("/f0"));  // already waiting: counts once
        QVERIFY(!queue.Post("/f9"));
        QCOMPARE(queue.Pending(), kMaxPendingChanges);
        QTRY_COMPARE(batches.size(), size_t(1));
        QCOMPARE(batches[0].size(), kMaxPendingChanges);
        QVERIFY(!batches[0].contains("/f9"));
        QVERIFY(queue.Post("/f9"));
        QTRY_COMPARE(batches.size(), size_t(2));
    }
};

}  // namespace qm::test

QTEST_MAIN(qm::test::ShellTreeChangesTest)
#include "ShellTreeChanges_test.moc"
