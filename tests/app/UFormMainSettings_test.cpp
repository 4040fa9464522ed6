// The settings sections as the main window and the lists dialog read and write them.
#include <QtTest>
#include <memory>

#include "app/UFormMainSettings.h"
#include "app/UQMApps.h"
#include "support/TestDir.h"

namespace qm {

class TFormMainSettingsTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<test::TestDir> FDir;

    void WriteIni(const std::string& Text) const { FDir->File("QMApps.ini", Text); }
    std::string IniText() const { return test::ReadWholeFile(*FDir / "QMApps.ini"); }

  private slots:
    void init() {
        FDir = std::make_unique<test::TestDir>();
        qputenv("windir", QByteArray::fromStdString(FDir->Path()));
        AppsIniFileName = AppsIniFileNameFromEnvironment();
        AppTitle = kDesignAppTitle;
    }
    void cleanup() { FDir.reset(); }

    void titleStemAndSectionNames() {
        QCOMPARE(GetTitleStem("Quillmate 2.1"), std::string("Quillmate"));
        QCOMPARE(GetTitleStem("Quillmate"), std::string("Quillmate"));
        QCOMPARE(GetTitleStem("My Back Up 3"), std::string("My Back Up"));
        QCOMPARE(FileTypesListsSection(), std::string("Quillmate FileTypesLists"));
        QCOMPARE(WindowSection(), std::string("Quillmate Window"));
        QCOMPARE(LastSection(), std::string("Quillmate Last"));
        AppTitle = "Quillmate";
        QCOMPARE(LastSection(), std::string("Quillmate Last"));
    }

    void settingsFileLocation() {
        QCOMPARE(AppsIniFileName, FDir->Path() + "/QMApps.ini");
        qputenv("windir", "/win/");
        QCOMPARE(AppsIniFileNameFromEnvironment(), std::string("/win/QMApps.ini"));
        qputenv("windir", "");
        qputenv("XDG_CONFIG_HOME", "/xdg");
        QCOMPARE(AppsIniFileNameFromEnvironment(), std::string("/xdg/QMApps.ini"));
        qunsetenv("XDG_CONFIG_HOME");
        qputenv("HOME", "/home/u");
        QCOMPARE(AppsIniFileNameFromEnvironment(), std::string("/home/u/.config/QMApps.ini"));
    }

    void listsStopAtTheFirstGapOrDamagedRecord() {
        WriteIni(
            "[Quillmate FileTypesLists]\nItem1=\"Ms. Office\",*.doc;*.mdb\nItem2=Pics,*.jpg\n"
            "Item4=After,gap\n");
        QCOMPARE(LoadFileTypesListNames(), (std::vector<std::string>{"Ms. Office", "Pics"}));
        WriteIni("[Quillmate FileTypesLists]\nItem1=A,*.a\nItem2=onefield\nItem3=B,*.b\n");
        QCOMPARE(LoadFileTypesListNames(), (std::vector<std::string>{"A"}));
        WriteIni("[Quillmate FileTypesLists]\nItem1=Ms. Office,*.doc\n");
        QVERIFY(LoadFileTypesListNames().empty());  // three fields: damaged
        WriteIni("[Quillmate FileTypesLists]\nItem1=A,*.a\nItem2=A,*.b\n");
        QCOMPARE(LoadFileTypesListNames(), (std::vector<std::string>{"A", "A"}));
    }

    void masksOfTheFirstMatchingList() {
        WriteIni(
            "[Quillmate FileTypesLists]\n"
            "Item1=Semi,\"*.doc; *.txt\"\n"
            "Item2=Space,\"*.doc *.txt\"\n"
            "Item3=Trailing,*.doc;\n"
            "Item4=Double,*.a;;*.b\n"
            "Item5=Quoted,\"\"\"my file\"\";*.x\"\n"
            "Item6=semi,*.second\n");
        using V = std::vector<std::string>;
        QCOMPARE(LoadFileMasks("SEMI"), (V{"*.doc", "*.txt"}));
        QCOMPARE(LoadFileMasks("Space"), (V{"*.doc", "*.txt"}));
        QCOMPARE(LoadFileMasks("Trailing"), (V{"*.doc", ""}));
        QCOMPARE(LoadFileMasks("Double"), (V{"*.a", "", "*.b"}));
        QCOMPARE(LoadFileMasks("Quoted"), (V{"my file", "*.x"}));
        QVERIFY(LoadFileMasks("Nothing").empty());
        QCOMPARE(SemicolonsToCommas("*.a;*.b;"), std::string("*.a,*.b,"));
    }

    void listsRoundTripThroughTheSection() {
        std::vector<TFileTypesList> lists = {
            {"Ms. Office", "*.doc; *.txt"}, {"say \"cheese\"", "*.jpg"}, {"Plain", "*.a;*.b"}};
        WriteIni("[Other]\nx=1\n[Quillmate FileTypesLists]\nItem1=Old,*.o\nItem2=Gone,*.g\n");
        WriteFileTypesListsSection({90, 170}, lists);
        QCOMPARE(IniText(), std::string("[Other]\nx=1\n[Quillmate FileTypesLists]\n"
                                        "Width0=90\nWidth1=170\n"
                                        "Item1=\"Ms. Office\",\"*.doc; *.txt\"\n"
                                        "Item2=\"say \"\"cheese\"\"\",*.jpg\n"
                                        "Item3=Plain,*.a;*.b\n"));
        QCOMPARE(ReadFileTypesLists(), lists);
        QCOMPARE(ReadFileTypesListsColumnWidths({100, 165}), (std::vector<int>{90, 170}));
        WriteIni("[Quillmate FileTypesLists]\nWidth0=0x20\nWidth1=-5\n");
        QCOMPARE(ReadFileTypesListsColumnWidths({100, 165}), (std::vector<int>{32, 165}));
    }

    void windowAndLastSections() {
        WriteIni(
            "[Quillmate Window]\nLeft=0x20\nTop=abc\n[Quillmate Last]\nInclSubFolders=yes\n"
            "FileTypeList=\nBackUpFile=  /b/x.zip \n");
        QCOMPARE(ReadWindowPosition({192, 103}), (TWindowPosition{32, 103}));
        TLastSettings current{"/ignored", false, "Current", "edit"};
        TLastSettings last = ReadLastSettings(current);
        QCOMPARE(last, (TLastSettings{"", false, "", "/b/x.zip"}));
        WriteIni("[Quillmate Last]\nInclSubFolders=2\n");
        last = ReadLastSettings(current);
        QCOMPARE(last, (TLastSettings{"", true, "Current", "edit"}));
    }

    void saveSettingsSkipsTheWindowWhenMinimized() {
        WriteIni("[Quillmate Window]\nLeft=1\nTop=2\n[Keep]\nk=v\n");
        TLastSettings last{"/home/u/My Documents", true, "Ms. Office", " stamped.zip"};
        SaveSettings(std::nullopt, last);
        QCOMPARE(IniText(), std::string("[Quillmate Window]\nLeft=1\nTop=2\n[Keep]\nk=v\n"
                                        "[Quillmate Last]\nDirName=/home/u/My Documents\n"
                                        "InclSubFolders=1\nFileTypeList=Ms. Office\n"
                                        "BackUpFile= stamped.zip\n"));
        SaveSettings(TWindowPosition{-50, 5000}, last);
        QCOMPARE(ReadWindowPosition({0, 0}), (TWindowPosition{-50, 5000}));
        QCOMPARE(IniText().find("[Keep]\nk=v\n"), size_t(0));
    }

    void storedListAndFolderFallbacks() {
        std::vector<std::string> entries = {"Ms. Office", "Pics"};
        QCOMPARE(SelectStoredFileTypesList(entries, 0, "PICS"), 1);
        QCOMPARE(SelectStoredFileTypesList(entries, 0, "Gone"), 0);
        QCOMPARE(SelectStoredFileTypesList(entries, 1, ""), 0);
        QCOMPARE(SelectStoredFileTypesList({}, -1, ""), -1);
        QCOMPARE(SelectStoredFileTypesList({}, -1, "x"), -1);
        QCOMPARE(StartFolderFor(FDir->Path()), FDir->Path());
        // Not there: the user's home folder, and only a stored folder can be gone.
        const QByteArray home = qgetenv("HOME");
        const std::string testHome = FDir->Folder("home");
        qputenv("HOME", QByteArray::fromStdString(testHome));
        QCOMPARE(StartFolderFor(*FDir / "missing"), testHome);
        QCOMPARE(StartFolderFor(""), testHome);
        qputenv("HOME", home);
        QVERIFY(StoredFolderIsGone(*FDir / "missing"));
        QVERIFY(!StoredFolderIsGone(""));
        QVERIFY(!StoredFolderIsGone(FDir->Path()));
    }
};

}  // namespace qm

QTEST_MAIN(qm::TFormMainSettingsTest)
#include "UFormMainSettings_test.moc"
