// The percentages the system shows: Part of Total, 0 to 100.
#pragma once

#include <concepts>
#include <cstdint>
#include <type_traits>

namespace qm {

// 0 when Total <= 0 (or Part <= 0); else Part * 100 / Total rounded to the nearest integer,
// halves to even, capped at 100. Computed without overflow for every argument.
int32_t PercentOf(int32_t Total, int32_t Part);
int32_t PercentOf(int64_t Total, int64_t Part);

// Mixed integer arguments take the 64-bit form.
template <std::integral A, std::integral B>
requires(!(std::is_same_v<A, B> &&
           (std::is_same_v<A, int32_t> || std::is_same_v<A, int64_t>))) int32_t
    PercentOf(A Total, B Part) {
    return PercentOf(static_cast<int64_t>(Total), static_cast<int64_t>(Part));
}

}  // namespace qm
