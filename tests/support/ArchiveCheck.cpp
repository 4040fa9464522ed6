#include "support/ArchiveCheck.h"

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "support/TestDir.h"

namespace qm::test {

CommandResult RunCommand(const std::string& Command) {
    CommandResult r;
    std::string full = "LC_ALL=C.UTF-8 " + Command + " 2>&1";
    FILE* p = ::popen(full.c_str(), "r");
    if (!p) return r;
    std::array<char, 4096> buf;
    size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) r.Output.append(buf.data(), n);
    int status = ::pclose(p);
    r.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

std::string ShellQuote(const std::string& Text) {
    std::string out = "'";
    for (char c : Text) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

bool ToolAvailable(const std::string& Program) {
    return RunCommand("command -v " + ShellQuote(Program) + " >/dev/null").Status == 0;
}

std::string MissingTools(std::initializer_list<const char*> Programs) {
    std::string missing;
    for (const char* program : Programs) {
        if (ToolAvailable(program)) continue;
        if (!missing.empty()) missing += ", ";
        missing += program;
    }
    return missing;
}

namespace {

// Reads a manifest of "stored name\0source\0" pairs; checks everything zipfile can see.
const char* const kZipfileCheck = R"PY(
import sys, os, time, zipfile
archive, manifest, comment = sys.argv[1], sys.argv[2], sys.argv[3] if len(sys.argv) > 3 else None
parts = open(manifest, 'rb').read().split(b'\0')[:-1]
expected = [(parts[i].decode('utf-8'), parts[i + 1].decode('utf-8')) for i in range(0, len(parts), 2)]
z = zipfile.ZipFile(archive)
bad = z.testzip()
if bad is not None: sys.exit('testzip: bad entry ' + bad)
names = [i.filename for i in z.infolist()]
want = [e[0] for e in expected]
if names != want: sys.exit('names %r, expected %r' % (names, want))
for info, (name, source) in zip(z.infolist(), expected):
    if not source:
        if info.file_size != 0 or not name.endswith('/'): sys.exit('folder entry ' + name)
        continue
    data = open(source, 'rb').read()
    if info.file_size != len(data): sys.exit('%s: size %d, expected %d' % (name, info.file_size, len(data)))
    if z.read(info) != data: sys.exit(name + ': contents differ')
    t = time.localtime(os.stat(source).st_mtime)
    want_dt = (max(t.tm_year, 1980), t.tm_mon, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec // 2 * 2)
    if info.date_time != want_dt: sys.exit('%s: date %r, expected %r' % (name, info.date_time, want_dt))
if comment is not None and z.comment != comment.encode('utf-8'):
    sys.exit('comment %r, expected %r' % (z.comment, comment))
)PY";

}  // namespace

std::string CheckArchive(const std::string& Archive, const ExpectedEntries& Expected,
                         const std::optional<std::string>& Comment) {
    const std::string q = ShellQuote(Archive);
    CommandResult r = RunCommand("unzip -tq " + q);
    // unzip warns (status 1) about an archive without entries, and that is all it does.
    const bool emptyWarning =
        Expected.empty() && r.Status == 1 && r.Output.find("zipfile is empty") != std::string::npos;
    if (r.Status != 0 && !emptyWarning) return "unzip -tq failed: " + r.Output;
    r = RunCommand("7z t " + q);
    if (r.Status != 0 || r.Output.find("Everything is Ok") == std::string::npos)
        return "7z t failed: " + r.Output;
    r = RunCommand("bsdtar -tf " + q);
    if (r.Status != 0) return "bsdtar -tf failed: " + r.Output;
    std::string listed;
    for (const auto& e : Expected) listed += e.first + "\n";
    if (r.Output != listed) return "bsdtar lists:\n" + r.Output + "expected:\n" + listed;

    TestDir scratch;
    std::string manifest;
    for (const auto& e : Expected) {
        manifest += e.first;
        manifest += '\0';
        manifest += e.second;
        manifest += '\0';
    }
    std::string manifestFile = scratch.File("manifest", manifest);
    std::string script = scratch.File("check.py", kZipfileCheck);
    std::string cmd = "python3 " + ShellQuote(script) + " " + q + " " + ShellQuote(manifestFile);
    if (Comment) cmd += " " + ShellQuote(*Comment);
    r = RunCommand(cmd);
    if (r.Status != 0) return "python3 zipfile: " + r.Output;
    return std::string();
}

std::vector<std::string> ArchiveNames(const std::string& Archive) {
    CommandResult r = RunCommand(
        "python3 -c 'import sys,zipfile\nfor n in zipfile.ZipFile(sys.argv[1]).namelist(): "
        "print(n)' " +
        ShellQuote(Archive));
    std::vector<std::string> names;
    std::istringstream in(r.Output);
    std::string line;
    while (std::getline(in, line)) names.push_back(line);
    return names;
}

}  // namespace qm::test
