// A temporary folder per test, removed with everything in it when the test ends.
#pragma once

#include <string>
#include <vector>

namespace qm::test {

class TestDir {
  public:
    TestDir();
    ~TestDir();
    TestDir(const TestDir&) = delete;
    TestDir& operator=(const TestDir&) = delete;

    // The folder, without a trailing "/".
    const std::string& Path() const { return FPath; }
    // Path + "/" + Relative.
    std::string operator/(const std::string& Relative) const { return FPath + "/" + Relative; }

    // Creates the file (and its folders) with Content; returns its full path.
    std::string File(const std::string& Relative, const std::string& Content = "") const;
    // Creates the folder (and its parents); returns its full path.
    std::string Folder(const std::string& Relative) const;

  private:
    std::string FPath;
};

// The whole content of a file; throws std::runtime_error when it cannot be read.
std::string ReadWholeFile(const std::string& FileName);

// The names of the entries of Folder that begin with Prefix (none when it cannot be listed).
std::vector<std::string> FilesWithPrefix(const std::string& Folder, const std::string& Prefix);

}  // namespace qm::test
