#include "platform/Assert.h"

#include <cstdio>
#include <cstdlib>

namespace qm::detail {

void AssertionFailed(const char* Condition, const char* File, int Line) noexcept {
    std::fprintf(stderr, "%s:%d: assertion failed: %s\n", File, Line, Condition);
    std::fflush(stderr);
    std::abort();
}

}  // namespace qm::detail
