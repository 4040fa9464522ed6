// qmate as a separate process without a display, as cron runs it: the archive, the settings,
// standard error and the exit status.
#include <signal.h>
#include <sys/stat.h>

#include <QDir>
#include <QProcess>
#include <QtTest>
#include <random>

#include "support/ArchiveCheck.h"
#include "support/TestDir.h"

namespace qm {

namespace {

struct TResult {
    int Status = -1;
    std::string Stderr;
};

}  // namespace

class TQmateProcessTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<test::TestDir> FDir;
    std::string FSource;

    // No display at all: neither variable set, no platform chosen.
    QProcessEnvironment Environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.insert(QStringLiteral("windir"), QString::fromStdString(FDir->Path() + "/ini"));
        return env;
    }
    void Start(QProcess& Process, const QStringList& Arguments) const {
        Process.setProcessEnvironment(Environment());
        Process.setProgram(QStringLiteral(QMATE_PATH));
        Process.setArguments(Arguments);
        Process.start();
        QVERIFY(Process.waitForStarted());
    }
    TResult Run(const QStringList& Arguments) const {
        QProcess process;
        Start(process, Arguments);
        TResult result;
        if (!process.waitForFinished(60000)) return result;
        result.Status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        result.Stderr = process.readAllStandardError().toStdString();
        return result;
    }
    std::string Ini() const { return test::ReadWholeFile(FDir->Path() + "/ini/QMApps.ini"); }
    QString Src() const { return QString::fromStdString("Src=" + FSource); }
    QString Dest(const std::string& Name) const {
        return QString::fromStdString("Dest=" + FDir->Path() + "/" + Name);
    }

  private slots:
    void init() {
        FDir = std::make_unique<test::TestDir>();
        FDir->File("ini/QMApps.ini", "[Quillmate FileTypesLists]\nItem1=Texts,*.txt;*.csv\n");
        FSource = FDir->Folder("docs");
        FDir->File("docs/notes.txt", "notes");
        FDir->File("docs/budget.csv", "1,2,3");
        FDir->File("docs/letters/2026/welcome.txt", "welcome");
    }
    void cleanup() { FDir.reset(); }

    void unattendedRunMakesTheArchiveAndStoresItsValues() {
        TResult r = Run({Src(), QStringLiteral("Sub"), QStringLiteral("Lst=texts"), Dest("b.zip")});
        QCOMPARE(r.Status, 0);
        // Nothing but the program's own messages, and here there are none.
        QCOMPARE(r.Stderr, std::string());
        const std::string archive = FDir->Path() + "/b.zip";
        const std::string problem = test::CheckArchive(
            archive, {{"budget.csv", FSource + "/budget.csv"},
                      {"letters/2026/welcome.txt", FSource + "/letters/2026/welcome.txt"},
                      {"notes.txt", FSource + "/notes.txt"}});
        QVERIFY2(problem.empty(), problem.c_str());
        QVERIFY2(Ini().find("[Quillmate Last]\nDirName=" + FSource +
                            "\nInclSubFolders=1\nFileTypeList=Texts\nBackUpFile=" + archive +
                            "\n") != std::string::npos,
                 Ini().c_str());
    }

    void failingRunExitsOneWithItsMessage() {
        TResult r = Run(
            {QStringLiteral("Src=/no/such/folder"), QStringLiteral("Lst=Texts"), Dest("b.zip")});
        QCOMPARE(r.Status, 1);
        QCOMPARE(r.Stderr, std::string("Error: Folder \"/no/such/folder\" doesn't exist.\n"));
        QVERIFY(!QFile::exists(QString::fromStdString(FDir->Path() + "/b.zip")));

        r = Run({Src(), QStringLiteral("Lst=Texts")});
        QCOMPARE(r.Status, 1);
        QVERIFY(r.Stderr.starts_with(
            "Error: Back-up file name is not defined.\nCommand line usage:\n\n  [path]QMATE.EXE"));
    }

    void withoutParametersTheUsageAndStatusOne() {
        TResult r = Run({});
        QCOMPARE(r.Status, 1);
        QVERIFY(r.Stderr.starts_with("Command line usage:\n\n  [path]QMATE.EXE [Src="));
        QVERIFY(r.Stderr.ends_with("Stamp Notify\n"));
    }

    void notifyAndSkippedFiles() {
        QVERIFY(::mkfifo((FSource + "/pipe.txt").c_str(), 0644) == 0);
        TResult r =
            Run({Src(), QStringLiteral("Lst=Texts"), Dest("b.zip"), QStringLiteral("Notify")});
        QCOMPARE(r.Status, 2);
        const std::string archive = FDir->Path() + "/b.zip";
        QCOMPARE(r.Stderr, "Skipped (cannot be read): " + FSource +
                               "/pipe.txt: Not a regular file\nBack-Up Complete: Back-Up file \"" +
                               archive +
                               "\" is created.\nTotal = 2 files.\n1 file(s) could not be read and "
                               "were left out.\n" +
                               FSource + "/pipe.txt\n");
    }

    void terminationDuringARunKeepsThePreviousBackUp() {
        std::string big(64 << 20, '\0');
        std::mt19937 gen(3);
        for (size_t i = 0; i < big.size(); i += 4) {
            uint32_t v = gen();
            std::memcpy(&big[i], &v, 4);
        }
        FDir->File("docs/big.txt", big);
        big.clear();
        const std::string previous =
            FDir->File("out/b.zip", test::ArchiveEndingIn("previous back-up"));
        // A closed terminal (SIGHUP) cancels like a termination, and leaves nothing behind.
        for (int signal : {SIGTERM, SIGHUP}) {
            QProcess process;
            Start(process,
                  {Src(), QStringLiteral("Lst=Texts"), QString::fromStdString("Dest=" + previous)});
            // Once the run writes its temporary file, it is under way.
            QDir out(QString::fromStdString(FDir->Path() + "/out"));
            QTRY_VERIFY_WITH_TIMEOUT(!out.entryList({QStringLiteral("XQZ*.TMP")}).isEmpty() ||
                                         process.state() == QProcess::NotRunning,
                                     30000);
            QVERIFY(process.state() == QProcess::Running);
            ::kill(static_cast<pid_t>(process.processId()), signal);
            QVERIFY(process.waitForFinished(60000));
            QCOMPARE(process.exitStatus(), QProcess::NormalExit);
            QCOMPARE(process.exitCode(), 1);
            QCOMPARE(process.readAllStandardError().toStdString(),
                     std::string("Error: User Aborted Operation\n"));
            QCOMPARE(test::ReadWholeFile(previous), test::ArchiveEndingIn("previous back-up"));
            QVERIFY(out.entryList({QStringLiteral("XQZ*.TMP")}).isEmpty());
        }
    }
};

}  // namespace qm

QTEST_GUILESS_MAIN(qm::TQmateProcessTest)
#include "QmateProcess_test.moc"
