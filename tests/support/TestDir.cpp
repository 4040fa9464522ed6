#include "support/TestDir.h"

#include <dirent.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace qm::test {

TestDir::TestDir() {
    std::string base = fs::temp_directory_path().string() + "/qmtest-XXXXXX";
    if (!mkdtemp(base.data())) throw std::runtime_error("mkdtemp failed");
    FPath = base;
}

TestDir::~TestDir() {
    std::error_code ec;
    // Restore permissions that tests took away so that the tree can be removed.
    for (auto it = fs::recursive_directory_iterator(
             FPath, fs::directory_options::skip_permission_denied, ec);
         it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::remove_all(FPath, ec);
}

std::string TestDir::File(const std::string& Relative, const std::string& Content) const {
    fs::path p = fs::path(FPath) / Relative;
    fs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(Content.data(), static_cast<std::streamsize>(Content.size()));
    if (!out) throw std::runtime_error("cannot write " + p.string());
    return p.string();
}

std::string TestDir::Folder(const std::string& Relative) const {
    fs::path p = fs::path(FPath) / Relative;
    fs::create_directories(p);
    return p.string();
}

std::string ReadWholeFile(const std::string& FileName) {
    std::ifstream in(FileName, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + FileName);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> FilesWithPrefix(const std::string& Folder, const std::string& Prefix) {
    std::vector<std::string> out;
    if (DIR* d = ::opendir(Folder.c_str())) {
        while (dirent* e = ::readdir(d)) {
            std::string n = e->d_name;
            if (n.rfind(Prefix, 0) == 0) out.push_back(n);
        }
        ::closedir(d);
    }
    return out;
}

}  // namespace qm::test
