// The tree's shape: what is listed and where, the expand buttons, sibling order, selecting by
// path, the virtual nodes and the root properties.
#include <QItemSelectionModel>
#include <QScrollBar>
#include <QTest>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "TreeFixture.h"
#include "foldertree/WorkerPools.h"

namespace qm::test {

// Declares one folder of the test tree to be a network mount.
class TRemoteMountController : public TCustomShellController {
  public:
    explicit TRemoteMountController(QString Mount) : FMount(std::move(Mount)) {}
    std::vector<TMountPoint> MountPoints() const override {
        std::vector<TMountPoint> mounts = TCustomShellController::MountPoints();
        mounts.push_back({FMount, QStringLiteral("nfs4"), smRemote});
        return mounts;
    }

  private:
    QString FMount;
};

// Holds the workers' listings of one folder until opened; the GUI thread's pass at once.
class TGatedController : public TCustomShellController {
  public:
    explicit TGatedController(QString Folder) : FFolder(std::move(Folder)) {}
    void Open() {
        std::lock_guard<std::mutex> guard(FLock);
        FOpen = true;
        FOpened.notify_all();
    }
    bool WorkerWaits() const { return FWaiting.load(); }

  protected:
    std::optional<QStringList> ReadFolder(const QString& Path) const override {
        if (Path == FFolder && QThread::currentThread() != QCoreApplication::instance()->thread()) {
            std::unique_lock<std::mutex> lock(FLock);
            FWaiting = true;
            FOpened.wait(lock, [this] { return FOpen; });
        }
        return TCustomShellController::ReadFolder(Path);
    }

  private:
    QString FFolder;
    mutable std::mutex FLock;
    mutable std::condition_variable FOpened;
    mutable std::atomic<bool> FWaiting{false};
    bool FOpen = false;
};

class ShellTreeViewTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<TestDir> FDir;
    QString FRoot;

    QModelIndex Node(const TShellTreeView& Tree, const std::string& Relative) {
        return Tree.FindNodeByPath(Q(*FDir / ("root/" + Relative)));
    }

  private slots:
    void init() {
        FDir = std::make_unique<TestDir>();
        FakeUserFolders(*FDir);
        FRoot = Q(FDir->Folder("root"));
    }
    void cleanup() { FDir.reset(); }

    void selectingADeepFolderExpandsEveryLevel() {
        FDir->File("root/a/b/c/d/e/leaf.txt");
        FDir->File("root/a/b/sibling/x.txt");
        auto tree = MakeTree(FRoot);
        QString deep = Q(*FDir / "root/a/b/c/d");
        tree->SelectFolderByPath(deep);

        TShellFolder* selected = tree->SelectedShellItem();
        QVERIFY(selected);
        QCOMPARE(selected->Path(), deep);
        QCOMPARE(tree->StartInFolder(), deep);
        QModelIndex node = tree->currentIndex();
        QVERIFY(tree->selectionModel()->isSelected(node));
        for (QModelIndex level = node; level.isValid(); level = level.parent())
            QVERIFY2(tree->isExpanded(level), qPrintable(level.data().toString()));
        QCOMPARE(Captions(node), QStringList{"e"});
        QVERIFY(tree->viewport()->rect().contains(tree->visualRect(node)));
    }

    void selectingScrollsAFarFolderIntoView() {
        for (int i = 0; i < 200; ++i) FDir->Folder("root/f" + std::to_string(1000 + i));
        auto tree = MakeTree(FRoot);
        tree->resize(200, 120);
        QString last = Q(*FDir / "root/f1199");
        tree->SelectFolderByPath(last);
        QModelIndex node = tree->currentIndex();
        QCOMPARE(node.data().toString(), QString("f1199"));
        QVERIFY(tree->viewport()->rect().intersects(tree->visualRect(node)));
        QVERIFY(tree->verticalScrollBar()->value() > 0);

        // Keyboard moves and type-ahead keep the current node in view as well.
        auto visible = [&tree](const QString& Caption) {
            QModelIndex current = tree->currentIndex();
            return current.isValid() && current.data().toString() == Caption &&
                   tree->viewport()->rect().contains(tree->visualRect(current));
        };
        tree->SelectFolderByPath(Q(*FDir / "root/f1000"));
        for (int i = 0; i < 30; ++i) QTest::keyClick(tree.get(), Qt::Key_Down);
        QVERIFY(visible(QStringLiteral("f1030")));
        QTest::keyClick(tree.get(), Qt::Key_End);
        QVERIFY(visible(QStringLiteral("f1199")));
        QTest::keyClick(tree.get(), Qt::Key_Home);
        QCOMPARE(tree->verticalScrollBar()->value(), 0);
        QTest::keyClicks(tree.get(), QStringLiteral("f1150"));
        QVERIFY(visible(QStringLiteral("f1150")));
    }

    // Selecting lists on the calling thread what a worker is still listing: the worker's late
    // result is ignored, and the tree is not busy waiting for it.
    void aLateListingOfAFolderSelectedMeanwhileAddsNothing() {
        FDir->Folder("root/a/b");
        FDir->Folder("root/a/c");
        auto controller = std::make_shared<TGatedController>(Q(*FDir / "root/a"));
        TShellTreeView tree(nullptr, controller);
        tree.SetSpecialRootFolder(sfNone);
        tree.SetRootFolder(FRoot);
        tree.show();
        QTRY_VERIFY(Node(tree, "a").isValid());
        tree.expand(Node(tree, "a"));
        QTRY_VERIFY(controller->WorkerWaits());
        tree.SelectFolderByPath(Q(*FDir / "root/a/b"));
        QCOMPARE(tree.SelectedShellItem()->Path(), Q(*FDir / "root/a/b"));
        QCOMPARE(Captions(Node(tree, "a")), (QStringList{"b", "c"}));
        QVERIFY(!tree.IsBusy());

        controller->Open();
        ListingPool().waitForDone();
        QCoreApplication::processEvents();  // the late result, posted before the worker ended
        QCOMPARE(Captions(Node(tree, "a")), (QStringList{"b", "c"}));
        QCOMPARE(tree.SelectedShellItem()->Path(), Q(*FDir / "root/a/b"));
    }

    void aMissingPathRaisesAndKeepsTheSelection() {
        FDir->Folder("root/a/b");
        auto tree = MakeTree(FRoot);
        QString a = Q(*FDir / "root/a");
        tree->SelectFolderByPath(a);
        for (QString bad : {Q(*FDir / "root/a/missing"), Q(*FDir / "root/missing/deeper"),
                            QString("relative/a"), QString(), QString("/")}) {
            try {
                tree->SelectFolderByPath(bad);
                QFAIL(qPrintable("no error for " + bad));
            } catch (const EInvalidFolder& error) {
                QCOMPARE(std::string(error.what()), std::string("Invalid folder"));
            }
            QCOMPARE(tree->SelectedShellItem()->Path(), a);
            QCOMPARE(tree->StartInFolder(), a);
        }
    }

    void aFolderOfFilesHasAButtonAndAnEmptyOneLosesIt() {
        FDir->File("root/onlyFiles/a.txt");
        FDir->File("root/soonEmpty/b.txt");
        FDir->Folder("root/empty");
        auto tree = MakeTree(FRoot);
        QTRY_VERIFY(Node(*tree, "soonEmpty").isValid());
        QVERIFY(HasButton(Node(*tree, "onlyFiles")));
        QVERIFY(HasButton(Node(*tree, "soonEmpty")));
        QVERIFY(!HasButton(Node(*tree, "empty")));

        // The look found a file; it is gone by the time the folder is opened.
        QVERIFY(QFile::remove(Q(*FDir / "root/soonEmpty/b.txt")));
        QPersistentModelIndex soonEmpty = Node(*tree, "soonEmpty");
        tree->expand(soonEmpty);
        QTRY_VERIFY(!HasButton(soonEmpty));
        QVERIFY(!tree->isExpanded(soonEmpty));
        QCOMPARE(ChildCount(soonEmpty), 0);

        QPersistentModelIndex onlyFiles = Node(*tree, "onlyFiles");
        tree->expand(onlyFiles);
        QTRY_COMPARE(Captions(onlyFiles), QStringList{"a.txt"});
        QVERIFY(tree->isExpanded(onlyFiles));
        QVERIFY(!HasButton(Child(onlyFiles, 0)));
    }

    void withoutFilesAFolderOfFilesHasNoButton() {
        FDir->File("root/onlyFiles/a.txt");
        FDir->Folder("root/withFolder/sub");
        auto tree = MakeTree(FRoot, kDefaultShellTreeOptions);
        QTRY_VERIFY(Node(*tree, "withFolder").isValid());
        QVERIFY(!HasButton(Node(*tree, "onlyFiles")));
        QVERIFY(HasButton(Node(*tree, "withFolder")));
        QVERIFY(!tree->FindNodeByPath(Q(*FDir / "root/onlyFiles/a.txt")).isValid());
        QCOMPARE(Captions(tree->RootNode()), (QStringList{"onlyFiles", "withFolder"}));
    }

    void aNetworkFolderGetsItsButtonWithoutALook() {
        FDir->Folder("root/net");  // empty, but the tree must not look into it
        FDir->Folder("root/local");
        auto tree = std::make_unique<TShellTreeView>(
            nullptr, std::make_shared<TRemoteMountController>(Q(*FDir / "root/net")));
        tree->SetSpecialRootFolder(sfNone);
        tree->SetRootFolder(FRoot);
        QTRY_VERIFY(Node(*tree, "local").isValid());
        QVERIFY(HasButton(Node(*tree, "net")));
        QVERIFY(!HasButton(Node(*tree, "local")));
        tree->expand(Node(*tree, "net"));
        QTRY_VERIFY(!HasButton(Node(*tree, "net")));
    }

    void hiddenItemsStayHidden() {
        FDir->File("root/.hiddenFile");
        FDir->File("root/.hiddenFolder/inside.txt");
        FDir->File("root/shown/.onlyHidden");
        FDir->File("root/visible.txt");
        auto tree = MakeTree(FRoot);
        QTRY_COMPARE(Captions(tree->RootNode()), (QStringList{"shown", "visible.txt"}));
        // A folder whose only content is hidden has nothing to expand.
        QVERIFY(!HasButton(Node(*tree, "shown")));
        // A hidden folder chosen by its path (the stored source, Src=) is shown on the way.
        tree->SelectFolderByPath(Q(*FDir / "root/.hiddenFolder"));
        QVERIFY(tree->SelectedShellItem());
        QCOMPARE(tree->SelectedShellItem()->Path(), Q(*FDir / "root/.hiddenFolder"));

        tree->SetOptions(tree->Options() | toShowHidden);
        QTRY_COMPARE(Captions(tree->RootNode()),
                     (QStringList{".hiddenFolder", "shown", ".hiddenFile", "visible.txt"}));
    }

    void siblingsAreFoldersThenFilesEachByNameWithoutCase() {
        for (const char* folder : {"gamma", "Beta", "alpha", "Delta", "10", "9"})
            FDir->Folder(std::string("root/") + folder);
        for (const char* file : {"cherry.txt", "Apple.txt", "banana.txt", "0.txt"})
            FDir->File(std::string("root/") + file);
        auto tree = MakeTree(FRoot);
        QTRY_COMPARE(Captions(tree->RootNode()),
                     (QStringList{"10", "9", "alpha", "Beta", "Delta", "gamma", "0.txt",
                                  "Apple.txt", "banana.txt", "cherry.txt"}));
    }

    void theDesktopHoldsComputerHomeAndTheDesktopFolder() {
        FDir->Folder("home/Desktop/Projects");
        FDir->File("home/Desktop/notes.txt");
        FDir->File("home/Desktop/.secret");
        TShellTreeView tree;
        tree.SetOptions(tree.Options() | toShowFiles);
        tree.show();
        QPersistentModelIndex top = tree.RootNode();
        QCOMPARE(tree.model()->rowCount(), 1);
        QCOMPARE(top.data().toString(), QString("Desktop"));
        QTRY_COMPARE(Captions(top), (QStringList{"Computer", "Home", "Projects", "notes.txt"}));
        QVERIFY(tree.isExpanded(top));
        QVERIFY(!tree.rootIsDecorated());
        QCOMPARE(tree.indentation(), 19);
        TShellFolder* desktop = tree.FolderOf(top);
        QVERIFY(desktop->IsDesktop());
        QCOMPARE(desktop->Path(), Q(*FDir / "home/Desktop"));
        QCOMPARE(tree.FolderOf(Child(top, 1))->Path(), Q(*FDir / "home"));

        // The virtual node: a parsing name that is no file system path.
        TShellFolder* computer = tree.FolderOf(Child(top, 0));
        QVERIFY(!computer->Path().startsWith('/'));
        QVERIFY(!computer->IsFileSystem());
        tree.SelectFolderByPath(computer->Path());
        QCOMPARE(tree.SelectedShellItem(), computer);
        QVERIFY(ChildCount(tree.currentIndex()) > 0);
        QCOMPARE(tree.FolderOf(Child(tree.currentIndex(), 0))->Path(), QString("/"));

        // A desktop item and a home item are reached through their own nodes.
        tree.SelectFolderByPath(Q(*FDir / "home/Desktop/Projects"));
        QCOMPARE(tree.currentIndex().parent(), QModelIndex(top));
        tree.SelectFolderByPath(Q(*FDir / "home/Documents"));
        QCOMPARE(tree.currentIndex().parent(), Child(top, 1));
    }

    void thePublishedDefaults() {
        TShellTreeView tree;
        QCOMPARE(tree.Options(),
                 toAllowRename | toAllowDrag | toAllowDrop | toExpandTopNode | toShellMenu);
        QCOMPARE(tree.SpecialRootFolder(), sfDesktop);
        QVERIFY(tree.RootFolder().isEmpty());
        QCOMPARE(tree.SpecialStartInFolder(), sfNone);
        QVERIFY(tree.StartInFolder().isEmpty());
        QCOMPARE(tree.ExpandInterval(), 2000);
        QCOMPARE(tree.CompressedColor(), QColor(Qt::blue));
        QVERIFY(!tree.Filtered());
        QVERIFY(!tree.SelectedShellItem());
        tree.SetEnabled(false);
        QVERIFY(!tree.Enabled());
    }

    void specialFoldersResolveOrRaise() {
        TShellTreeView tree;
        tree.SetSpecialRootFolder(sfPersonal);
        QCOMPARE(tree.FolderOf(tree.RootNode())->Path(), Q(*FDir / "home/Documents"));
        QVERIFY_THROWS_EXCEPTION(EShellError, tree.SetSpecialRootFolder(sfPrinters));
        QCOMPARE(tree.SpecialRootFolder(), sfPersonal);
        QCOMPARE(tree.FolderOf(tree.RootNode())->Path(), Q(*FDir / "home/Documents"));
        tree.SetSpecialRootFolder(sfDrives);
        QCOMPARE(tree.FolderOf(tree.RootNode())->Path(), kComputerPath);

        tree.SetSpecialRootFolder(sfNone);
        QVERIFY_THROWS_EXCEPTION(EInvalidFolder, tree.SetRootFolder(Q(*FDir / "nowhere")));
        QVERIFY(tree.RootFolder().isEmpty());
        QVERIFY(tree.FolderOf(tree.RootNode())->IsDesktop());
        QCOMPARE(SpecialFolderCsidl(sfTemplates), 21);
        QCOMPARE(SpecialFolderCsidl(sfAltStartup), 29);
    }

    void theStartFolderIsOpenedAndSelectedAtFirstPaint() {
        FDir->Folder("root/a/b/c");
        TShellTreeView tree;
        std::vector<QString> selected;
        tree.OnFolderSelected = [&](TCustomShellTreeView*, TShellFolder* folder) {
            selected.push_back(folder->Path());
        };
        tree.SetStartInFolder(Q(*FDir / "root/a/b"));
        tree.SetSpecialRootFolder(sfNone);
        tree.SetRootFolder(FRoot);
        QTRY_VERIFY(Idle(tree));
        QVERIFY(!tree.currentIndex().isValid());
        tree.show();
        QTRY_VERIFY(tree.SelectedShellItem());
        QCOMPARE(tree.SelectedShellItem()->Path(), Q(*FDir / "root/a/b"));
        QVERIFY(tree.isExpanded(tree.currentIndex().parent()));
        QCOMPARE(selected, std::vector<QString>{Q(*FDir / "root/a/b")});
        tree.setCurrentIndex(tree.RootNode());
        QCOMPARE(selected.back(), FRoot);
    }

    void theFilterLeavesItemsOut() {
        FDir->Folder("root/keep");
        FDir->Folder("root/skip-me");
        TShellTreeView tree;
        tree.SetFiltered(true);
        tree.OnFilterItem = [](TCustomShellTreeView*, const TShellItem& item, bool& accept) {
            accept = !item.DisplayName().startsWith("skip");
        };
        tree.SetSpecialRootFolder(sfNone);
        tree.SetRootFolder(FRoot);
        QTRY_COMPARE(Captions(tree.RootNode()), QStringList{"keep"});
    }
};

}  // namespace qm::test

QTEST_MAIN(qm::test::ShellTreeViewTest)
#include "ShellTreeView_test.moc"
