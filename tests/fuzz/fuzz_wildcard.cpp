// The wildcard matcher on arbitrary patterns and texts: no crash, no read past either, no
// hang, a result code from the table, letter case of A..Z that never changes the answer, and,
// on the patterns the reference covers, the same answer as the independent reference matcher
// (tests/support/ReferenceMatcher.h). The input is the pattern, a zero byte, and the text (all
// of it is the pattern when there is no zero byte).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "support/ReferenceMatcher.h"
#include "zip/walk/WildcardMatch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    const std::string input(reinterpret_cast<const char*>(Data), Size);
    const size_t zero = input.find('\0');
    const std::string pattern = input.substr(0, zero);
    const std::string text = zero == std::string::npos ? std::string() : input.substr(zero + 1);
    const qm::TMatchResult r = qm::MatchPattern(pattern, text);
    if (r < qm::mrMatch || r > qm::mrBadSet) std::abort();
    const bool matched = qm::IsMatch(pattern, text);
    std::string upper = text;
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (qm::IsMatch(pattern, upper) != matched) std::abort();
    const qm::test::TReferenceMatcher reference(pattern);
    if (reference.Covers() && reference.Matches(text) != matched) std::abort();
    qm::MatchAfterStar(pattern, text);
    return 0;
}
