// The behaviour switches of the folder tree.
#pragma once

#include <cstdint>

namespace qm {

enum TShellTreeOption : uint32_t {
    toAllowRename = 1u << 0,
    toAllowDrag = 1u << 1,
    toAllowDrop = 1u << 2,
    toColorCompressed = 1u << 3,
    toExpandTopNode = 1u << 4,
    toExtendedMenu = 1u << 5,
    toShellMenu = 1u << 6,
    toShowFiles = 1u << 7,
    toShowHidden = 1u << 8,
};

// A set of options; the values combine with | and are tested with Has.
class TShellTreeOptions {
  public:
    constexpr TShellTreeOptions() = default;
    constexpr TShellTreeOptions(TShellTreeOption Option) : FBits(Option) {}

    constexpr bool Has(TShellTreeOption Option) const { return (FBits & Option) != 0; }
    constexpr TShellTreeOptions operator|(TShellTreeOptions Other) const {
        return FromBits(FBits | Other.FBits);
    }
    constexpr TShellTreeOptions Without(TShellTreeOption Option) const {
        return FromBits(FBits & ~uint32_t(Option));
    }
    constexpr uint32_t Bits() const { return FBits; }
    constexpr bool operator==(const TShellTreeOptions&) const = default;

  private:
    static constexpr TShellTreeOptions FromBits(uint32_t Bits) {
        TShellTreeOptions result;
        result.FBits = Bits;
        return result;
    }
    uint32_t FBits = 0;
};

constexpr TShellTreeOptions operator|(TShellTreeOption A, TShellTreeOption B) {
    return TShellTreeOptions(A) | B;
}

inline constexpr TShellTreeOptions kDefaultShellTreeOptions =
    toAllowRename | toAllowDrag | toAllowDrop | toExpandTopNode | toShellMenu;

}  // namespace qm
