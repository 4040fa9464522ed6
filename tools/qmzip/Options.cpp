#include "Options.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <stdexcept>

#include "zip/StoredPath.h"
#include "zip/walk/PathUtils.h"

namespace qm::qmzip {

const char* const UsageText =
    "usage: qmzip [-r] [-0..-9] [-a update|replace|freshen] [-x MASK]... [-n MASK]... "
    "[-C ROOTDIR] [-q] [--no-check] ARCHIVE SPEC...\n"
    "\n"
    "Backs up files into the ZIP archive ARCHIVE (created, or updated when it exists).\n"
    "\n"
    "SPEC is a file, a folder entry ending in \"/\", or a wildcard specification\n"
    "FOLDER/MASK (masks: * ? <set>); a folder named without \"/\" stands for FOLDER/*.\n"
    "A relative SPEC is taken relative to ROOTDIR.\n"
    "\n"
    "  -r          search sub folders and store paths relative to ROOTDIR\n"
    "  -0..-9      0 stores every file, 1..9 is the deflate level (default 6)\n"
    "  -a ACTION   for files already in the archive: update (only newer files, the\n"
    "              default), replace (always), freshen (only newer, add nothing new)\n"
    "  -x MASK     never take files matching MASK (a mask with \"/\" is matched\n"
    "              against the whole path); may be repeated\n"
    "  -n MASK     store files matching MASK without compression; may be repeated\n"
    "  -C ROOTDIR  base folder of relative specifications (default: current folder)\n"
    "  -j N, -jN   compress with N threads (default: one per processor; 1 uses no\n"
    "              extra thread); the archive is the same for every N\n"
    "  -q          no progress display\n"
    "  --no-check  do not read the new archive back before it takes its name (by\n"
    "              default every entry is decoded and its CRC-32 and sizes compared)\n"
    "  --help      show this text\n"
    "\n"
    "Every file that is left out is named on standard error:\n"
    "  qmzip: skipped (cannot be read): PATH: REASON   a file or folder that cannot be read\n"
    "  qmzip: no such file: PATH                       a named file that does not exist\n"
    "  qmzip: changed while read: PATH                 stored, but the copy may be torn\n"
    "  qmzip: not a regular file, left out: PATH       a FIFO, socket or device (no data)\n"
    "Symbolic links are stored as links, never followed.\n"
    "\n"
    "Exit status:\n"
    "  0    every file was stored\n"
    "  1    an error, nothing to back up, or the new archive failed its check:\n"
    "       nothing was written and an existing archive is unchanged\n"
    "  2    the archive was written, but files were skipped or changed while read\n"
    "  130  cancelled by SIGINT, SIGTERM or SIGHUP: no partial archive is left and an\n"
    "       existing archive is unchanged\n";

namespace {

std::string NeedValue(const std::vector<std::string>& Args, size_t& i, const std::string& Opt) {
    if (i + 1 >= Args.size()) throw std::invalid_argument("option " + Opt + " needs a value");
    return Args[++i];
}

bool IsFolder(const std::string& Path) {
    struct stat st {};
    return ::stat(Path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A link named as a specification is stored as the link, never taken for its folder.
bool IsFolderItself(const std::string& Path) {
    struct stat st {};
    return ::lstat(Path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

TOptions ParseOptions(const std::vector<std::string>& Args) {
    TOptions o;
    size_t i = 0;
    for (; i < Args.size(); ++i) {
        const std::string& a = Args[i];
        if (a == "--help" || a == "-h") {
            o.Help = true;
            return o;
        }
        if (a == "--") {
            ++i;
            break;
        }
        if (a.size() < 2 || a[0] != '-') break;
        if (a == "-r") {
            o.Recurse = true;
        } else if (a.size() == 2 && a[1] >= '0' && a[1] <= '9') {
            o.PackLevel = a[1] - '0';
        } else if (a == "-a") {
            o.Action = NeedValue(Args, i, a);
            if (o.Action != "update" && o.Action != "replace" && o.Action != "freshen")
                throw std::invalid_argument("unknown action \"" + o.Action +
                                            "\" (update, replace or freshen)");
        } else if (a == "-x") {
            o.Excludes.push_back(NeedValue(Args, i, a));
        } else if (a == "-n") {
            o.NoCompress.push_back(NeedValue(Args, i, a));
        } else if (a == "-C") {
            o.RootDir = NeedValue(Args, i, a);
            if (o.RootDir.empty()) throw std::invalid_argument("option -C needs a folder");
        } else if (a.compare(0, 2, "-j") == 0) {
            const std::string n = a.size() > 2 ? a.substr(2) : NeedValue(Args, i, "-j");
            if (n.empty() || n.size() > 3 || n.find_first_not_of("0123456789") != std::string::npos)
                throw std::invalid_argument("option -j needs a thread count (0 to 999)");
            o.Threads = std::stoi(n);
        } else if (a == "-q") {
            o.Quiet = true;
        } else if (a == "--no-check") {
            o.Check = false;
        } else {
            throw std::invalid_argument("unknown option " + a);
        }
    }
    if (i >= Args.size()) throw std::invalid_argument("no archive named");
    o.Archive = Args[i++];
    for (; i < Args.size(); ++i) o.Specs.push_back(Args[i]);
    if (o.Specs.empty()) throw std::invalid_argument("no file specification given");
    return o;
}

std::string AbsolutePath(const std::string& Path) {
    if (!Path.empty() && Path[0] == '/') return NormalizePath(Path);
    char buf[PATH_MAX];
    std::string cwd = ::getcwd(buf, sizeof buf) ? buf : ".";
    bool trailing = !Path.empty() && Path.back() == '/';
    std::string out = NormalizePath(cwd + "/" + Path);
    if (trailing && out.back() != '/') out += '/';
    return out;
}

std::string MissingFolder(const std::vector<std::string>& Lines) {
    for (const std::string& line : Lines) {
        std::string spec = line;
        if (!spec.empty() && (spec[0] == '|' || spec[0] == '>')) spec.erase(0, 1);
        const std::string folder = DirectoryPart(spec);
        // A folder mask is the walk's to resolve.
        if (folder.empty() || IsWildcard(folder)) continue;
        if (!IsFolder(folder)) return folder;
    }
    return std::string();
}

std::vector<std::string> ExpandSpecs(const std::vector<std::string>& Specs,
                                     const std::string& Root) {
    std::vector<std::string> lines;
    for (const std::string& spec : Specs) {
        if (spec.empty()) continue;
        std::string full = spec[0] == '/' ? spec : Root + spec;
        if (full.back() != '/' && IsFolderItself(full)) full += "/*";
        lines.push_back(full);
    }
    return lines;
}

}  // namespace qm::qmzip
