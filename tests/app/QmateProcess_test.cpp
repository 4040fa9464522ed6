// qmate as a separate process without a display, as cron runs it: the archive, the settings,
// standard error and the exit status.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QProcess>
#include <QtTest>
#include <functional>
#include <random>

#include "platform/RunLock.h"
#include "support/ArchiveCheck.h"
#include "support/TestDir.h"

namespace qm {

namespace {

struct TResult {
    int Status = -1;
    std::string Stdout;
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
        result.Stdout = process.readAllStandardOutput().toStdString();
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
            "Error: Back-up file name is not defined.\nCommand line usage:\n\n  [path]qmate"));
    }

    void withoutParametersTheUsageAndStatusOne() {
        TResult r = Run({});
        QCOMPARE(r.Status, 1);
        QVERIFY(r.Stderr.starts_with("Command line usage:\n\n  [path]qmate [Src="));
        QVERIFY(r.Stderr.ends_with("Stamp Notify\n"));
    }

    // Asked from a shell: the answer on standard output, status 0, no window (so no settings
    // are written) and no error about the parameters around it.
    void helpAndVersionAnswerWithoutAWindow_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("version");
        QTest::newRow("--help") << QStringList{"--help"} << false;
        QTest::newRow("-h among parameters") << QStringList{Src(), "-h", "Foo"} << false;
        QTest::newRow("--version") << QStringList{"--version"} << true;
    }
    void helpAndVersionAnswerWithoutAWindow() {
        QFETCH(QStringList, arguments);
        QFETCH(bool, version);
        const std::string ini = Ini();
        TResult r = Run(arguments);
        QCOMPARE(r.Status, 0);
        QCOMPARE(r.Stderr, std::string());
        if (version) {
            QCOMPARE(r.Stdout, std::string("Quillmate 2.1\n"));
        } else {
            QVERIFY2(r.Stdout.starts_with("Command line usage:\n\n  [path]qmate [Src="),
                     r.Stdout.c_str());
            QVERIFY(r.Stdout.find("\nNote: Put a parameter in quotes if it contains spaces.\n") !=
                    std::string::npos);
            QVERIFY(r.Stdout.ends_with(
                "\n  /usr/bin/qmate \"Src=/home/ann/Documents\" Sub \"Lst=Ms. Office Documents\" "
                "Dest=/home/ann/BackUp/MyDoc.zip Stamp Notify\n"));
        }
        QCOMPARE(Ini(), ini);
    }

    // A FIFO holds no data: it is named on its own line and the run still counts as complete.
    void notifyAndSkippedFiles() {
        QVERIFY(::mkfifo((FSource + "/pipe.txt").c_str(), 0644) == 0);
        TResult r =
            Run({Src(), QStringLiteral("Lst=Texts"), Dest("b.zip"), QStringLiteral("Notify")});
        QCOMPARE(r.Status, 0);
        const std::string archive = FDir->Path() + "/b.zip";
        QCOMPARE(r.Stderr, "Left out (not a regular file): " + FSource +
                               "/pipe.txt\nBack-Up Complete: Back-Up file \"" + archive +
                               "\" is created.\nTotal = 2 files.\n1 special file(s) (FIFOs, "
                               "sockets, devices) hold no data and were left out.\n" +
                               FSource + "/pipe.txt\n");
    }

    // What comes back is what was saved: modes, times to the second, links as links,
    // hidden folders, whichever program backs up and whichever reader restores.
    void roundTripGivesBackModesTimesAndLinks_data() {
        QTest::addColumn<QString>("Writer");
        QTest::addColumn<QString>("Reader");
        for (const char* writer : {"qmzip", "qmate"})
            for (const char* reader : {"unzip -X -q", "bsdtar -xpf"})
                QTest::newRow((std::string(writer) + " / " + reader).c_str())
                    << QString::fromLatin1(writer) << QString::fromLatin1(reader);
    }
    void roundTripGivesBackModesTimesAndLinks() {
        QFETCH(QString, Writer);
        QFETCH(QString, Reader);
        const std::string reader = Reader.toStdString();
        const std::string tool = reader.substr(0, reader.find(' '));
        if (!test::ToolAvailable(tool)) QSKIP(("needs " + tool + " on the PATH").c_str());
        const std::string home = FDir->Folder("home");
        const struct {
            const char* Name;
            mode_t Mode;
            time_t Time;
        } files[] = {
            {"id_key", 0600, 1700000001},           // private, an odd second
            {"run.sh", 0755, 1700000002},           // a script
            {"old.txt", 0644, 170856001},           // 1975, before DOS times begin
            {".config/app.conf", 0640, 1600000003}  // in a hidden folder
        };
        for (const auto& f : files) {
            const std::string path = FDir->File("home/" + std::string(f.Name), f.Name);
            QVERIFY(::chmod(path.c_str(), f.Mode) == 0);
            const struct timespec times[2] = {{f.Time, 0}, {f.Time, 0}};
            QVERIFY(::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0);
        }
        const std::pair<const char*, const char*> links[] = {
            {"key.link", "id_key"}, {"config.link", ".config"}, {"dangling.link", "nowhere"}};
        for (const auto& [name, target] : links)
            QVERIFY(::symlink(target, (home + "/" + name).c_str()) == 0);
        QVERIFY(::mkfifo((home + "/fifo").c_str(), 0644) == 0);

        const std::string archive = FDir->Path() + "/home.zip";
        int status = -1;
        std::string errors;
        if (Writer == QStringLiteral("qmzip")) {
            const test::CommandResult r =
                test::RunCommand(test::ShellQuote(QMZIP_PATH) + " -q -r -C " +
                                 test::ShellQuote(home) + " " + test::ShellQuote(archive) + " '*'");
            status = r.Status;
            errors = r.Output;
            // Standard output (the count) and standard error together.
            QCOMPARE(errors, "qmzip: not a regular file, left out: " + home + "/fifo\n" +
                                 "7 files added\n");
        } else {
            FDir->File("ini/QMApps.ini", "[Quillmate FileTypesLists]\nItem1=All,*\n");
            const TResult r = Run({QString::fromStdString("Src=" + home), QStringLiteral("Sub"),
                                   QStringLiteral("Lst=All"), Dest("home.zip")});
            status = r.Status;
            QCOMPARE(r.Stderr, "Left out (not a regular file): " + home + "/fifo\n");
        }
        QCOMPARE(status, 0);

        const std::string restored = FDir->Folder("restored");
        const test::CommandResult x = test::RunCommand("cd " + test::ShellQuote(restored) + " && " +
                                                       reader + " " + test::ShellQuote(archive));
        QVERIFY2(x.Status == 0, x.Output.c_str());
        for (const auto& f : files) {
            struct stat st {};
            QVERIFY2(::lstat((restored + "/" + f.Name).c_str(), &st) == 0, f.Name);
            QCOMPARE(st.st_mode, S_IFREG | f.Mode);
            QCOMPARE(st.st_mtime, f.Time);
        }
        for (const auto& [name, target] : links) {
            struct stat source {
            }, back{};
            QVERIFY(::lstat((home + "/" + name).c_str(), &source) == 0);
            QVERIFY2(::lstat((restored + "/" + name).c_str(), &back) == 0, name);
            QVERIFY2(S_ISLNK(back.st_mode), name);
            char got[64] = {};
            QVERIFY(::readlink((restored + "/" + name).c_str(), got, sizeof got - 1) > 0);
            QCOMPARE(std::string(got), std::string(target));
            // unzip gives a link the time of its extraction; the other reader restores it.
            if (tool == "bsdtar") QCOMPARE(back.st_mtime, source.st_mtime);
        }
        struct stat folder {};
        QVERIFY(::lstat((restored + "/.config").c_str(), &folder) == 0);
        QVERIFY(S_ISDIR(folder.st_mode));
        struct stat fifo {};
        QVERIFY(::lstat((restored + "/fifo").c_str(), &fifo) != 0);
    }

    // Runs that find nothing to back up, or may not write where they were sent: each keeps the
    // previous back-up (or the file in its place) byte for byte, and says why.
    void runsThatMustNotReplaceThePreviousBackUp() {
        struct TCase {
            const char* Name;
            std::function<void()> Arrange;
            QStringList Arguments;  // Src= and the list come first
            std::string Dest;       // the previous back-up, or the file in its place
            std::string Content;
            std::string Message;
        };
        const std::string previous = test::ArchiveEndingIn("previous back-up");
        const std::string docs = FSource;
        const std::string empty = FDir->Folder("empty");
        TRunLock held;
        std::vector<TCase> cases = {
            {"empty source",
             [] {},
             {QString::fromStdString("Src=" + empty)},
             "b.zip",
             previous,
             "Nothing to back up: no file in \"" + empty + "\" matches the list \"Texts\"."},
            {"nothing matches",
             [&] {
                 FDir->File("ini/QMApps.ini",
                            "[Quillmate FileTypesLists]\nItem1=Texts,*.txt\nItem2=Photos,*.jpg\n");
             },
             {Src(), QStringLiteral("Lst=Photos")},
             "b.zip",
             previous,
             "Nothing to back up: no file in \"" + docs + "\" matches the list \"Photos\"."},
            {"a document given as the back-up file",
             [] {},
             {Src()},
             "docs/letter.txt",
             "PK\x03\x04 a letter, not a back-up",
             "\"" + FDir->Path() +
                 "/docs/letter.txt\" is not a back-up file (not a ZIP archive); "
                 "choose another name."},
            // A document in a ZIP container: its first entry names its type.
            {"an OpenDocument given as the back-up file",
             [] {},
             {Src()},
             "docs/thesis.odt",
             test::ArchiveEndingIn(std::string("PK\x03\x04", 4) + std::string(22, '\0') +
                                   std::string("\x08\0\0\0", 4) +
                                   "mimetypeapplication/vnd.oasis.opendocument.text"),
             "\"" + FDir->Path() +
                 "/docs/thesis.odt\" is not a back-up file (not a ZIP archive); "
                 "choose another name."},
            {"a mask that names a folder",
             [&] {
                 FDir->File("ini/QMApps.ini",
                            "[Quillmate FileTypesLists]\nItem1=Texts,*.txt;../*\n");
             },
             {Src()},
             "b.zip",
             previous,
             "The file types list \"Texts\" holds the mask \"../*\", which names a folder "
             "(\"/\"); edit the list."},
            {"another run on the back-up file",
             [&] { QVERIFY(held.TryLock(FDir->Path() + "/b.zip") && held.Locked()); },
             {Src()},
             "b.zip",
             previous,
             "\"" + FDir->Path() + "/b.zip\" is in use by another back-up."},
        };
        for (TCase& c : cases) {
            FDir->File("ini/QMApps.ini", "[Quillmate FileTypesLists]\nItem1=Texts,*.txt;*.csv\n");
            c.Arrange();
            const std::string dest = FDir->File(c.Dest, c.Content);
            QStringList arguments = c.Arguments;
            if (!arguments.join(' ').contains(QStringLiteral("Lst=")))
                arguments << QStringLiteral("Lst=Texts");
            arguments << QString::fromStdString("Dest=" + dest);
            TResult r = Run(arguments);
            QVERIFY2(r.Status == 1, c.Name);
            QVERIFY2(r.Stderr.find(c.Message) != std::string::npos,
                     (c.Name + (": " + r.Stderr)).c_str());
            QVERIFY2(test::ReadWholeFile(dest) == c.Content, c.Name);
            QVERIFY2(QDir(QString::fromStdString(FDir->Path()))
                         .entryList({QStringLiteral("XQZ*.TMP")})
                         .isEmpty(),
                     c.Name);
            held.Unlock();
            QVERIFY(::unlink(dest.c_str()) == 0);
        }
        // A source that cannot be read is a source with nothing to back up (root reads anything).
        if (::geteuid() != 0) {
            const std::string dest = FDir->File("b.zip", previous);
            QVERIFY(::chmod(FSource.c_str(), 0) == 0);
            TResult r = Run({Src(), QStringLiteral("Lst=Texts"), Dest("b.zip")});
            ::chmod(FSource.c_str(), 0755);
            QCOMPARE(r.Status, 1);
            QVERIFY2(r.Stderr.find("Nothing to back up") != std::string::npos, r.Stderr.c_str());
            QCOMPARE(test::ReadWholeFile(dest), previous);
        }
    }

    // The back-up file keeps its mode, owner and group; a new one is for its owner only. A list
    // longer than the old platform's value buffer is read whole.
    void theBackUpFileKeepsItsPermissions() {
        std::string masks;
        for (int i = 0; masks.size() < 3000; ++i) masks += "*.e" + std::to_string(i) + ";";
        FDir->File("ini/QMApps.ini",
                   "[Quillmate FileTypesLists]\nItem1=Long,\"" + masks + "*.txt\"\n");
        TResult r = Run({Src(), QStringLiteral("Lst=Long"), Dest("new.zip")});
        QCOMPARE(r.Status, 0);
        QCOMPARE(test::ArchiveNames(FDir->Path() + "/new.zip"),
                 std::vector<std::string>{"notes.txt"});
        struct stat st {};
        QVERIFY(::stat((FDir->Path() + "/new.zip").c_str(), &st) == 0);
        QCOMPARE(st.st_mode & 07777, mode_t(0600));

        // A previous back-up shared with a group, and given to another user where that is
        // possible; reached through a link, which stays a link.
        const std::string old = FDir->File("kept.zip", test::ArchiveEndingIn(""));
        QVERIFY(::chmod(old.c_str(), 0640) == 0);
        const bool root = ::geteuid() == 0;
        if (root) QVERIFY(::chown(old.c_str(), 65534, 65534) == 0);
        QVERIFY(::symlink("kept.zip", (FDir->Path() + "/link.zip").c_str()) == 0);
        r = Run({Src(), QStringLiteral("Lst=Long"), Dest("link.zip")});
        QCOMPARE(r.Status, 0);
        QCOMPARE(test::ArchiveNames(old), std::vector<std::string>{"notes.txt"});
        QVERIFY(::lstat((FDir->Path() + "/link.zip").c_str(), &st) == 0 && S_ISLNK(st.st_mode));
        QVERIFY(::stat(old.c_str(), &st) == 0);
        QCOMPARE(st.st_mode & 07777, mode_t(0640));
        if (root) QCOMPARE(st.st_uid, uid_t(65534));
        if (root) QCOMPARE(st.st_gid, gid_t(65534));
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
