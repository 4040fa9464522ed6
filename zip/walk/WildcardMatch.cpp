#include "zip/walk/WildcardMatch.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace qm {

namespace {

thread_local TStarSet StarSet;

unsigned char Lower(char C) {
    auto c = static_cast<unsigned char>(C);
    return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

// One top-level match. Positions are offsets into the whole pattern and text; a nested match
// works on their suffixes, so (pattern offset, text offset) names every sub-problem. Its result
// and the star set it leaves depend on nothing else, which makes them safe to remember.
class TMatcher {
  public:
    TMatcher(std::string_view P, std::string_view T) : FP(P), FT(T) {}

    TMatchResult Pattern(size_t Pa, size_t Ta);
    TMatchResult AfterStar(size_t Pa, size_t Ta);

  private:
    // Parses the star set whose "*" is at Star; false when it is malformed. End receives the
    // offset just past its ">".
    bool ParseStarSet(size_t Star, size_t& End);
    void ClearStarSet() {
        StarSet = TStarSet{};
        FStarSource = kNoSet;
    }
    TMatchResult Nested(size_t Pa, size_t Ta);

    static constexpr uint32_t kNoSet = 0xFFFFFFFFu;
    // Nested matches tried before sub-results are remembered: plain masks never pay for it.
    static constexpr int kMemoAfter = 256;

    std::string_view FP, FT;
    uint32_t FStarSource = kNoSet;  // offset of the "*" whose set is current
    int FNestedCalls = 0;
    // Per (pattern offset, text offset): 0 unknown, else result | (star source + 1) << 3.
    std::vector<uint64_t> FMemo;
};

bool TMatcher::ParseStarSet(size_t Star, size_t& End) {
    const size_t n = FP.size();
    size_t pi = Star + 2;
    TStarSet set;
    if (pi < n && (FP[pi] == '^' || FP[pi] == '!')) {
        set.Inverted = true;
        ++pi;
    }
    for (;;) {
        if (pi >= n) return false;  // no closing ">"
        if (FP[pi] == '>') break;
        if (pi + 1 < n && FP[pi + 1] == '-') {
            if (pi + 2 >= n) return false;
            for (unsigned c = Lower(FP[pi]); c <= Lower(FP[pi + 2]); ++c) set.Members.set(c);
            pi += 2;
        } else {
            set.Members.set(Lower(FP[pi]));
        }
        ++pi;
    }
    End = pi + 1;
    StarSet = set;
    FStarSource = static_cast<uint32_t>(Star);
    return true;
}

TMatchResult TMatcher::Nested(size_t Pa, size_t Ta) {
    if (++FNestedCalls <= kMemoAfter) return Pattern(Pa, Ta);
    const size_t stride = FT.size() + 1;
    if (FMemo.empty()) FMemo.assign((FP.size() + 1) * stride, 0);
    uint64_t& slot = FMemo[Pa * stride + Ta];
    if (slot != 0) {
        const auto source = static_cast<uint32_t>((slot >> 3) - 1);
        size_t end = 0;
        ClearStarSet();
        if (source != kNoSet) ParseStarSet(source, end);
        return static_cast<TMatchResult>(slot & 7);
    }
    TMatchResult r = Pattern(Pa, Ta);
    // The slot reference may not survive the nested call's own use of the table.
    FMemo[Pa * stride + Ta] = static_cast<uint64_t>(r) | (uint64_t{FStarSource} + 1) << 3;
    return r;
}

TMatchResult TMatcher::Pattern(size_t Pa, size_t Ta) {
    ClearStarSet();
    const size_t n = FP.size(), m = FT.size();
    if (n - Pa == 1 && FP[Pa] == '*') return mrMatch;
    int result = mrNone;
    size_t pi = Pa, ti = Ta;
    while (result == mrNone && pi < n) {
        if (ti >= m) return FP[pi] == '*' && pi == n - 1 ? mrMatch : mrStop;
        const char c = FP[pi];
        if (c == '*') {
            if (pi + 1 < n && FP[pi + 1] == '<') {
                if (!ParseStarSet(pi, pi)) return mrBadSet;
            } else {
                ClearStarSet();
            }
            result = AfterStar(pi, ti);
        } else if (c == '<') {
            ++pi;
            bool inverted = false;
            if (pi < n && (FP[pi] == '!' || FP[pi] == '^')) {
                inverted = true;
                ++pi;
            }
            if (pi >= n || FP[pi] == '>') return mrBadSet;
            const unsigned char t = Lower(FT[ti]);
            bool matched = false;
            while (!matched && FP[pi] != '>') {
                const size_t s = pi;
                size_t e = pi;
                ++pi;
                if (pi >= n) return mrBadSet;
                if (FP[pi] == '-') {
                    ++pi;
                    e = pi;
                    if (pi >= n || FP[pi] == '>') return mrBadSet;
                    ++pi;
                }
                if (pi >= n) return mrBadSet;
                matched = Lower(FP[s]) <= t && t <= Lower(FP[e]);
            }
            if (inverted == matched) return mrSetMismatch;
            while (pi < n && FP[pi] != '>') ++pi;
            if (pi >= n) return mrBadSet;
        } else if (c != '?' && Lower(c) != Lower(FT[ti])) {
            result = mrCharMismatch;
        }
        ++pi;
        ++ti;
    }
    if (result == mrNone) return ti >= m ? mrMatch : mrPatternEnded;
    return static_cast<TMatchResult>(result);
}

TMatchResult TMatcher::AfterStar(size_t Pa, size_t Ta) {
    const size_t n = FP.size(), m = FT.size();
    const bool patternEmpty = Pa >= n;
    TMatchResult result = mrNone;
    size_t pi = Pa, ti = Ta;
    if (!patternEmpty) {
        // Swallow further stars, and question marks while text lasts; a final "?" stays.
        while (pi < n && ((ti < m && pi + 1 < n && FP[pi] == '?') || FP[pi] == '*')) {
            if (FP[pi] == '?') ++ti;
            ++pi;
        }
    }
    if (ti >= m) return mrStop;
    if (!patternEmpty && pi >= n) return mrMatch;
    do {
        if (!patternEmpty && (Lower(FP[pi]) == Lower(FT[ti]) || FP[pi] == '<'))
            result = Nested(pi, ti);
        if (result != mrMatch && StarSet.Members.any()) {
            const bool in = StarSet.Members.test(Lower(FT[ti]));
            if (in == StarSet.Inverted) return mrStop;
        }
        ++ti;
    } while (result != mrMatch && ti < m);
    if (patternEmpty && ti >= m) result = mrMatch;
    return result;
}

}  // namespace

const TStarSet& MatcherStarSet() {
    return StarSet;
}

TMatchResult MatchPattern(const std::string& Pattern, const std::string& Text) {
    return TMatcher(Pattern, Text).Pattern(0, 0);
}

TMatchResult MatchAfterStar(const std::string& Pattern, const std::string& Text) {
    return TMatcher(Pattern, Text).AfterStar(0, 0);
}

bool IsMatch(const std::string& Pattern, const std::string& Text) {
    return MatchPattern(Pattern, Text) == mrMatch;
}

}  // namespace qm
