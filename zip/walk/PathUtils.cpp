#include "zip/walk/PathUtils.h"

#include <algorithm>

#include "platform/FindFile.h"

namespace qm {

void DosToUnixSeparators(std::string& Text) {
    std::replace(Text.begin(), Text.end(), '\\', '/');
}

void UnixToDosSeparators(std::string& Text) {
    std::replace(Text.begin(), Text.end(), '/', '\\');
}

std::string RightPart(const std::string& Text, int Count) {
    if (Count <= 0) return {};
    const size_t n = static_cast<size_t>(Count);
    return n >= Text.size() ? Text : Text.substr(Text.size() - n);
}

std::string LeftPart(const std::string& Text, int Count) {
    if (Count <= 0) return {};
    return Text.substr(0, std::min(Text.size(), static_cast<size_t>(Count)));
}

bool IsWildcardChar(char C) {
    return C == '*' || C == '?' || C == '<' || C == '>' || C == '|';
}

bool IsWildcard(const std::string& Text) {
    return std::any_of(Text.begin(), Text.end(), IsWildcardChar);
}

void OemFilter(std::string&) {}

std::string ConvertPathName(const std::string& Path, bool WantLong) {
    if (Path.empty()) return Path;
    std::string rest = Path;
    const bool trailing = rest.size() > 1 && rest.back() == '/';
    if (trailing) rest.pop_back();
    // Lookups need the real partial path: an absolute one from "/", a relative one from here.
    std::string result, partial;
    size_t pos = 0;
    if (rest[0] == '/') {
        result = partial = "/";
        pos = 1;
    }
    while (pos <= rest.size()) {
        size_t slash = rest.find('/', pos);
        if (slash == std::string::npos) slash = rest.size();
        std::string segment = rest.substr(pos, slash - pos);
        pos = slash + 1;
        if (segment.empty()) continue;
        partial += segment;
        if (!WantLong) {
            result += segment + "/";
        } else {
            TSearchRec rec;
            if (segment != "." && segment != ".." && !IsWildcard(segment) &&
                FindFirst(partial, 0, rec) == 0) {
                result += rec.Name + "/";
                FindClose(rec);
            } else if (segment == "." || segment == "..") {
                result += segment + "/";
            }
        }
        partial += "/";
    }
    if (!trailing && result.size() > 1 && result.back() == '/') result.pop_back();
    return result;
}

}  // namespace qm
