// The lists dialog and the item dialog, driven as a user would through their modal loops.
#include <QApplication>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>
#include <functional>
#include <memory>

#include "app/UDlgFileTypesListItem.h"
#include "app/UDlgFileTypesLists.h"
#include "app/UQMApps.h"
#include "support/ScriptedUiHooks.h"
#include "support/TestDir.h"

namespace qm {
namespace {

// Steps waiting for their dialog; a test that ends with one still waiting has failed.
std::vector<QPointer<QTimer>> PendingSteps;

// Runs Step on the modal dialog of type T as soon as it is on screen.
template <class T>
void WhenShown(std::function<void(T*)> Step) {
    auto* timer = new QTimer;
    PendingSteps.emplace_back(timer);
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, Step] {
        auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible()) return;
        timer->stop();
        timer->deleteLater();
        Step(dialog);
    });
    timer->start();
}

// Opens the lists dialog, runs Steps in it and closes it with "Close" if Steps left it open.
void WithListsDialog(std::function<void(TDlgFileTypesLists*)> Steps) {
    WhenShown<TDlgFileTypesLists>([Steps](TDlgFileTypesLists* Dialog) {
        Steps(Dialog);
        if (Dialog->isVisible()) Dialog->OKBtn->click();
    });
    ShowFileTypesListsDialog();
}

// Starts the item dialog with Open (an action of the lists dialog) and answers it with Step.
void WithItemDialog(const std::function<void()>& Open,
                    std::function<void(TDlgFileTypesListItem*)> Step) {
    WhenShown<TDlgFileTypesListItem>(Step);
    Open();
}

void Type(TDlgFileTypesListItem* Item, const QString& Name, const QString& Masks) {
    Item->edName->setText(Name);
    Item->edFileMasks->setText(Masks);
}

QTreeWidgetItem* RowNamed(TDlgFileTypesLists* Dialog, const QString& Name) {
    auto found = Dialog->ListView1->findItems(Name, Qt::MatchExactly, 0);
    return found.isEmpty() ? nullptr : found.first();
}

// Lets the event loop wait for events once, as it does when the user is idle.
void WaitIdle() {
    QEventLoop loop;
    QTimer::singleShot(20, &loop, &QEventLoop::quit);
    loop.exec();
}

// Selects the row as a click would, and lets the idle-time update run.
void Select(TDlgFileTypesLists* Dialog, const QString& Name) {
    Dialog->ListView1->setCurrentItem(RowNamed(Dialog, Name));
    Dialog->ActNewUpdate();
}

QStringList Names(TDlgFileTypesLists* Dialog) {
    QStringList names;
    for (const TFileTypesList& row : Dialog->Rows()) names << QString::fromStdString(row.Name);
    return names;
}

const char* kSection = "[Quillmate FileTypesLists]\n";

}  // namespace

class TDlgFileTypesListsTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<test::TestDir> FDir;
    std::unique_ptr<test::TScriptedUiHooks> FHooks;
    QTimer FWatchdog;

    std::string IniFile() const { return *FDir / "QMApps.ini"; }
    std::string IniText() const { return test::ReadWholeFile(IniFile()); }
    void WriteIni(const std::string& Text) const { FDir->File("QMApps.ini", Text); }
    QStringList BoxTexts() const {
        QStringList texts;
        for (const auto& box : FHooks->Boxes) texts << QString::fromStdString(box.Text);
        return texts;
    }

  private slots:
    void initTestCase() {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        // A failed step must not leave a modal loop running for ever.
        FWatchdog.setInterval(10000);
        connect(&FWatchdog, &QTimer::timeout, [] {
            while (QWidget* w = QApplication::activeModalWidget()) {
                qWarning("closing a dialog a failed step left open");
                if (auto* d = qobject_cast<QDialog*>(w))
                    d->reject();
                else
                    w->close();
            }
        });
    }

    void init() {
        FDir = std::make_unique<test::TestDir>();
        qputenv("windir", QByteArray::fromStdString(FDir->Path()));
        AppsIniFileName = AppsIniFileNameFromEnvironment();
        AppTitle = kDesignAppTitle;
        FHooks = std::make_unique<test::TScriptedUiHooks>();
        FWatchdog.start();
    }

    void cleanup() {
        FWatchdog.stop();
        int waiting = 0;
        for (QPointer<QTimer>& timer : PendingSteps)
            if (timer && timer->isActive()) {
                delete timer.data();
                ++waiting;
            }
        PendingSteps.clear();
        FHooks.reset();
        FDir.reset();
        QVERIFY(DlgFileTypesLists == nullptr);
        QCOMPARE(waiting, 0);
    }

    void newListsAreSortedAndWrittenInRowOrder() {
        WithListsDialog([](TDlgFileTypesLists* Dialog) {
            QVERIFY(!Dialog->ActEdit->isEnabled());
            QVERIFY(!Dialog->Button3->isEnabled());
            QCOMPARE(Dialog->windowTitle(), QStringLiteral("File Types Lists"));
            WithItemDialog([&] { Dialog->Button1->click(); },
                           [](TDlgFileTypesListItem* Item) {
                               QCOMPARE(Item->windowTitle(), QStringLiteral("Add"));
                               QVERIFY(Item->edName->text().isEmpty());
                               Type(Item, "Zip", "*.zip");
                               Item->OKBtn->click();
                           });
            WithItemDialog([&] { Dialog->ActNew->trigger(); },
                           [](TDlgFileTypesListItem* Item) {
                               Type(Item, "  Archive\t", " *.doc;*.txt ");
                               // Enter presses the default button.
                               QTest::keyClick(Item->edFileMasks, Qt::Key_Return);
                           });
            QCOMPARE(Names(Dialog), (QStringList{"Archive", "Zip"}));
            QCOMPARE(Dialog->Rows()[0].Masks, std::string("*.doc;*.txt"));
        });
        QCOMPARE(IniText(),
                 std::string(kSection) +
                     "Width0=100\nWidth1=165\nItem1=Archive,*.doc;*.txt\nItem2=Zip,*.zip\n");
        QVERIFY(FHooks->Boxes.empty());
    }

    void rowsSortLocaleAwareAndCaseSensitive() {
        WriteIni(std::string(kSection) + "Item1=cherry,*.c\nItem2=Banana,*.b\nItem3=apple,*.a\n");
        WithListsDialog([](TDlgFileTypesLists* Dialog) {
            QCOMPARE(Names(Dialog), (QStringList{"apple", "Banana", "cherry"}));
            QVERIFY(Dialog->ListView1->selectedItems().isEmpty());
        });
        QVERIFY(FileTypesListNameLess("a", "A") != FileTypesListNameLess("A", "a"));
        QVERIFY(FileTypesListNameLess("apple", "Banana"));
    }

    void invalidListsKeepTheItemDialogOpen() {
        WithListsDialog([this](TDlgFileTypesLists* Dialog) {
            WithItemDialog([&] { Dialog->ActNew->trigger(); },
                           [this](TDlgFileTypesListItem* Item) {
                               Type(Item, "   ", "*.doc");
                               Item->OKBtn->click();
                               QVERIFY(Item->isVisible());
                               QCOMPARE(Item->edName->text(), QString());
                               Type(Item, "Docs", " \t ");
                               Item->OKBtn->click();
                               QVERIFY(Item->isVisible());
                               QCOMPARE(Item->edFileMasks->text(), QString());
                               Type(Item, "Docs", "*.doc;../*");
                               Item->OKBtn->click();
                               QVERIFY(Item->isVisible());
                               Item->CancelBtn->click();
                           });
            QCOMPARE(Dialog->ListView1->topLevelItemCount(), 0);
        });
        QCOMPARE(BoxTexts(),
                 (QStringList{"Invalid file type list.", "Invalid file type list.",
                              "File masks cannot hold \"/\": a mask names files of the chosen "
                              "folder."}));
        QCOMPARE(FHooks->Boxes[0].Title, std::string("Error"));
        QCOMPARE(FHooks->Boxes[0].Icon, miError);
        QCOMPARE(FHooks->Boxes[0].Buttons, mbOK);
    }

    void newDuplicateInOtherLetterCaseIsRefused() {
        WriteIni(std::string(kSection) + "Item1=\"Ms. Office\",*.doc\n");
        WithListsDialog([](TDlgFileTypesLists* Dialog) {
            WithItemDialog([&] { Dialog->ActNew->trigger(); },
                           [](TDlgFileTypesListItem* Item) {
                               Type(Item, " ms. office ", "*.xls");
                               Item->OKBtn->click();
                               QVERIFY(Item->isVisible());
                               QCOMPARE(Item->edName->text(), QStringLiteral("ms. office"));
                               Item->CancelBtn->click();
                           });
            QCOMPARE(Names(Dialog), (QStringList{"Ms. Office"}));
        });
        QCOMPARE(BoxTexts(), (QStringList{"File type list \"ms. office\" already exists."}));
    }

    void editLetterCaseOnlyRenameIsAccepted() {
        WriteIni(std::string(kSection) + "Item1=Archive,*.a\nItem2=\"Ms. Office\",*.doc\n");
        WithListsDialog([](TDlgFileTypesLists* Dialog) {
            Select(Dialog, "Ms. Office");
            QVERIFY(Dialog->Button2->isEnabled());
            WithItemDialog([&] { Dialog->Button2->click(); },
                           [](TDlgFileTypesListItem* Item) {
                               QCOMPARE(Item->windowTitle(), QStringLiteral("Edit"));
                               QCOMPARE(Item->edName->text(), QStringLiteral("Ms. Office"));
                               QCOMPARE(Item->edFileMasks->text(), QStringLiteral("*.doc"));
                               Type(Item, "MS. OFFICE", "*.doc;*.xls");
                               Item->OKBtn->click();
                           });
            QCOMPARE(Names(Dialog), (QStringList{"Archive", "MS. OFFICE"}));
            QVERIFY(RowNamed(Dialog, "MS. OFFICE")->isSelected());
        });
        QVERIFY(FHooks->Boxes.empty());
        QCOMPARE(IniText(), std::string(kSection) +
                                "Width0=100\nWidth1=165\nItem1=Archive,*.a\n"
                                "Item2=\"MS. OFFICE\",*.doc;*.xls\n");
    }

    void editRenameToAnotherListIsRefused_data() {
        QTest::addColumn<QString>("other");
        QTest::addColumn<QString>("typed");
        QTest::newRow("other list first") << "Archive"
                                          << "ARCHIVE";
        QTest::newRow("other list last") << "Zip"
                                         << "zip";
    }
    void editRenameToAnotherListIsRefused() {
        QFETCH(QString, other);
        QFETCH(QString, typed);
        WriteIni(std::string(kSection) + "Item1=Archive,*.a\nItem2=Middle,*.m\nItem3=Zip,*.z\n");
        WithListsDialog([typed](TDlgFileTypesLists* Dialog) {
            Select(Dialog, "Middle");
            WithItemDialog([&] { Dialog->ActEdit->trigger(); },
                           [typed](TDlgFileTypesListItem* Item) {
                               Type(Item, typed, "*.m");
                               Item->OKBtn->click();
                               QVERIFY(Item->isVisible());
                               Item->CancelBtn->click();
                           });
            QCOMPARE(Names(Dialog), (QStringList{"Archive", "Middle", "Zip"}));
        });
        QCOMPARE(BoxTexts(),
                 QStringList{QString("File type list \"%1\" already exists.").arg(typed)});
    }

    void cancelAndEscapeLeaveTheRowUnchanged() {
        WriteIni(std::string(kSection) + "Item1=Docs,*.doc\n");
        WithListsDialog([](TDlgFileTypesLists* Dialog) {
            Select(Dialog, "Docs");
            WithItemDialog([&] { Dialog->ActEdit->trigger(); },
                           [](TDlgFileTypesListItem* Item) {
                               Type(Item, "Changed", "*.x");
                               Item->CancelBtn->click();
                           });
            WithItemDialog([&] { Dialog->ActEdit->trigger(); },
                           [](TDlgFileTypesListItem* Item) {
                               Type(Item, "", "");
                               QTest::keyClick(Item->edName, Qt::Key_Escape);
                           });
            QCOMPARE(Dialog->Rows(), (std::vector<TFileTypesList>{{"Docs", "*.doc"}}));
        });
        QVERIFY(FHooks->Boxes.empty());
    }

    void editAndDeleteFollowTheSelectionWhenIdle() {
        WriteIni(std::string(kSection) + "Item1=A,*.a\n");
        WithListsDialog([](TDlgFileTypesLists* Dialog) {
            QVERIFY(!Dialog->Button2->isEnabled());
            QVERIFY(Dialog->ActNew->isEnabled());
            // No direct call of the update: the event loop's idle hook must run it.
            Dialog->ListView1->setCurrentItem(RowNamed(Dialog, "A"));
            WaitIdle();
            QVERIFY(Dialog->Button2->isEnabled());
            QVERIFY(Dialog->Button3->isEnabled());
            Dialog->ListView1->clearSelection();
            WaitIdle();
            QVERIFY(!Dialog->ActDelete->isEnabled());
            QVERIFY(!Dialog->ActEdit->isEnabled());
        });
    }

    void deleteAsksAndHonoursTheAnswer() {
        WriteIni(std::string(kSection) + "Item1=A,*.a\nItem2=B,*.b\nItem3=C,*.c\n");
        FHooks->Answers = {idNo, idYes};
        WithListsDialog([](TDlgFileTypesLists* Dialog) {
            Select(Dialog, "B");
            Dialog->Button3->click();
            QCOMPARE(Names(Dialog), (QStringList{"A", "B", "C"}));
            Dialog->Button3->click();
            QCOMPARE(Names(Dialog), (QStringList{"A", "C"}));
            Dialog->ActNewUpdate();
            QVERIFY(!Dialog->ActDelete->isEnabled());
        });
        QCOMPARE(FHooks->Boxes.size(), size_t(2));
        const auto& box = FHooks->Boxes[0];
        QCOMPARE(box.Title, std::string("Confirm"));
        QCOMPARE(box.Text, std::string("Delete \"B\"?"));
        QCOMPARE(box.Icon, miQuestion);
        QCOMPARE(box.Buttons, mbYes | mbNo);
        QCOMPARE(box.DefaultButton, idYes);
        QCOMPARE(IniText(),
                 std::string(kSection) + "Width0=100\nWidth1=165\nItem1=A,*.a\nItem2=C,*.c\n");
    }

    void doubleClickEditsOnlyARow() {
        WriteIni(std::string(kSection) + "Item1=Docs,*.doc\n");
        WithListsDialog([](TDlgFileTypesLists* Dialog) {
            QWidget* viewport = Dialog->ListView1->viewport();
            QPoint empty(50, viewport->height() - 5);
            QTest::mouseClick(viewport, Qt::LeftButton, {}, empty);
            QTest::mouseDClick(viewport, Qt::LeftButton, {}, empty);
            QCoreApplication::processEvents();
            QVERIFY(QApplication::activeModalWidget() == Dialog);
            QPoint row = Dialog->ListView1->visualItemRect(RowNamed(Dialog, "Docs")).center();
            bool opened = false;
            WithItemDialog(
                [&] {
                    QTest::mouseClick(viewport, Qt::LeftButton, {}, row);
                    QTest::mouseDClick(viewport, Qt::LeftButton, {}, row);
                    QTRY_VERIFY(opened);
                },
                [&opened](TDlgFileTypesListItem* Item) {
                    opened = true;
                    QCOMPARE(Item->windowTitle(), QStringLiteral("Edit"));
                    QCOMPARE(Item->edName->text(), QStringLiteral("Docs"));
                    QCOMPARE(Item->edFileMasks->text(), QStringLiteral("*.doc"));
                    Item->CancelBtn->click();
                });
        });
    }

    void closingByTheTitleBarWritesLikeClose() {
        WriteIni("[Other]\r\nkeep = this\r\n" + std::string(kSection) +
                 "Width0=120\nWidth1=abc\nItem1=Old,*.o\nItem3=Lost,*.l\n[Tail]\nx=1");
        WithListsDialog([](TDlgFileTypesLists* Dialog) {
            QCOMPARE(Dialog->ListView1->columnWidth(0), 120);
            QCOMPARE(Dialog->ListView1->columnWidth(1), 165);
            QCOMPARE(Names(Dialog), (QStringList{"Old"}));
            WithItemDialog([&] { Dialog->ActNew->trigger(); },
                           [](TDlgFileTypesListItem* Item) {
                               Type(Item, "New", "*.n");
                               Item->OKBtn->click();
                           });
            Dialog->close();
        });
        QCOMPARE(IniText(), "[Other]\r\nkeep = this\r\n[Tail]\nx=1\n" + std::string(kSection) +
                                "Width0=120\nWidth1=165\nItem1=New,*.n\nItem2=Old,*.o\n");
    }

    void refusedWriteIsRaisedAfterTheDialogIsFreed() {
        std::string blocker = FDir->File("blocker", "a file, not a folder");
        AppsIniFileName = blocker + "/QMApps.ini";
        bool raised = false;
        try {
            WithListsDialog([](TDlgFileTypesLists*) {});
        } catch (const EIniFileException& e) {
            raised = true;
            QCOMPARE(e.Message(), "Unable to write to " + AppsIniFileName);
        }
        QVERIFY(raised);
        QVERIFY(DlgFileTypesLists == nullptr);
    }

    void existsLooksAtTheOpenDialogOnly() {
        QVERIFY(!FileTypesListExists("Docs"));
        WriteIni(std::string(kSection) + "Item1=Docs,*.doc\n");
        WithListsDialog([](TDlgFileTypesLists*) {
            QVERIFY(FileTypesListExists("DOCS"));
            QVERIFY(!FileTypesListExists("Doc"));
        });
        QVERIFY(!FileTypesListExists("Docs"));
    }
};

}  // namespace qm

QTEST_MAIN(qm::TDlgFileTypesListsTest)
#include "UDlgFileTypesLists_test.moc"
