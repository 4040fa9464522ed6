// Start-up and the command-line run: the fallbacks of the stored settings, every parameter
// rule and message, the time stamp, Notify, and the exit status of the run.
#include <sys/stat.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QtTest>
#include <regex>

#include "app/FormMainFixture.h"
#include "app/UCommandLine.h"
#include "app/UFormMainSettings.h"
#include "foldertree/ShellTreeView.h"
#include "support/ArchiveCheck.h"

namespace qm {

class TFormMainCommandLineTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<test::TFormMainFixture> F;
    std::string FSource;
    std::string FDest;

    void WriteLists(const std::string& Last = std::string()) {
        F->WriteIni(
            "[Quillmate FileTypesLists]\nItem1=\"Ms. Office\",*.doc;*.xls\nItem2=Texts,*.txt\n"
            "Item3=Empty,\" \"\n" +
            Last);
    }
    static std::string Selected(const TFormMain& Form) {
        TShellFolder* folder = Form.ShellTreeView1->SelectedShellItem();
        return folder ? folder->Path().toStdString() : std::string();
    }
    std::string FirstBoxText() const {
        return F->Hooks.Boxes.empty() ? std::string() : F->Hooks.Boxes[0].Text;
    }

  private slots:
    void init() {
        F = std::make_unique<test::TFormMainFixture>();
        FSource = F->Dir.Folder("My Documents");
        F->Dir.File("My Documents/a.txt", "a");
        F->Dir.File("My Documents/letters/b.txt", "b");
        F->Dir.File("My Documents/c.doc", "c");
        FDest = F->Dir.Path() + "/MyDoc.zip";
    }
    void cleanup() { F.reset(); }

    void usageTextAndParameterKeywords() {
        const std::string usage = kUsageText;
        QCOMPARE(usage.find('\n'), std::string::npos);
        QCOMPARE(std::count(usage.begin(), usage.end(), '\r'), 7);
        QVERIFY(usage.starts_with("Command line usage:\r\r  [path]qmate [Src="));
        QVERIFY(usage.ends_with("Dest=/home/ann/BackUp/MyDoc.zip Stamp Notify"));
        QVERIFY(usage.find("\r\rNote: Put a parameter in quotes if it contains spaces.\r\r"
                           "Example:\r  /usr/bin/qmate \"Src=/home/ann/Documents\" ") !=
                std::string::npos);
        // The Windows forms must not come back through another line.
        QCOMPARE(usage.find('\\'), std::string::npos);
        QCOMPARE(usage.find("QMATE"), std::string::npos);
        QCOMPARE(NotDefinedMessage("Source folder is not defined."),
                 "Source folder is not defined.\r" + usage);

        QCOMPARE(ParameterKind("SRC=C:\\Data"), pkSrc);
        QCOMPARE(ParameterValue("SRC=C:\\Data"), std::string("C:\\Data"));
        QCOMPARE(ParameterKind("Subway"), pkSub);
        QCOMPARE(ParameterKind("Sub=no"), pkSub);
        QCOMPARE(ParameterKind("lst="), pkLst);
        QCOMPARE(ParameterValue("Lst=MS. OFFICE"), std::string("MS. OFFICE"));
        QCOMPARE(ParameterValue("DEST=x.zip"), std::string("x.zip"));
        QCOMPARE(ParameterKind("stampX"), pkStamp);
        QCOMPARE(ParameterKind("NOTIFY"), pkNotify);
        QCOMPARE(ParameterKind("Source=x"), pkUnknown);
        QCOMPARE(ParameterKind("Src"), pkUnknown);
    }

    void timeStampGoesBeforeTheLastDot() {
        std::tm t{};
        t.tm_year = 2002 - 1900;
        t.tm_mon = 11;
        t.tm_mday = 31;
        t.tm_hour = 23;
        t.tm_min = 59;
        t.tm_sec = 7;
        QCOMPARE(TimeStamp(t), std::string(" 20021231 235907"));
        QCOMPARE(AddTimeStamp("/BackUp/MyDoc.zip", t),
                 std::string("/BackUp/MyDoc 20021231 235907.zip"));
        QCOMPARE(AddTimeStamp("/BackUp/MyDoc", t), std::string("/BackUp/MyDoc 20021231 235907"));
        QCOMPARE(AddTimeStamp("/My.Dir/Backup", t), std::string("/My 20021231 235907.Dir/Backup"));
        QCOMPARE(AddTimeStamp("", t), std::string(" 20021231 235907"));
    }

    void startUpRestoresTheStoredStateWithItsFallbacks() {
        WriteLists("[Quillmate Last]\nDirName=" + FSource +
                   "\nInclSubFolders=1\nFileTypeList=TEXTS\nBackUpFile=/b/x.zip\n");
        TFormMain& form = F->Show();
        QCOMPARE(form.edFileTypesLists->count(), 3);
        QCOMPARE(form.edFileTypesLists->currentText(), QStringLiteral("Texts"));
        QCOMPARE(form.lbFileMasks->count(), 1);
        QVERIFY(form.cbIncludeSubFolders->isChecked());
        QCOMPARE(form.edBackUpFile->text(), QStringLiteral("/b/x.zip"));
        QCOMPARE(Selected(form), FSource);
        QCOMPARE(form.StatusText(), std::string());

        // A folder that is gone: the home folder, and the status line says why. A list that
        // is gone: the first.
        const QByteArray home = qgetenv("HOME");
        const std::string testHome = F->Dir.Folder("home/ann");
        qputenv("HOME", QByteArray::fromStdString(testHome));
        const std::string gone = F->Dir.Path() + "/gone";
        WriteLists("[Quillmate Last]\nDirName=" + gone + "\nFileTypeList=Pictures\n");
        TFormMain& second = F->Show();
        QCOMPARE(Selected(second), testHome);
        QCOMPARE(second.StatusText(), "The folder \"" + gone +
                                          "\" backed up last time no longer exists: showing the "
                                          "home folder.");
        QCOMPARE(second.edFileTypesLists->currentText(), QStringLiteral("Ms. Office"));
        QCOMPARE(second.lbFileMasks->count(), 2);

        // No stored folder: the home folder without a word. An empty stored list name
        // selects the first; no lists at all, nothing.
        WriteLists("[Quillmate Last]\nFileTypeList=\n");
        TFormMain& third = F->Show();
        QCOMPARE(Selected(third), testHome);
        QCOMPARE(third.StatusText(), std::string());
        QCOMPARE(third.edFileTypesLists->currentIndex(), 0);
        qputenv("HOME", home);
        F->WriteIni("");
        TFormMain& none = F->Show();
        QCOMPARE(none.edFileTypesLists->currentIndex(), -1);
        QCOMPARE(none.lbFileMasks->count(), 0);
        none.ActBackUpUpdate();
        QVERIFY(!none.ActBackUp->isEnabled());
    }

    void unattendedRunBacksUpClosesAndStoresItsValues() {
        WriteLists();
        TFormMain& form =
            F->RunCommandLine({"Src=" + FSource, "Sub", "Lst=texts", "Dest=" + FDest});
        QVERIFY(F->Hooks.Boxes.empty());
        QVERIFY(!form.isVisible());
        QCOMPARE(form.ExitStatus(), 0);
        QCOMPARE(test::ArchiveNames(FDest), (std::vector<std::string>{"a.txt", "letters/b.txt"}));
        const std::string ini = F->IniText();
        QVERIFY2(ini.find("[Quillmate Last]\nDirName=" + FSource +
                          "\nInclSubFolders=1\nFileTypeList=Texts\nBackUpFile=" + FDest + "\n") !=
                     std::string::npos,
                 ini.c_str());
    }

    void notifyShowsTheCompletionBoxAndKeepsTheWindow() {
        WriteLists("[Quillmate Last]\nInclSubFolders=1\n");
        TFormMain& form =
            F->RunCommandLine({"Notify", "SRC=" + FSource, "LST=MS. OFFICE", "dest=" + FDest});
        QCOMPARE(F->Hooks.Titles(), std::vector<std::string>{"Back-Up Complete"});
        QVERIFY(form.isVisible());
        QVERIFY(!form.Unattended());
        QCOMPARE(form.ExitStatus(), 0);
        // Sub folders only when Sub is given, whatever was stored.
        QVERIFY(!form.cbIncludeSubFolders->isChecked());
        QCOMPARE(test::ArchiveNames(FDest), std::vector<std::string>{"c.doc"});
    }

    void stampAfterDestStampsBeforeDoesNot() {
        WriteLists();
        F->RunCommandLine({"Src=" + FSource, "Lst=Texts", "Dest=" + FDest, "Stamp"});
        QDir dir(QString::fromStdString(F->Dir.Path()));
        const QStringList stamped = dir.entryList({QStringLiteral("MyDoc *.zip")});
        QCOMPARE(stamped.size(), 1);
        QVERIFY(
            std::regex_match(stamped[0].toStdString(), std::regex(R"(MyDoc \d{8} \d{6}\.zip)")));
        QVERIFY(!QFile::exists(QString::fromStdString(FDest)));
        QVERIFY(F->IniText().find("BackUpFile=" + F->Dir.Path() + "/" + stamped[0].toStdString()) !=
                std::string::npos);

        F->RunCommandLine({"Src=" + FSource, "Lst=Texts", "Stamp", "Dest=" + FDest});
        QVERIFY(QFile::exists(QString::fromStdString(FDest)));
        QCOMPARE(dir.entryList({QStringLiteral("MyDoc *.zip")}).size(), 1);

        // Stamp without Dest stamps the stored name.
        F->RunCommandLine({"Src=" + FSource, "Lst=Texts", "Stamp"});
        QCOMPARE(F->Form->ExitStatus(), 0);
        QVERIFY(std::regex_match(F->Form->edBackUpFile->text().toStdString(),
                                 std::regex(".*/MyDoc \\d{8} \\d{6}\\.zip")));
    }

    void theFirstFailureStopsTheRun_data() {
        QTest::addColumn<QStringList>("parameters");
        QTest::addColumn<QString>("message");
        // Each row gets its own folders (init runs per row): $SRC and $DEST stand for them.
        const QString src = QStringLiteral("Src=$SRC");
        const QString dest = QStringLiteral("Dest=$DEST");
        const QString usage = QString::fromStdString(std::string("\r") + kUsageText);
        QTest::newRow("unknown first") << QStringList{"Foo", src} << "Unknown parameter: Foo.";
        QTest::newRow("unknown later")
            << QStringList{src, "Sub", "Foo=1", "Lst=Texts"} << "Unknown parameter: Foo=1.";
        QTest::newRow("missing folder") << QStringList{"Src=/no/such/folder", "Lst=Texts"}
                                        << "Folder \"/no/such/folder\" doesn't exist.";
        QTest::newRow("empty folder") << QStringList{"Src="} << "Folder \"\" doesn't exist.";
        QTest::newRow("empty list") << QStringList{src, "Lst="} << "Invalid file types list.";
        QTest::newRow("unknown list")
            << QStringList{src, "Lst=Pictures"} << "File types list \"Pictures\" doesn't exist.";
        QTest::newRow("no source")
            << QStringList{"Lst=Texts", dest} << "Source folder is not defined." + usage;
        QTest::newRow("no list") << QStringList{dest, src}
                                 << "File types list is not defined." + usage;
        QTest::newRow("no back-up file") << QStringList{src, "Lst=Texts", "Notify"}
                                         << "Back-up file name is not defined." + usage;
    }
    void theFirstFailureStopsTheRun() {
        QFETCH(QStringList, parameters);
        QFETCH(QString, message);
        const std::string storedLast =
            "[Quillmate Last]\nDirName=/\nInclSubFolders=1\nFileTypeList=Texts\n"
            "BackUpFile=/stored.zip\n";
        WriteLists(storedLast);
        std::vector<std::string> params;
        for (QString p : parameters) {
            p.replace(QStringLiteral("$SRC"), QString::fromStdString(FSource));
            p.replace(QStringLiteral("$DEST"), QString::fromStdString(FDest));
            params.push_back(p.toStdString());
        }
        // What the window shows while the error box is up.
        TLastSettings behindBox;
        F->Hooks.OnBox = [&] {
            behindBox.DirName = Selected(*F->Form);
            behindBox.InclSubFolders = F->Form->cbIncludeSubFolders->isChecked();
            behindBox.FileTypeList = F->Form->edFileTypesLists->currentText().toStdString();
            behindBox.BackUpFile = F->Form->edBackUpFile->text().toStdString();
        };
        TFormMain& form = F->RunCommandLine(params);
        F->Hooks.OnBox = nullptr;
        QCOMPARE(F->Hooks.Titles(), std::vector<std::string>{"Error"});
        QCOMPARE(QString::fromStdString(FirstBoxText()), message);
        QCOMPARE(F->Hooks.Boxes[0].Icon, miError);
        QVERIFY(form.isVisible());
        QCOMPARE(form.ExitStatus(), 1);
        QVERIFY(!QFile::exists(QString::fromStdString(FDest)));
        // Behind the box, what came before the failure is applied (sub folders untick first);
        // what came after was never read.
        QVERIFY(!behindBox.InclSubFolders || parameters.contains(QStringLiteral("Sub")));
        if (parameters.first() == "Src=$SRC") QCOMPARE(behindBox.DirName, FSource);
        if (parameters.first() == "Foo") QCOMPARE(behindBox.DirName, std::string("/"));
        if (QTest::currentDataTag() == QStringLiteral("unknown later")) {
            QVERIFY(behindBox.InclSubFolders);
            QCOMPARE(behindBox.FileTypeList, std::string("Texts"));
        }
        // Once it is closed, the window shows the stored values again, and Exit stores them.
        QCOMPARE(Selected(form), std::string("/"));
        QVERIFY(form.cbIncludeSubFolders->isChecked());
        QCOMPARE(form.edFileTypesLists->currentText(), QStringLiteral("Texts"));
        QCOMPARE(form.lbFileMasks->count(), 1);
        QCOMPARE(form.edBackUpFile->text(), QStringLiteral("/stored.zip"));
        QVERIFY(form.close());
        QVERIFY2(F->IniText().find(storedLast) != std::string::npos, F->IniText().c_str());
    }

    void exitStatusTellsWhatTheRunDid() {
        // A special file holds no data: it is named, and the back-up is complete.
        QVERIFY(::mkfifo((FSource + "/pipe.txt").c_str(), 0644) == 0);
        WriteLists();
        TFormMain& special = F->RunCommandLine({"Src=" + FSource, "Lst=Texts", "Dest=" + FDest});
        QCOMPARE(special.ExitStatus(), 0);
        QCOMPARE(special.LeftOutFiles(), std::vector<std::string>{FSource + "/pipe.txt"});
        QVERIFY(QFile::exists(QString::fromStdString(FDest)));

        // A file that could not be read (gone before its turn): completed, status 2.
        const std::string last = FSource + "/zz-last.txt";
        QVERIFY(QFile(QString::fromStdString(last)).open(QIODevice::WriteOnly));
        F->Hooks.OnProcess = [&] {
            if (F->Form && F->Form->StatusText().starts_with("Adding")) ::unlink(last.c_str());
        };
        TFormMain& skipped = F->RunCommandLine({"Src=" + FSource, "Lst=Texts", "Dest=" + FDest});
        F->Hooks.OnProcess = nullptr;
        QCOMPARE(skipped.ExitStatus(), 2);
        QCOMPARE(skipped.SkippedFiles().size(), size_t(1));
        QVERIFY(QFile::exists(QString::fromStdString(FDest)));

        // A list without masks: nothing runs and no box shows, but the run did not back up.
        TFormMain& empty = F->RunCommandLine({"Src=" + FSource, "Lst=Empty", "Dest=" + FDest});
        QVERIFY(F->Hooks.Boxes.empty());
        QCOMPARE(empty.ExitStatus(), 1);

        // Cancelled by the user: status 1, the window stays, the flag is cleared.
        F->Dir.File("My Documents/big.txt", std::string(4 << 20, 'x'));
        bool asked = false;
        F->Hooks.OnProcess = [&] {
            if (asked || !F->Form || F->Form->Tag() == 0) return;
            asked = true;
            F->Form->SignalReceived();  // SIGTERM during a run: a confirmed cancel
        };
        TFormMain& cancelled = F->RunCommandLine({"Src=" + FSource, "Lst=Texts", "Dest=" + FDest});
        QVERIFY(asked);
        QCOMPARE(F->Hooks.Titles(), std::vector<std::string>{"Error"});
        QCOMPARE(FirstBoxText(), std::string("User Aborted Operation"));
        QCOMPARE(cancelled.ExitStatus(), 1);
        QVERIFY(!cancelled.Unattended());
        QVERIFY(cancelled.isVisible());
        // Outside a run the signal closes the window.
        cancelled.SignalReceived();
        QVERIFY(!cancelled.isVisible());

        // No command line: status 0, nothing posted.
        F->Hooks.OnProcess = nullptr;
        TFormMain& idle = F->Show();
        QCOMPARE(idle.ExitStatus(), 0);
        QVERIFY(idle.isVisible());
    }
};

}  // namespace qm

QTEST_MAIN(qm::TFormMainCommandLineTest)
#include "UFormMainCommandLine_test.moc"
