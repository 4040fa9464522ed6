#include "zip/format/PercentOf.h"

namespace qm {

int32_t PercentOf(int64_t Total, int64_t Part) {
    if (Total <= 0 || Part <= 0) return 0;
    if (Part >= Total) return 100;
    // Part < Total here, so Part * 100 fits in 128 bits with room to spare.
    const unsigned __int128 scaled = static_cast<unsigned __int128>(Part) * 100u;
    const auto total = static_cast<unsigned __int128>(Total);
    auto q = static_cast<uint32_t>(scaled / total);
    const unsigned __int128 twiceRest = (scaled % total) * 2u;
    if (twiceRest > total || (twiceRest == total && (q & 1u))) ++q;
    return static_cast<int32_t>(q);
}

int32_t PercentOf(int32_t Total, int32_t Part) {
    return PercentOf(static_cast<int64_t>(Total), static_cast<int64_t>(Part));
}

}  // namespace qm
