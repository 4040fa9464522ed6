#include "zip/StoredPath.h"

#include <vector>

namespace qm {

std::string NormalizePath(const std::string& Path) {
    if (Path.empty()) return Path;
    const bool absolute = Path.front() == '/';
    const bool trailing = Path.back() == '/';
    std::vector<std::string> segments;
    size_t start = 0;
    while (start <= Path.size()) {
        size_t end = Path.find('/', start);
        if (end == std::string::npos) end = Path.size();
        std::string seg = Path.substr(start, end - start);
        if (seg == "..") {
            if (!segments.empty()) segments.pop_back();
        } else if (!seg.empty() && seg != ".") {
            segments.push_back(std::move(seg));
        }
        start = end + 1;
    }
    std::string out = absolute ? "/" : "";
    for (size_t i = 0; i < segments.size(); ++i) {
        if (i > 0) out += '/';
        out += segments[i];
    }
    if (trailing && !segments.empty()) out += '/';
    return out;
}

std::string DirectoryPart(const std::string& Path) {
    size_t slash = Path.rfind('/');
    return slash == std::string::npos ? std::string() : Path.substr(0, slash + 1);
}

std::string NamePart(const std::string& Path) {
    size_t slash = Path.rfind('/');
    return slash == std::string::npos ? Path : Path.substr(slash + 1);
}

namespace {

std::string WithoutLeadingSlashes(std::string Text) {
    size_t n = Text.find_first_not_of('/');
    return n == std::string::npos ? std::string() : Text.substr(n);
}

}  // namespace

std::string StoredDirectoryOf(const std::string& FileName, const TStoredPathRules& Rules) {
    if (!Rules.StorePaths) return std::string();
    std::string dir = DirectoryPart(NormalizePath(FileName));
    if (Rules.RelativePaths && !Rules.RootDir.empty()) {
        std::string root = NormalizePath(Rules.RootDir);
        if (!root.empty() && root.back() != '/') root += '/';
        if (dir.compare(0, root.size(), root) == 0) return dir.substr(root.size());
    }
    // Outside the root, or without relative paths: the whole folder path, never absolute.
    // There are no drive parts here, so keeping volumes changes nothing.
    return WithoutLeadingSlashes(dir);
}

std::string StoredNameOf(const std::string& FileName, const TStoredPathRules& Rules) {
    std::string normal = NormalizePath(FileName);
    if (!FileName.empty() && FileName.back() == '/' && (normal.empty() || normal.back() != '/'))
        normal += '/';
    return StoredDirectoryOf(normal, Rules) + NamePart(normal);
}

}  // namespace qm
