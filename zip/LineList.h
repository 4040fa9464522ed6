// TLineList: the run's list of file names, kept as runs of characters with a small record per
// name, so that a back-up of a million files holds each path once and without a string object
// (and its heap block) per path. Names leave at the front as the run writes them, and their
// blocks go with them.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>

namespace qm {

class TLineList {
  public:
    size_t size() const { return FLines.size(); }
    bool empty() const { return FLines.empty(); }
    // A copy of line I (0 is the front).
    std::string operator[](size_t I) const { return std::string(View(I)); }
    std::string front() const { return (*this)[0]; }
    std::string_view View(size_t I) const;

    void push_back(std::string_view Line);
    void pop_front();
    void clear();

  private:
    struct TLine {
        uint32_t Block;  // counted from the first block ever made
        uint32_t Offset;
        uint32_t Length;
    };
    struct TBlock {
        std::unique_ptr<char[]> Chars;
        size_t Capacity = 0;
        size_t Used = 0;
    };
    static constexpr size_t kBlockSize = size_t{1} << 16;

    std::deque<TLine> FLines;
    std::deque<TBlock> FBlocks;
    uint32_t FFirstBlock = 0;  // the number of FBlocks.front()
};

}  // namespace qm
