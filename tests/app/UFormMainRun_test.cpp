// The back-up run: the action's states and rules, the archive it makes, cancelling, failures
// that keep the previous back-up, and the report of files that could not be read.
#include <sys/resource.h>
#include <sys/stat.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>
#include <csignal>
#include <random>

#include "app/FormMainFixture.h"
#include "foldertree/ShellTreeView.h"
#include "support/ArchiveCheck.h"
#include "support/CaptureStderr.h"

namespace qm {

namespace {

std::string RandomBytes(size_t Size) {
    std::mt19937 gen(7);
    std::string bytes(Size, '\0');
    for (char& c : bytes) c = static_cast<char>(gen());
    return bytes;
}

// Temporary files the run left in Folder.
QStringList TempFiles(const std::string& Folder) {
    return QDir(QString::fromStdString(Folder))
        .entryList({QStringLiteral("XQZ*.TMP")}, QDir::Files | QDir::Hidden);
}

struct TRunState {
    int Tag = -1;
    QString Caption, Action;
    bool Default = true, Cancel = false, TreeEnabled = true, OthersEnabled = true,
         ExitEnabled = false, ProgressShown = false;
};

}  // namespace

class TFormMainRunTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<test::TFormMainFixture> F;
    std::string FSource;
    std::string FBackUp;

    // A window ready to back up the source folder's *.txt (Masks) into FBackUp.
    TFormMain& Ready(const std::string& Masks = "*.txt", bool Sub = false) {
        F->WriteIni("[Quillmate FileTypesLists]\nItem1=Docs,\"" + Masks +
                    "\"\n[Quillmate Last]\nDirName=" + FSource + "\nInclSubFolders=" +
                    (Sub ? "1" : "0") + "\nFileTypeList=Docs\nBackUpFile=" + FBackUp + "\n");
        TFormMain& form = F->Show();
        form.ActBackUpUpdate();
        return form;
    }
    static void Run(TFormMain& Form) { Form.ActBackUp->trigger(); }

  private slots:
    void init() {
        F = std::make_unique<test::TFormMainFixture>();
        FSource = F->Dir.Folder("src");
        F->Dir.File("src/a.txt", "alpha");
        F->Dir.File("src/sub/b.txt", "beta");
        F->Dir.File("src/c.dat", "gamma");
        F->Dir.Folder("out");
        FBackUp = F->Dir.Path() + "/out/backup.zip";
    }
    void cleanup() { F.reset(); }

    void stateTableCaptionAndEnablingRules() {
        TFormMain& form = Ready();
        // Idle, ready.
        QVERIFY(form.ActBackUp->isEnabled());
        QCOMPARE(form.GetSourceFolder(), FSource + "/");
        QCOMPARE(form.windowTitle(), QStringLiteral("Quillmate 2.1 - src"));
        QCOMPARE(ApplicationTitle, std::string("Quillmate 2.1 - src"));
        QVERIFY(form.IsDefaultButton(form.BtnBackUp));
        QVERIFY(!form.IsCancelButton(form.BtnBackUp));
        QVERIFY(form.ProgressBar1->isHidden());

        // Running, as seen from inside the run.
        TRunState seen;
        F->Hooks.OnProcess = [&] {
            if (seen.Tag != -1) return;
            seen.Tag = form.Tag();
            seen.Caption = form.windowTitle();
            seen.Action = form.BtnBackUp->text();
            seen.Default = form.IsDefaultButton(form.BtnBackUp);
            seen.Cancel = form.IsCancelButton(form.BtnBackUp);
            seen.TreeEnabled = form.ShellTreeView1->isEnabled();
            seen.OthersEnabled = form.cbIncludeSubFolders->isEnabled() ||
                                 form.edFileTypesLists->isEnabled() ||
                                 form.BtnFileTypesLists->isEnabled() ||
                                 form.lbFileMasks->isEnabled() || form.edBackUpFile->isEnabled() ||
                                 form.BtnBackUpFile->isEnabled() || form.BtnAbout->isEnabled();
            seen.ExitEnabled = form.BtnExit->isEnabled() && form.BtnBackUp->isEnabled();
            seen.ProgressShown = form.ProgressBar1->isVisible();
        };
        Run(form);
        QCOMPARE(seen.Tag, 1);
        QCOMPARE(seen.Action, QStringLiteral("&Cancel"));
        QCOMPARE(seen.Caption, QStringLiteral("Quillmate 2.1 - src"));
        QVERIFY(!seen.Default);
        QVERIFY(seen.Cancel);
        QVERIFY(!seen.TreeEnabled);
        QVERIFY(!seen.OthersEnabled);
        QVERIFY(seen.ExitEnabled);
        QVERIFY(seen.ProgressShown);
        // Back to idle at the next update; the status keeps the run's last text.
        QCOMPARE(form.Tag(), 0);
        form.ActBackUpUpdate();
        QCOMPARE(form.BtnBackUp->text(), QStringLiteral("&Back-Up"));
        QVERIFY(form.ShellTreeView1->isEnabled() && form.BtnAbout->isEnabled());
        QVERIFY(form.ProgressBar1->isHidden());
        QCOMPARE(form.StatusText(), std::string("Adding \"a.txt\"..."));

        // Idle, not ready: each rule on its own.
        form.edBackUpFile->clear();
        form.ActBackUpUpdate();
        QVERIFY(!form.ActBackUp->isEnabled());
        QCOMPARE(form.windowTitle(), QStringLiteral("Quillmate 2.1"));
        form.edBackUpFile->setText(QStringLiteral("   "));
        form.ActBackUpUpdate();
        QVERIFY(form.ActBackUp->isEnabled());
        form.lbFileMasks->clear();
        form.ActBackUpUpdate();
        QVERIFY(!form.ActBackUp->isEnabled());
        form.edFileTypesListsChange();
        form.ShellTreeView1->SelectFolderByPath(kComputerPath);
        form.ActBackUpUpdate();
        QCOMPARE(form.GetSourceFolder(), std::string());
        QVERIFY(!form.ActBackUp->isEnabled());
        QCOMPARE(form.windowTitle(), QStringLiteral("Quillmate 2.1"));
        // The root folder is named as it is.
        form.ShellTreeView1->SelectFolderByPath(QStringLiteral("/"));
        form.ActBackUpUpdate();
        QCOMPARE(form.GetSourceFolder(), std::string("/"));
        QCOMPARE(form.windowTitle(), QStringLiteral("Quillmate 2.1 - /"));
    }

    void enterRunsEscapeCancelsAndTheStatusLineBelongsToTheRun() {
        F->Dir.File("src/big.txt", RandomBytes(3 << 20));
        TFormMain& form = Ready();
        bool pressed = false;
        std::string statusAfterHover;
        F->Hooks.OnProcess = [&] {
            if (pressed || form.StatusText() != "Adding \"big.txt\"...") return;
            pressed = true;
            // The mouse over a control during the run leaves the status line alone.
            QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
            QApplication::sendEvent(form.BtnExit, &enter);
            statusAfterHover = form.StatusText();
            F->Hooks.Answers.push_back(idYes);
            QTest::keyClick(&form, Qt::Key_Escape);
        };
        // Enter where no control takes it reaches the default button.
        QTest::keyClick(&form, Qt::Key_Return);
        QVERIFY(pressed);
        QCOMPARE(statusAfterHover, std::string("Adding \"big.txt\"..."));
        QCOMPARE(F->Hooks.Titles(), (std::vector<std::string>{"Confirm", "Error"}));
        QCOMPARE(F->Hooks.Boxes[1].Text, std::string("User Aborted Operation"));
        // Idle, Esc means nothing.
        form.ActBackUpUpdate();
        QTest::keyClick(&form, Qt::Key_Escape);
        QCOMPARE(F->Hooks.Boxes.size(), size_t(2));
    }

    void blankBackUpFileNameIsRefused() {
        TFormMain& form = Ready();
        form.edBackUpFile->setText(QStringLiteral("  \t "));
        form.ActBackUpUpdate();
        Run(form);
        QCOMPARE(F->Hooks.Titles(), std::vector<std::string>{"Error"});
        QCOMPARE(F->Hooks.Boxes[0].Text, std::string("Invalid back-up file name."));
        QCOMPARE(form.edBackUpFile->text(), QString());
        QCOMPARE(form.Tag(), 0);
        QVERIFY(form.ZipWriter1.FilesList().empty());
        form.ActBackUpUpdate();
        QVERIFY(!form.ActBackUp->isEnabled());
    }

    void runReplacesThePreviousBackUpWithAFreshArchive() {
        F->Dir.File("out/backup.zip", test::ArchiveEndingIn("an update would fail on it"));
        TFormMain& form = Ready();
        Run(form);
        QCOMPARE(F->Hooks.Titles(), std::vector<std::string>{"Back-Up Complete"});
        QCOMPARE(F->Hooks.Boxes[0].Text,
                 "Back-Up file \"" + FBackUp + "\" is created.\rTotal = 1 files.");
        QCOMPARE(F->Hooks.Boxes[0].Icon, miInformation);
        QCOMPARE(test::ArchiveNames(FBackUp), std::vector<std::string>{"a.txt"});
        QVERIFY(TempFiles(F->Dir.Path() + "/out").isEmpty());

        // With sub folders, paths below the source folder; a second run has only its own lines.
        form.cbIncludeSubFolders->setChecked(true);
        form.ActBackUpUpdate();
        Run(form);
        Run(form);
        QCOMPARE(test::ArchiveNames(FBackUp), (std::vector<std::string>{"a.txt", "sub/b.txt"}));
        QCOMPARE(F->Hooks.Titles().size(), size_t(3));
        QCOMPARE(test::CheckArchive(FBackUp, {{"a.txt", FSource + "/a.txt"},
                                              {"sub/b.txt", FSource + "/sub/b.txt"}}),
                 std::string());
    }

    void aChosenFolderThatDisappearsIsNeverSwappedForAnother() {
        F->Dir.File("src2/other.txt", "a neighbour's file");
        TFormMain& form = Ready();
        QCOMPARE(form.GetSourceFolder(), FSource + "/");
        QVERIFY(QDir(QString::fromStdString(FSource)).removeRecursively());
        // Before the tree has noticed: the run refuses the folder that is gone.
        Run(form);
        QCOMPARE(F->Hooks.Titles(), std::vector<std::string>{"Error"});
        QCOMPARE(F->Hooks.Boxes[0].Text, "Folder \"" + FSource + "\" doesn't exist.");
        QVERIFY(!QFile::exists(QString::fromStdString(FBackUp)));
        // Once it has: no folder is chosen, whatever the tree selected in its place.
        QTRY_VERIFY_WITH_TIMEOUT(form.GetSourceFolder().empty(), 10000);
        QCOMPARE(form.StatusText(), "Folder \"" + FSource + "\" doesn't exist.");
        form.ActBackUpUpdate();
        QVERIFY(!form.ActBackUp->isEnabled());
        QVERIFY(!QFile::exists(QString::fromStdString(FBackUp)));
    }

    void filesAndFoldersThatChangeDuringTheRunAreReported() {
        F->Dir.File("src/b2.txt", "gone before its turn");
        const std::string grow = F->Dir.File("src/grow.txt", std::string(5000, 'g'));
        TFormMain& form = Ready();
        // The window's own handler first; then, with a.txt under way, b2.txt goes, and
        // grow.txt, opened and measured by now, grows while it is read.
        auto handler = form.ZipWriter1.OnStartZip;
        form.ZipWriter1.OnStartZip = [&](TZipWriter& W, const std::string& Name, TZipHeaderInfo& H,
                                         bool& Skip) {
            handler(W, Name, H, Skip);
            if (Name == FSource + "/a.txt")
                QFile::remove(QString::fromStdString(FSource + "/b2.txt"));
            if (Name != grow) return;
            QFile file(QString::fromStdString(grow));
            QVERIFY(file.open(QIODevice::Append));
            file.write("tail");
        };
        Run(form);
        QCOMPARE(F->Hooks.Titles(), std::vector<std::string>{"Back-Up Complete"});
        QCOMPARE(F->Hooks.Boxes[0].Icon, miWarning);
        QCOMPARE(form.SkippedFiles().size(), size_t(1));
        QCOMPARE(form.SkippedFiles()[0].Path, FSource + "/b2.txt");
        QCOMPARE(form.SkippedFiles()[0].Reason, std::string("No such file or directory"));
        QCOMPARE(form.ChangedFiles(), std::vector<std::string>{grow});
        QCOMPARE(test::ArchiveNames(FBackUp), (std::vector<std::string>{"a.txt", "grow.txt"}));
        const std::string kept = test::ReadWholeFile(FBackUp);
        form.ZipWriter1.OnStartZip = handler;

        // A source folder that goes away during the run leaves only part of it: the previous
        // back-up stays.
        F->Hooks.OnProcess = [&] {
            if (form.StatusText() == "Adding \"a.txt\"...")
                QDir(QString::fromStdString(FSource)).removeRecursively();
        };
        Run(form);
        QCOMPARE(F->Hooks.Titles(), (std::vector<std::string>{"Back-Up Complete", "Error"}));
        QCOMPARE(F->Hooks.Boxes[1].Text, "Folder \"" + FSource + "\" doesn't exist.");
        QCOMPARE(test::ReadWholeFile(FBackUp), kept);
        QVERIFY(TempFiles(F->Dir.Path() + "/out").isEmpty());
    }

    void previousBackUpInTheSourceFolderIsLeftOut() {
        // The back-up lies in its own source folder and matches a mask, also under a second
        // name (a hard link): neither it nor the temporary file may end up in the archive.
        FBackUp = FSource + "/backup.zip";
        F->Dir.File("src/backup.zip", test::ArchiveEndingIn("previous"));
        QVERIFY(::link(FBackUp.c_str(), (FSource + "/alias.zip").c_str()) == 0);
        TFormMain& form = Ready("*.txt;*.zip;*.TMP");
        std::vector<std::string> lines;
        F->Hooks.OnProcess = [&] {
            if (lines.empty()) lines = form.ZipWriter1.FilesList();
        };
        Run(form);
        QCOMPARE(test::ArchiveNames(FBackUp), std::vector<std::string>{"a.txt"});
        QVERIFY(TempFiles(FSource).isEmpty());
        QCOMPARE(lines, (std::vector<std::string>{FSource + "/*.TMP", FSource + "/*.txt",
                                                  FSource + "/*.zip"}));
    }

    void emptyMasksAreLeftOutOfTheFileSpecifications() {
        TFormMain& form = Ready("*.txt;;*.dat;", true);
        QCOMPARE(form.lbFileMasks->count(), 4);
        std::vector<std::string> lines;
        F->Hooks.OnProcess = [&] {
            if (lines.empty()) lines = form.ZipWriter1.FilesList();
        };
        Run(form);
        QCOMPARE(lines, (std::vector<std::string>{FSource + "/*.dat", FSource + "/*.txt"}));
        QCOMPARE(test::ArchiveNames(FBackUp),
                 (std::vector<std::string>{"c.dat", "a.txt", "sub/b.txt"}));
        QCOMPARE(F->Hooks.Titles(), std::vector<std::string>{"Back-Up Complete"});
    }

    void cancelAnsweredYesKeepsThePreviousBackUp() {
        F->Dir.File("src/big.txt", RandomBytes(3 << 20));
        const std::string previous =
            F->Dir.File("out/backup.zip", test::ArchiveEndingIn("previous back-up"));
        TFormMain& form = Ready();
        bool asked = false;
        F->Hooks.OnProcess = [&] {
            if (asked || form.StatusText() != "Adding \"big.txt\"...") return;
            asked = true;
            F->Hooks.Answers.push_back(idYes);
            form.BtnBackUp->click();  // the button reads "&Cancel" now
        };
        Run(form);
        QVERIFY(asked);
        QCOMPARE(F->Hooks.Titles(), (std::vector<std::string>{"Confirm", "Error"}));
        const test::TMessageBoxCall& question = F->Hooks.Boxes[0];
        QCOMPARE(question.Text, std::string("Cancel back-up?"));
        QCOMPARE(question.Icon, miQuestion);
        QCOMPARE(question.Buttons, mbYes | mbNo);
        QCOMPARE(question.DefaultButton, idNo);
        QCOMPARE(F->Hooks.Boxes[1].Text, std::string("User Aborted Operation"));
        QCOMPARE(test::ReadWholeFile(previous), test::ArchiveEndingIn("previous back-up"));
        QVERIFY(TempFiles(F->Dir.Path() + "/out").isEmpty());
        QCOMPARE(form.Tag(), 0);
        QCOMPARE(form.StatusText(), std::string("Adding \"big.txt\"..."));
    }

    void cancelAnsweredNoLetsTheRunGoOn() {
        F->Dir.File("src/big.txt", RandomBytes(1 << 20));
        TFormMain& form = Ready();
        bool asked = false;
        F->Hooks.OnProcess = [&] {
            if (asked || form.Tag() == 0) return;
            asked = true;
            F->Hooks.Answers.push_back(idNo);
            form.BtnBackUp->click();
        };
        Run(form);
        QCOMPARE(F->Hooks.Titles(), (std::vector<std::string>{"Confirm", "Back-Up Complete"}));
        QCOMPARE(test::ArchiveNames(FBackUp), (std::vector<std::string>{"a.txt", "big.txt"}));
    }

    void closeDuringARunIsRefused() {
        F->Dir.File("src/big.txt", RandomBytes(3 << 20));
        TFormMain& form = Ready();
        bool closed = true;
        bool tried = false;
        F->Hooks.OnProcess = [&] {
            if (tried || form.Tag() == 0) return;
            tried = true;
            F->Hooks.Answers.push_back(idYes);
            closed = form.close();
        };
        Run(form);
        QVERIFY(tried);
        QVERIFY(!closed);
        QCOMPARE(F->Hooks.Titles(), (std::vector<std::string>{"Confirm", "Error"}));
        QVERIFY(!QFile::exists(QString::fromStdString(FBackUp)));
        // The run has ended: now the window closes.
        QVERIFY(form.close());
    }

    void failedWriteKeepsThePreviousBackUp() {
        // A file size limit makes the archive's writes fall short, as a full disk would.
        F->Dir.File("src/big.txt", RandomBytes(1 << 20));
        const std::string previous =
            F->Dir.File("out/backup.zip", test::ArchiveEndingIn("previous back-up"));
        TFormMain& form = Ready();
        struct rlimit saved {};
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &saved) == 0);
        auto savedHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limited = saved;
        limited.rlim_cur = 64 * 1024;
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &limited) == 0);
        Run(form);
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, savedHandler);
        QCOMPARE(F->Hooks.Titles(), std::vector<std::string>{"Error"});
        QCOMPARE(test::ReadWholeFile(previous), test::ArchiveEndingIn("previous back-up"));
        QVERIFY(TempFiles(F->Dir.Path() + "/out").isEmpty());
        QCOMPARE(form.Tag(), 0);
    }

    void aBackUpThatFailsItsCheckKeepsThePreviousOne() {
        const std::string previous =
            F->Dir.File("out/backup.zip", test::ArchiveEndingIn("previous back-up"));
        TFormMain& form = Ready();
        // One byte of the first entry's local name turned, as a fault of the disk would.
        form.ZipWriter1.OnOutputClosedForTest = [](const std::string& Output) {
            QFile file(QString::fromStdString(Output));
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.seek(31));
            char byte = 0;
            QVERIFY(file.getChar(&byte));
            QVERIFY(file.seek(31));
            QVERIFY(file.putChar(static_cast<char>(byte ^ 0x20)));
        };
        Run(form);
        form.ZipWriter1.OnOutputClosedForTest = nullptr;
        QCOMPARE(F->Hooks.Titles(), std::vector<std::string>{"Error"});
        // Named as the user knows it, not by the run's temporary name.
        QVERIFY2(F->Hooks.Boxes[0].Text.starts_with("Back-up check failed: " + FBackUp + ": "),
                 F->Hooks.Boxes[0].Text.c_str());
        QCOMPARE(test::ReadWholeFile(previous), test::ArchiveEndingIn("previous back-up"));
        QVERIFY(TempFiles(F->Dir.Path() + "/out").isEmpty());
    }

    void missingBackUpFolderIsReportedWithTheBackUpFileName() {
        FBackUp = F->Dir.Path() + "/nowhere/backup.zip";
        TFormMain& form = Ready();
        Run(form);
        QCOMPARE(F->Hooks.Titles(), std::vector<std::string>{"Error"});
        QVERIFY2(F->Hooks.Boxes[0].Text.starts_with("Cannot create file \"" + FBackUp + "\". "),
                 F->Hooks.Boxes[0].Text.c_str());
        QVERIFY(form.ZipWriter1.FilesList().empty());
        QCOMPARE(form.Tag(), 0);
    }

    void specialFilesAreNamedAfterTheRun() {
        QVERIFY(::mkfifo((FSource + "/pipe.txt").c_str(), 0644) == 0);
        TFormMain& form = Ready();
        test::TCaptureStderr err(F->Dir.Path() + "/stderr.txt");
        Run(form);
        const std::string stderrText = err.Text();
        QCOMPARE(F->Hooks.Titles(), std::vector<std::string>{"Back-Up Complete"});
        // Never opened (it would hang the run), never in silence; it holds no data to lose.
        QCOMPARE(F->Hooks.Boxes[0].Text,
                 "Back-Up file \"" + FBackUp +
                     "\" is created.\rTotal = 1 files.\r1 special file(s) (FIFOs, sockets, "
                     "devices) hold no data and were left out.\r" +
                     FSource + "/pipe.txt");
        QCOMPARE(F->Hooks.Boxes[0].Icon, miInformation);
        QVERIFY2(stderrText.find("Left out (not a regular file): " + FSource + "/pipe.txt\n") !=
                     std::string::npos,
                 stderrText.c_str());
        QVERIFY(form.SkippedFiles().empty());
        QCOMPARE(test::ArchiveNames(FBackUp), std::vector<std::string>{"a.txt"});
    }

    void completionTextUsesTheUsersThousandsSeparator() {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        const std::vector<std::string> none;
        QCOMPARE(BackUpCompleteText("/b/x.zip", 1234, none, none),
                 std::string("Back-Up file \"/b/x.zip\" is created.\rTotal = 1,234 files."));
        QCOMPARE(BackUpCompleteText("x.zip", 0, none, none),
                 std::string("Back-Up file \"x.zip\" is created.\rTotal = 0 files."));
        QCOMPARE(BackUpCompleteText("x.zip", 2, {"/s/a", "/s/b", "/s/c"}, {"/s/log"}),
                 std::string("Back-Up file \"x.zip\" is created.\rTotal = 2 files.\r3 file(s) "
                             "could not be read and were left out.\r/s/a\r/s/b\r/s/c\r1 file(s) "
                             "changed while they were read; their copies may be torn.\r/s/log"));
        // Ten are named; the rest are counted.
        std::vector<std::string> many;
        for (int i = 0; i < 12; ++i) many.push_back("/s/" + std::to_string(i));
        const std::string text = BackUpCompleteText("x.zip", 2, many, none);
        QVERIFY(text.find("\r/s/9\rand 2 more") != std::string::npos);
        QVERIFY(text.find("/s/10") == std::string::npos);
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(BackUpCompleteText("x.zip", 1234567, none, none),
                 std::string("Back-Up file \"x.zip\" is created.\rTotal = 1.234.567 files."));
        QLocale::setDefault(QLocale::c());
    }

    void reasonsAndReportLines() {
        QCOMPARE(SkippedFileLine("/a/b", "Permission denied"),
                 std::string("Skipped (cannot be read): /a/b: Permission denied"));
        QCOMPARE(ReasonFileCannotBeRead(F->Dir.Path() + "/missing"),
                 std::string("No such file or directory"));
        QCOMPARE(ReasonFileCannotBeRead(FSource), std::string("Is a directory"));
        const std::string fifo = F->Dir.Path() + "/reason.fifo";
        QCOMPARE(::mkfifo(fifo.c_str(), 0644), 0);
        QCOMPARE(ReasonFileCannotBeRead(fifo), std::string("Not a regular file"));
    }
};

}  // namespace qm

QTEST_MAIN(qm::TFormMainRunTest)
#include "UFormMainRun_test.moc"
