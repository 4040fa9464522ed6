// The main window's layout, hints, lists, buttons and closing.
#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>
#include <map>

#include "app/FormMainFixture.h"
#include "app/UCommandLine.h"
#include "foldertree/ShellTreeView.h"

namespace qm {

class TFormMainTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<test::TFormMainFixture> F;

    static std::vector<std::string> Masks(const TFormMain& Form) {
        std::vector<std::string> masks;
        for (int i = 0; i < Form.lbFileMasks->count(); ++i)
            masks.push_back(Form.lbFileMasks->item(i)->text().toStdString());
        return masks;
    }

  private slots:
    void initTestCase() {
        // As with a screen reader: Qt then also forgets the interfaces of deleted widgets.
        QAccessible::setActive(true);
    }
    void init() { F = std::make_unique<test::TFormMainFixture>(); }
    void cleanup() { F.reset(); }

    void controlsHaveTheirDesignNamesPlacesAndTabOrder() {
        TFormMain& form = F->Show();
        QCOMPARE(form.objectName(), QStringLiteral("FormMain"));
        QCOMPARE(form.size(), QSize(459, 313));
        QCOMPARE(form.minimumSize(), QSize(459, 313));
        QVERIFY(!form.windowIcon().isNull());
        const std::vector<std::pair<const char*, QRect>> placed = {
            {"Bevel1", {8, 8, 355, 277}},
            {"ShellTreeView1", {20, 36, 169, 173}},
            {"edFileTypesLists", {196, 36, 133, 21}},
            {"BtnFileTypesLists", {330, 36, 21, 21}},
            {"lbFileMasks", {196, 80, 154, 149}},
            {"edBackUpFile", {20, 252, 311, 21}},
            {"BtnBackUpFile", {330, 252, 21, 21}},
            {"PnlStatusBar", {0, 294, 459, 19}},
            {"BtnBackUp", {376, 8, 75, 25}},
            {"BtnAbout", {376, 36, 75, 25}},
            {"BtnExit", {376, 64, 75, 25}},
        };
        for (const auto& [name, rect] : placed) {
            auto* w = form.findChild<QWidget*>(QString::fromLatin1(name));
            QVERIFY2(w, name);
            QCOMPARE(w->geometry(), rect);
        }
        // The check box grows only as far as its caption needs in the fonts at hand.
        const QRect box = form.cbIncludeSubFolders->geometry();
        QCOMPARE(box.topLeft(), QPoint(20, 212));
        QCOMPARE(box.height(), 17);
        QCOMPARE(box.width(),
                 std::min(169, std::max(117, form.cbIncludeSubFolders->sizeHint().width())));
        QCOMPARE(form.txtStatusBar->geometry(), QRect(3, 3, 303, 13));
        QCOMPARE(form.ProgressBar1->geometry(), QRect(306, 3, 150, 13));
        QCOMPARE(form.ProgressBar1->maximum(), 100);
        QVERIFY(form.ProgressBar1->isHidden());
        QCOMPARE(form.BtnBackUp->text(), QStringLiteral("&Back-Up"));
        QCOMPARE(form.BtnAbout->text(), QStringLiteral("&About"));
        QCOMPARE(form.BtnExit->text(), QStringLiteral("E&xit"));
        QCOMPARE(form.cbIncludeSubFolders->text(), QStringLiteral("Include s&ub folders"));
        QVERIFY(!form.cbIncludeSubFolders->isChecked());
        // Labels lead to their controls, so their mnemonics work.
        QCOMPARE(form.Label1->buddy(), static_cast<QWidget*>(form.ShellTreeView1));
        QCOMPARE(form.Label3->buddy(), static_cast<QWidget*>(form.edFileTypesLists));
        QCOMPARE(form.Label4->buddy(), static_cast<QWidget*>(form.lbFileMasks));
        QCOMPARE(form.Label5->buddy(), static_cast<QWidget*>(form.edBackUpFile));
        QCOMPARE(form.Label5->text(), QStringLiteral("Back-up &file:"));

        const std::vector<QWidget*> order = {form.ShellTreeView1,   form.cbIncludeSubFolders,
                                             form.edFileTypesLists, form.BtnFileTypesLists,
                                             form.lbFileMasks,      form.edBackUpFile,
                                             form.BtnBackUpFile,    form.BtnBackUp,
                                             form.BtnAbout,         form.BtnExit};
        // Following the focus chain from each control, the next designed tab stop met is the
        // next one in the tab order (labels and inner parts of controls are passed by).
        for (size_t i = 0; i + 1 < order.size(); ++i) {
            QWidget* next = order[i]->nextInFocusChain();
            while (std::find(order.begin(), order.end(), next) == order.end())
                next = next->nextInFocusChain();
            QCOMPARE(next->objectName(), order[i + 1]->objectName());
        }
        // Every designed text fits its control.
        for (QLabel* label : {form.Label1, form.Label3, form.Label4, form.Label5})
            QVERIFY2(label->geometry().right() < form.Bevel1->geometry().right(),
                     qPrintable(label->text()));
        for (QPushButton* b : {form.BtnBackUp, form.BtnAbout, form.BtnExit})
            QVERIFY(b->fontMetrics().horizontalAdvance(b->text().remove('&')) < b->width() - 8);
    }

    void aGrownWindowGivesTheRoomToTheTreeAndTheMasks() {
        const std::string deep = F->Dir.Folder(
            "a folder whose name is far too long for the tree at any usual width/and deeper");
        F->WriteIni("[Quillmate Last]\nDirName=" + deep + "\n");
        TFormMain& form = F->Show();
        std::map<QWidget*, QRect> designed;
        for (QWidget* w : form.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            designed[w] = w->geometry();
        const int dx = 201, dy = 100;
        form.resize(459 + dx, 313 + dy);
        QTRY_COMPARE(form.size(), QSize(459 + dx, 313 + dy));
        auto grew = [&](QWidget* W, int Left, int Top, int Width, int Height) {
            const QRect d = designed[W];
            QCOMPARE(W->geometry(),
                     QRect(d.left() + Left, d.top() + Top, d.width() + Width, d.height() + Height));
        };
        grew(form.ShellTreeView1, 0, 0, dx / 2, dy);
        grew(form.lbFileMasks, dx / 2, 0, dx - dx / 2, dy);
        grew(form.edFileTypesLists, dx / 2, 0, dx - dx / 2, 0);
        grew(form.BtnFileTypesLists, dx, 0, 0, 0);
        grew(form.Bevel1, 0, 0, dx, dy);
        grew(form.cbIncludeSubFolders, 0, dy, 0, 0);
        grew(form.edBackUpFile, 0, dy, dx, 0);
        grew(form.BtnBackUpFile, dx, dy, 0, 0);
        grew(form.PnlStatusBar, 0, dy, dx, 0);
        for (QPushButton* b : {form.BtnBackUp, form.BtnAbout, form.BtnExit}) grew(b, dx, 0, 0, 0);
        QCOMPARE(form.ProgressBar1->geometry().right(), form.PnlStatusBar->width() - 4);
        // The masks keep three columns, now wider.
        QCOMPARE(form.lbFileMasks->gridSize().width(),
                 (form.lbFileMasks->width() - 2 * form.lbFileMasks->frameWidth()) / 3);
        // No control leaves the window or overlaps the bevel's neighbours.
        for (QWidget* w : form.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            QVERIFY2(form.rect().contains(w->geometry()), qPrintable(w->objectName()));
        QVERIFY(form.lbFileMasks->geometry().right() < form.BtnFileTypesLists->geometry().right());
        QVERIFY(form.ShellTreeView1->geometry().right() < form.lbFileMasks->geometry().left());

        // A name wider than the tree is cut with "..." rather than scrolled or clipped, and
        // the chosen folder's full path is its node's tooltip.
        QModelIndex chosen = form.ShellTreeView1->currentIndex();
        QVERIFY(chosen.isValid());
        QCOMPARE(chosen.data(Qt::ToolTipRole).toString(), QString::fromStdString(deep));
        QCOMPARE(form.ShellTreeView1->textElideMode(), Qt::ElideRight);
        QCOMPARE(form.ShellTreeView1->header()->sectionSize(0),
                 form.ShellTreeView1->viewport()->width());

        // Smaller than designed it does not get.
        form.resize(300, 200);
        QCOMPARE(form.size(), QSize(459, 313));
    }

    // What a screen reader gets for each control: its name, and its hint as its description
    // (the same text as its tooltip).
    void everyControlHasAnAccessibleNameAndItsHintAsDescription_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("description");
        QTest::newRow("tree") << "ShellTreeView1"
                              << "Look in"
                              << "Select folder containing files to back-up";
        QTest::newRow("sub folders") << "cbIncludeSubFolders"
                                     << "Include sub folders"
                                     << "Include files in sub folders if any";
        QTest::newRow("lists") << "edFileTypesLists"
                               << "File types lists"
                               << "Select file types list";
        QTest::newRow("lists button") << "BtnFileTypesLists"
                                      << "Edit file types lists"
                                      << "Add, delete, or edit file type lists";
        QTest::newRow("masks") << "lbFileMasks"
                               << "File masks"
                               << "File masks of selected file types list";
        QTest::newRow("back-up file") << "edBackUpFile"
                                      << "Back-up file"
                                      << "Enter destination ZIP file name";
        QTest::newRow("file button") << "BtnBackUpFile"
                                     << "Choose back-up file"
                                     << "Enter destination ZIP file name";
        QTest::newRow("progress") << "ProgressBar1"
                                  << "Back-up progress"
                                  << "How much of the current file is added";
        QTest::newRow("back-up") << "BtnBackUp"
                                 << "Back-Up"
                                 << "Run or cancel back-up";
        QTest::newRow("about") << "BtnAbout"
                               << "About"
                               << "About this application";
        QTest::newRow("exit") << "BtnExit"
                              << "Exit"
                              << "Quits the application";
    }
    void everyControlHasAnAccessibleNameAndItsHintAsDescription() {
        QFETCH(QString, control);
        QFETCH(QString, name);
        QFETCH(QString, description);
        F->WriteIni("[Quillmate FileTypesLists]\nItem1=Docs,*.txt\n");
        TFormMain& form = F->Show();
        auto* widget = form.findChild<QWidget*>(control);
        QVERIFY(widget);
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
        QVERIFY(accessible);
        QCOMPARE(accessible->text(QAccessible::Name), name);
        QCOMPARE(accessible->text(QAccessible::Description), description);
        QCOMPARE(widget->toolTip(), description);
        if (control == QStringLiteral("edFileTypesLists"))
            QCOMPARE(accessible->text(QAccessible::Value), QStringLiteral("Docs"));
    }

    void statusLineShowsTheLongHintOfTheNearestControl() {
        TFormMain& form = F->Show();
        QCOMPARE(GetLongHint("Exit|Quits the application"), std::string("Quits the application"));
        QCOMPARE(GetLongHint("No bar"), std::string("No bar"));
        QCOMPARE(GetLongHint("a|b|c"), std::string("b|c"));

        auto enter = [](QWidget* W) {
            QEnterEvent e(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
            QApplication::sendEvent(W, &e);
        };
        auto leave = [](QWidget* W) {
            QEvent e(QEvent::Leave);
            QApplication::sendEvent(W, &e);
        };
        enter(&form);
        const std::string windowHint = form.StatusText();
        QVERIFY(!windowHint.empty());
        QVERIFY(windowHint.find('|') == std::string::npos);
        enter(form.ShellTreeView1);
        QCOMPARE(form.StatusText(), std::string("Select folder containing files to back-up"));
        // The tree's viewport has no hint: the tree's applies.
        enter(form.ShellTreeView1->viewport());
        QCOMPARE(form.StatusText(), std::string("Select folder containing files to back-up"));
        leave(form.ShellTreeView1->viewport());
        leave(form.ShellTreeView1);
        QCOMPARE(form.StatusText(), windowHint);
        enter(form.BtnExit);
        QCOMPARE(form.StatusText(), std::string("Quits the application"));
        leave(form.BtnExit);
        enter(form.Label3);
        QCOMPARE(form.StatusText(), windowHint);
        enter(form.Bevel1);
        QCOMPARE(form.StatusText(), windowHint);
        enter(form.txtStatusBar);
        QCOMPARE(form.StatusText(), windowHint);
        enter(form.BtnBackUpFile);
        QCOMPARE(form.StatusText(), std::string("Enter destination ZIP file name"));
        leave(form.BtnBackUpFile);
        leave(&form);
        QCOMPARE(form.StatusText(), std::string());
    }

    void masksListBoxSortsAndReloadsForTheSelectedList() {
        F->WriteIni(
            "[Quillmate FileTypesLists]\nItem1=Office,*.xls;*.doc;*.PPT;*.mdb\n"
            "Item2=Pics,*.jpg;*.bmp;\n");
        TFormMain& form = F->Show();
        QCOMPARE(form.edFileTypesLists->count(), 2);
        QCOMPARE(form.edFileTypesLists->currentIndex(), 0);
        QCOMPARE(Masks(form), (std::vector<std::string>{"*.doc", "*.mdb", "*.PPT", "*.xls"}));
        // Three columns: the second item sits below the first, items flow down then across.
        QCOMPARE(form.lbFileMasks->flow(), QListView::TopToBottom);
        QVERIFY(form.lbFileMasks->isWrapping());
        QCOMPARE(form.lbFileMasks->gridSize().height(), 13);
        QVERIFY(form.lbFileMasks->gridSize().width() * 3 <= 154);
        form.edFileTypesLists->setCurrentIndex(1);
        form.edFileTypesListsChange();
        // The box shows the empty mask as the lists store it.
        QCOMPARE(Masks(form), (std::vector<std::string>{"", "*.bmp", "*.jpg"}));
    }

    void listsDialogReselectsTheRememberedList() {
        F->WriteIni("[Quillmate FileTypesLists]\nItem1=A,*.a\nItem2=B,*.b\nItem3=C,*.c\n");
        TFormMain& form = F->Show();
        form.edFileTypesLists->setCurrentIndex(2);
        form.edFileTypesListsChange();
        // The dialog closes at once and writes the lists back unchanged.
        QTimer::singleShot(0, [] {
            if (QWidget* dialog = QApplication::activeModalWidget()) dialog->close();
        });
        form.BtnFileTypesListsClick();
        QCOMPARE(form.edFileTypesLists->currentText(), QStringLiteral("C"));
        QCOMPARE(Masks(form), (std::vector<std::string>{"*.c"}));

        // The selected list renamed (here: all lists gone) falls back to the first, or none.
        F->WriteIni("[Quillmate FileTypesLists]\nItem1=Z,*.z\n");
        QTimer::singleShot(0, [] {
            if (QWidget* dialog = QApplication::activeModalWidget()) dialog->close();
        });
        form.BtnFileTypesListsClick();
        QCOMPARE(form.edFileTypesLists->currentText(), QStringLiteral("Z"));
        QCOMPARE(Masks(form), (std::vector<std::string>{"*.z"}));
    }

    void saveDialogOffersAndTakesTheBackUpFile() {
        TFormMain& form = F->Show();
        form.edBackUpFile->setText(QStringLiteral("/backup/MyDoc.zip"));
        F->Hooks.SaveAnswer = std::nullopt;
        form.BtnBackUpFileClick();
        QCOMPARE(F->Hooks.SaveOfferedName, std::string("/backup/MyDoc.zip"));
        QCOMPARE(F->Hooks.SaveOptions.Title, std::string("Save Back-Up File As"));
        QCOMPARE(F->Hooks.SaveOptions.Filter,
                 std::string("ZIP files (*.zip)|*.zip|All files (*.*)|*.*"));
        QCOMPARE(F->Hooks.SaveOptions.DefaultSuffix, std::string("zip"));
        QVERIFY(F->Hooks.SaveOptions.OverwritePrompt);
        QCOMPARE(form.edBackUpFile->text(), QStringLiteral("/backup/MyDoc.zip"));
        F->Hooks.SaveAnswer = "/backup/MyDoc2.zip";
        form.BtnBackUpFileClick();
        QCOMPARE(form.edBackUpFile->text(), QStringLiteral("/backup/MyDoc2.zip"));
    }

    void aboutBoxStartsWithTheDesignedCaption() {
        TFormMain& form = F->Show();
        form.setWindowTitle(QStringLiteral("Quillmate 2.1 - Letters"));
        form.BtnAbout->click();
        QCOMPARE(F->Hooks.Boxes.size(), size_t(1));
        const test::TMessageBoxCall& box = F->Hooks.Boxes[0];
        QCOMPARE(box.Title, std::string("About"));
        QCOMPARE(box.Icon, miInformation);
        const std::string expectedStart =
            std::string(
                "Quillmate 2.1\r\rQuillmate utility in ZIP format file with command line "
                "support.\r\r") +
            kUsageText + "\r\r";
        QVERIFY(box.Text.starts_with(expectedStart));
        QVERIFY(box.Text.find("\r\r") != std::string::npos);
        QVERIFY(box.Text.ends_with("2001-2003 The Quillmate developers"));
        QVERIFY(AboutBoxText("d", 2001, 0).find("2001 The") != std::string::npos);
    }

    void windowIsKeptOnTheScreenAndSnapsToItsEdges() {
        const QSize screen(1024, 768);
        QCOMPARE(KeepRectOnScreen({-50, 5000, 467, 340}, screen), QRect(0, 768 - 340, 467, 340));
        QCOMPARE(KeepRectOnScreen({900, 100, 467, 340}, screen), QRect(1024 - 467, 100, 467, 340));
        QCOMPARE(KeepRectOnScreen({10, 10, 2000, 1000}, screen), QRect(0, 0, 1024, 768));
        QCOMPARE(KeepRectOnScreen({192, 103, 467, 340}, screen), QRect(192, 103, 467, 340));

        const QRect area(0, 0, 1024, 768);
        QCOMPARE(SnapToEdges({7, 300, 100, 50}, area, 10), QPoint(0, 300));
        QCOMPARE(SnapToEdges({300, -9, 100, 50}, area, 10), QPoint(300, 0));
        QCOMPARE(SnapToEdges({930, 712, 100, 50}, area, 10), QPoint(924, 718));
        QCOMPARE(SnapToEdges({300, 300, 100, 50}, area, 10), QPoint(300, 300));

        // A stored position far off the screen opens the window inside it.
        F->WriteIni("[Quillmate Window]\nLeft=-50\nTop=5000\n");
        TFormMain& form = F->Show();
        QCOMPARE(form.x(), 0);
        const QRect screenRect = form.screen()->geometry();
        QCOMPARE(form.y() + form.frameGeometry().height(), screenRect.height());
    }

    void settingsAreWrittenOnCloseEvenWhenTheWriteFails() {
        F->WriteIni("[Quillmate FileTypesLists]\nItem1=Docs,*.txt\n");
        TFormMain& form = F->Show();
        form.cbIncludeSubFolders->setChecked(true);
        form.edBackUpFile->setText(QStringLiteral(" /b/x.zip "));
        form.move(200, 150);
        QVERIFY(form.close());
        const std::string ini = F->IniText();
        QVERIFY(ini.find("[Quillmate Window]\nLeft=200\nTop=150\n") != std::string::npos);
        QVERIFY(ini.find("InclSubFolders=1\nFileTypeList=Docs\nBackUpFile= /b/x.zip \n") !=
                std::string::npos);
        QVERIFY(ini.find("DirName=/") != std::string::npos);

        // A settings file that cannot be written: the error box, and the window still closes.
        const std::string blocked = F->Dir.File("blocked");
        qputenv("windir", QByteArray::fromStdString(blocked + "/sub"));
        AppsIniFileName = AppsIniFileNameFromEnvironment();
        TFormMain& second = F->Show();
        QVERIFY(second.close());
        QVERIFY(!second.isVisible());
        QCOMPARE(F->Hooks.Titles(), std::vector<std::string>{"Error"});
        QVERIFY(F->Hooks.Boxes[0].Text.starts_with("Unable to write to "));
    }
};

}  // namespace qm

QTEST_MAIN(qm::TFormMainTest)
#include "UFormMain_test.moc"
