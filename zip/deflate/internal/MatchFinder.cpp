#include "zip/deflate/internal/MatchFinder.h"

#include <algorithm>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/Assert.h"
#include "zip/deflate/internal/MatchLength.h"

namespace qm::detail {

TMatchFinder::TMatchFinder(TDeflateBuffers& Buffers, TDeflateIO& IO, TBlockCoder& Coder,
                           const TLevelParameters& Level)
    : FWindow(Buffers.Window()),
      FHeads(Buffers.HashHeads()),
      FLinks(Buffers.ChainLinks()),
      FIO(IO),
      FCoder(Coder),
      FLevel(Level) {}

uint64_t TMatchFinder::Run(bool Greedy) {
    std::fill_n(FHeads, kDeflateHashSize, uint16_t{0});
    FPosition = 0;
    FBlockStart = 0;

    const uint32_t first = ReadInput(FWindow, kHalfWindow);
    if (first == 0) {
        FEndOfInput = true;
        FLookahead = 0;
    } else {
        FLookahead = std::min(first, kHalfWindow);
        FEndOfInput = false;
        if (FLookahead < kMinLookahead) RefillWindow();
        // Seeded even when fewer than two bytes came: the value is then never used.
        FHash = 0;
        FHash = ((FHash << kHashShift) ^ FWindow[0]) & kHashMask;
        FHash = ((FHash << kHashShift) ^ FWindow[1]) & kHashMask;
    }
    return Greedy ? DeflateGreedy() : DeflateLazy();
}

uint32_t TMatchFinder::ReadInput(uint8_t* To, uint32_t Count) {
    QM_ASSERT(Count < kReadInputFailed);
    const uint32_t got = FIO.ReadInput(To, static_cast<uint16_t>(Count)) & 0xFFFF;
    return got == kReadInputFailed ? 0 : got;
}

namespace {

// A chain entry holds the four positions before its own on the chain, as 16-bit lanes, nearest
// first.
inline constexpr uint32_t kChainLanes = 4;
inline constexpr uint32_t kLaneBits = 16;
inline constexpr uint64_t kLaneMask = 0xFFFF;
static_assert(kChainLanes * kLaneBits == 64, "the lanes fill the entry");
static_assert(kDeflateWindowSize - 1 <= kLaneMask, "a lane holds any window position");

// Whether every search budget of a level is a whole number of rounds of kChainLanes candidates:
// the chain limit, and in the lazy loop also its quarter. The greedy loop's length to beat, 2, is
// below every good length, so its budget is never cut.
constexpr bool BudgetsFillRounds() {
    for (int level = 1; level <= 9; ++level) {
        const TLevelParameters& p = kLevelTable[level];
        const bool greedy = level <= 3;
        if (p.ChainLimit % kChainLanes != 0) return false;
        if (greedy ? p.GoodLength <= kMinMatch - 1 : (p.ChainLimit >> 2) % kChainLanes != 0)
            return false;
    }
    return true;
}
static_assert(BudgetsFillRounds(), "the chain walk counts its budget once per round");

// Every stored position drops by a half window; those that fall off become 0 ("none"): a
// saturating subtraction, which x86 has as one instruction on eight positions (compilers do not
// find it in the scalar form).
void SlidePositions(uint16_t* __restrict Table, uint32_t Count) {
    uint32_t n = 0;
#if defined(__SSE2__)
    const __m128i half = _mm_set1_epi16(static_cast<int16_t>(kHalfWindow));
    for (; n + 8 <= Count; n += 8) {
        __m128i* const at = reinterpret_cast<__m128i*>(Table + n);
        _mm_storeu_si128(at, _mm_subs_epu16(_mm_loadu_si128(at), half));
    }
#endif
    for (; n < Count; ++n) {
        const uint32_t v = Table[n];
        Table[n] = static_cast<uint16_t>(v >= kHalfWindow ? v - kHalfWindow : 0);
    }
}

}  // namespace

void TMatchFinder::SlideWindow() {
    std::memcpy(FWindow, FWindow + kHalfWindow, kHalfWindow);
    FMatchStart = (FMatchStart - kHalfWindow) & 0xFFFF;
    FPosition -= kHalfWindow;
    FBlockStart -= static_cast<int32_t>(kHalfWindow);
    SlidePositions(FHeads, kDeflateHashSize);
    // Each chain entry is four positions side by side; they slide one by one.
    SlidePositions(reinterpret_cast<uint16_t*>(FLinks), kDeflateChainSize * kChainLanes);
}

void TMatchFinder::RefillWindow() {
    // Runs at least once: a slide that is due happens even after the input has ended.
    do {
        uint32_t freeBytes = (kDeflateWindowSize - FLookahead - FPosition) & 0xFFFF;
        if (freeBytes == kReadInputFailed) {
            freeBytes = kReadInputFailed - 1;  // a request the failure value cannot stand for
        } else if (FPosition >= kSlideThreshold) {
            SlideWindow();
            freeBytes += kHalfWindow;
        }
        if (FEndOfInput) return;
        const uint32_t got = ReadInput(FWindow + FPosition + FLookahead, freeBytes);
        if (got == 0) {
            FEndOfInput = true;
        } else {
            FLookahead += std::min(got, freeBytes);  // never trust a reader that overdelivers
        }
    } while (FLookahead < kMinLookahead && !FEndOfInput);
}

namespace {

// The bytes of the end test's eight-byte load that decide, by best (10 standing for 10 and more):
// bytes 0 to best, less byte 2 once best is 4 or more, seen from the load's offset (best - 7, or
// 0 below 8). Best is never below 2.
constexpr uint64_t EndMask(uint32_t Best) {
    const uint32_t offset = Best > 7 ? Best - 7 : 0;
    const uint32_t top = Best - offset;
    uint64_t mask = top >= 7 ? ~uint64_t{0} : (uint64_t{1} << (8 * (top + 1))) - 1;
    if (Best >= 4 && offset <= 2) mask &= ~(uint64_t{0xFF} << (8 * (2 - offset)));
    return mask;
}

constexpr uint64_t kEndMasks[11] = {EndMask(2), EndMask(2), EndMask(2), EndMask(3),
                                    EndMask(4), EndMask(5), EndMask(6), EndMask(7),
                                    EndMask(8), EndMask(9), EndMask(10)};

// Hashes the string at P into the chains: its predecessor with the same hash becomes its first
// link and P the chain's head; the predecessor's first three links become P's second to fourth.
// Returns that predecessor (0 for none). Both main loops use it on their locals, so it must stay
// inline.
//
// A link past the first is only ever followed from a string whose earlier links all lie within
// the search limit; they are then at most 32,506 back, so their entries have not been reused
// since, and each later link still equals what following the first ones would give. (After a
// link of 0, "none", the later ones are stale values, never followed.) The predecessor's entry is
// read before P's is written, since the two coincide when it lies exactly a half window back.
inline uint32_t InsertString(uint8_t* Window, uint16_t* Heads, uint64_t* Links, uint32_t& Hash,
                             uint32_t P) {
    QM_ASSERT(P + kMinMatch <= kDeflateWindowSize);
    Hash = ((Hash << kHashShift) ^ Window[P + 2]) & kHashMask;
    const uint32_t candidate = Heads[Hash];
    Links[P & kWindowMask] = (Links[candidate & kWindowMask] << kLaneBits) | candidate;
    Heads[Hash] = static_cast<uint16_t>(P);
    return candidate;
}

}  // namespace

uint32_t TMatchFinder::FindLongestMatch(uint32_t Candidate, uint32_t LengthToBeat) {
    QM_ASSERT(Candidate < FPosition && FPosition - Candidate <= kMaxDistance);
    const uint8_t* const window = FWindow;
    const uint64_t* const links = FLinks;
    uint32_t budget = FLevel.ChainLimit;
    if (LengthToBeat >= FLevel.GoodLength) budget >>= 2;
    const uint32_t limit = FPosition > kMaxDistance ? FPosition - kMaxDistance : 0;
    const uint8_t* const scan = window + FPosition;
    const uint32_t nice = FLevel.NiceLength;
    uint32_t best = LengthToBeat;
    uint32_t matchStart = FMatchStart;
    const uint16_t scanStart = Load16(scan);

    // A candidate beats best exactly when its bytes 0, 1 and 3 to best agree with the scan (byte
    // 2 agrees through the hash; at best 2 or 3 the end test compares it too). The end test below
    // compares the last up to eight of those bytes in one load, so every candidate that can win
    // passes it, and far fewer that cannot. Below eight it covers every byte that decides.
    const uint8_t* endBase = window;  // the window seen from the end test's load offset
    uint64_t mask = 0, scanWord = 0;
    auto setEnd = [&] {
        const uint32_t offset = best > 7 ? best - 7 : 0;
        endBase = window + offset;
        mask = kEndMasks[best < 10 ? best : 10];
        scanWord = Load64(scan + offset) & mask;
    };
    setEnd();

    // Examines one candidate; true when the search has reached the nice length.
    auto examine = [&](size_t candidateAt) {
        if (((Load64(endBase + candidateAt) & mask) == scanWord) &&
            Load16(window + candidateAt) == scanStart) [[unlikely]] {
            const uint32_t length = MatchLength(scan, window + candidateAt);
            if (length > best) {
                matchStart = static_cast<uint32_t>(candidateAt);
                best = length;
                if (length >= nice) return true;
                setEnd();
            }
        }
        return false;
    };

    // Candidates c0 to c3, four consecutive ones, each advance by their fourth link, so that
    // four chains of loads are in flight at once while the candidates are still examined one by
    // one in chain order; a candidate is examined only once every one before it has been found
    // above the limit. The indices are machine words so that they serve as addresses without
    // widening.
    const uint64_t first = links[Candidate & kWindowMask];
    size_t c0 = Candidate;
    size_t c1 = first & kLaneMask;
    size_t c2 = (first >> kLaneBits) & kLaneMask;
    size_t c3 = (first >> (2 * kLaneBits)) & kLaneMask;
    auto fourth = [&](size_t At) -> size_t { return links[At & kWindowMask] >> (3 * kLaneBits); };
    // The budget can only run out after every fourth candidate (see kLevelTable): one count per
    // round.
    QM_ASSERT(budget % kChainLanes == 0);
    for (;;) {
        const size_t n0 = fourth(c0);
        if (examine(c0) || c1 <= limit) break;
        const size_t n1 = fourth(c1);
        if (examine(c1) || c2 <= limit) break;
        const size_t n2 = fourth(c2);
        if (examine(c2) || c3 <= limit) break;
        const size_t n3 = fourth(c3);
        if (examine(c3) || n0 <= limit || (budget -= kChainLanes) == 0) break;
        c0 = n0;
        c1 = n1;
        c2 = n2;
        c3 = n3;
    }
    FMatchStart = matchStart;
    return best;
}

// The main loops keep the hot state in locals and store it back only around the rare calls
// that need it (refill, slide, block output).
uint64_t TMatchFinder::DeflateGreedy() {
    uint8_t* const window = FWindow;
    uint16_t* const heads = FHeads;
    uint64_t* const links = FLinks;
    const uint32_t lazyLimit = FLevel.LazyLimit;
    uint32_t position = FPosition, lookahead = FLookahead, hash = FHash;
    auto store = [&] {
        FPosition = position;
        FLookahead = lookahead;
        FHash = hash;
    };
    auto reload = [&] {
        position = FPosition;
        lookahead = FLookahead;
        hash = FHash;
    };
    auto insert = [&](uint32_t P) { return InsertString(window, heads, links, hash, P); };

    uint32_t matchLength = 0;
    while (lookahead != 0) {
        uint32_t candidate = 0;
        if (lookahead >= kMinMatch) candidate = insert(position);
        if (candidate != 0 && position - candidate <= kMaxDistance) {
            FPosition = position;
            matchLength = FindLongestMatch(candidate, kMinMatch - 1);
            if (matchLength > lookahead) matchLength = lookahead;
        }
        const int64_t input = static_cast<int64_t>(position) - FBlockStart;
        bool endBlock;
        if (matchLength >= kMinMatch) {
            endBlock = FCoder.RecordMatch(position - FMatchStart, matchLength - kMinMatch, input);
            lookahead -= matchLength;
            if (matchLength <= lazyLimit) {
                --matchLength;
                do {
                    ++position;
                    insert(position);
                } while (--matchLength != 0);
                ++position;
            } else {
                // The inside of a long match is not worth inserting; restart the hash after it.
                position += matchLength;
                matchLength = 0;
                hash = window[position];
                hash = ((hash << kHashShift) ^ window[position + 1]) & kHashMask;
            }
        } else {
            endBlock = FCoder.RecordLiteral(window[position], input);
            --lookahead;
            ++position;
        }
        if (endBlock) [[unlikely]] {
            store();
            EmitBlock(false);
            FBlockStart = static_cast<int32_t>(position);
        }
        if (lookahead < kMinLookahead) [[unlikely]] {
            store();
            RefillWindow();
            reload();
        }
    }
    store();
    return EmitBlock(true);
}

uint64_t TMatchFinder::DeflateLazy() {
    uint8_t* const window = FWindow;
    uint16_t* const heads = FHeads;
    uint64_t* const links = FLinks;
    const uint32_t lazyLimit = FLevel.LazyLimit;
    uint32_t position = FPosition, lookahead = FLookahead, hash = FHash;
    auto store = [&] {
        FPosition = position;
        FLookahead = lookahead;
        FHash = hash;
    };
    auto reload = [&] {
        position = FPosition;
        lookahead = FLookahead;
        hash = FHash;
    };
    auto insert = [&](uint32_t P) { return InsertString(window, heads, links, hash, P); };

    uint32_t matchLength = kMinMatch - 1;
    bool literalPending = false;
    while (lookahead != 0) {
        uint32_t candidate = 0;
        if (lookahead >= kMinMatch) candidate = insert(position);
        const uint32_t previousLength = matchLength;
        const uint32_t previousMatch = FMatchStart;
        matchLength = kMinMatch - 1;
        if (candidate != 0 && previousLength < lazyLimit && position - candidate <= kMaxDistance) {
            FPosition = position;
            matchLength = FindLongestMatch(candidate, previousLength);
            if (matchLength > lookahead) matchLength = lookahead;
            if (matchLength == kMinMatch && position - FMatchStart > kTooFar)
                matchLength = kMinMatch - 1;
        }
        const int64_t input = static_cast<int64_t>(position) - FBlockStart;
        if (previousLength >= kMinMatch && matchLength <= previousLength) {
            const bool endBlock =
                FCoder.RecordMatch(position - 1 - previousMatch, previousLength - kMinMatch, input);
            lookahead -= previousLength - 1;
            uint32_t inserts = previousLength - 2;
            do {
                ++position;
                insert(position);
            } while (--inserts != 0);
            literalPending = false;
            matchLength = kMinMatch - 1;
            ++position;
            if (endBlock) [[unlikely]] {
                store();
                EmitBlock(false);
                FBlockStart = static_cast<int32_t>(position);
            }
        } else if (literalPending) {
            if (FCoder.RecordLiteral(window[position - 1], input)) [[unlikely]] {
                store();
                EmitBlock(false);
                FBlockStart = static_cast<int32_t>(position);
            }
            ++position;
            --lookahead;
        } else {
            literalPending = true;
            ++position;
            --lookahead;
        }
        if (lookahead < kMinLookahead) [[unlikely]] {
            store();
            RefillWindow();
            reload();
        }
    }
    store();
    if (literalPending) FCoder.RecordLiteral(window[position - 1], BlockInput());
    return EmitBlock(true);
}

}  // namespace qm::detail
