// The terminal progress display: the current file's name part and a bar, on one line of
// standard error that is rewritten in place.
#pragma once

#include <string>

namespace qm::qmzip {

class TProgress {
  public:
    explicit TProgress(bool Enabled) : FEnabled(Enabled) {}
    void StartFile(const std::string& Name);
    void FilePercent(int Percent);
    void TotalPercent(int Percent);
    // Clears the line (before the final message or an error).
    void Finish();

  private:
    void Draw();
    bool FEnabled;
    bool FShown = false;
    std::string FName;
    int FFile = 0;
    int FTotal = -1;
};

}  // namespace qm::qmzip
