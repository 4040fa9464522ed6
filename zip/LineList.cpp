#include "zip/LineList.h"

#include <algorithm>
#include <cstring>

namespace qm {

std::string_view TLineList::View(size_t I) const {
    const TLine& line = FLines[I];
    const TBlock& block = FBlocks[line.Block - FFirstBlock];
    return {block.Chars.get() + line.Offset, line.Length};
}

void TLineList::push_back(std::string_view Line) {
    if (FBlocks.empty() || FBlocks.back().Capacity - FBlocks.back().Used < Line.size()) {
        TBlock block;
        block.Capacity = std::max(kBlockSize, Line.size());
        block.Chars = std::make_unique_for_overwrite<char[]>(block.Capacity);
        FBlocks.push_back(std::move(block));
    }
    TBlock& block = FBlocks.back();
    if (!Line.empty()) std::memcpy(block.Chars.get() + block.Used, Line.data(), Line.size());
    FLines.push_back({static_cast<uint32_t>(FFirstBlock + FBlocks.size() - 1),
                      static_cast<uint32_t>(block.Used), static_cast<uint32_t>(Line.size())});
    block.Used += Line.size();
}

void TLineList::pop_front() {
    FLines.pop_front();
    // Blocks before the new front line's (all of them when the list is empty) hold no line.
    const uint32_t keepFrom =
        FLines.empty() ? FFirstBlock + static_cast<uint32_t>(FBlocks.size()) : FLines.front().Block;
    while (FFirstBlock < keepFrom && FBlocks.size() > 1) {
        FBlocks.pop_front();
        ++FFirstBlock;
    }
    if (FLines.empty() && !FBlocks.empty()) FBlocks.back().Used = 0;
}

void TLineList::clear() {
    FLines.clear();
    FBlocks.clear();
    FFirstBlock = 0;
}

}  // namespace qm
