#include "zip/deflate/internal/MatchFinder.h"

#include <algorithm>
#include <cstring>

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

void TMatchFinder::SlideWindow() {
    std::memcpy(FWindow, FWindow + kHalfWindow, kHalfWindow);
    FMatchStart = (FMatchStart - kHalfWindow) & 0xFFFF;
    FPosition -= kHalfWindow;
    FBlockStart -= static_cast<int32_t>(kHalfWindow);
    for (uint32_t n = 0; n < kDeflateHashSize; ++n) {
        const uint32_t v = FHeads[n];
        FHeads[n] = static_cast<uint16_t>(v >= kHalfWindow ? v - kHalfWindow : 0);
    }
    for (uint32_t n = 0; n < kDeflateChainSize; ++n) {
        const uint32_t v = FLinks[n];
        FLinks[n] = static_cast<uint16_t>(v >= kHalfWindow ? v - kHalfWindow : 0);
    }
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

// Hashes the string at P into the chains: its predecessor with the same hash becomes its link and
// P the chain's head. Returns that predecessor (0 for none). Both main loops use it on their
// locals, so it must stay inline.
inline uint32_t InsertString(uint8_t* Window, uint16_t* Heads, uint16_t* Links, uint32_t& Hash,
                             uint32_t P) {
    QM_ASSERT(P + kMinMatch <= kDeflateWindowSize);
    Hash = ((Hash << kHashShift) ^ Window[P + 2]) & kHashMask;
    const uint32_t candidate = Heads[Hash];
    Links[P & kWindowMask] = static_cast<uint16_t>(candidate);
    Heads[Hash] = static_cast<uint16_t>(P);
    return candidate;
}

}  // namespace

uint32_t TMatchFinder::FindLongestMatch(uint32_t Candidate, uint32_t LengthToBeat) {
    QM_ASSERT(Candidate < FPosition && FPosition - Candidate <= kMaxDistance);
    // The walk is bound by the latency of the chain loads, one after the other. Chains only ever
    // lead to older positions, so a walk first visits candidates in the upper half of the window
    // (if any) and then those in the lower half. Running the two stretches as separate loops lets
    // each index the links without the mask: one cycle less on every step of the chain.
    const uint8_t* const window = FWindow;
    const uint16_t* const links = FLinks;
    uint32_t budget = FLevel.ChainLimit;
    if (LengthToBeat >= FLevel.GoodLength) budget >>= 2;
    const uint64_t limit = FPosition > kMaxDistance ? FPosition - kMaxDistance : 0;
    const uint8_t* const scan = window + FPosition;
    const uint32_t nice = FLevel.NiceLength;
    uint32_t best = LengthToBeat;
    uint32_t matchStart = FMatchStart;
    const uint16_t scanStart = Load16(scan);

    // A candidate beats best exactly when its bytes 0, 1 and 3 to best agree with the scan (byte
    // 2 agrees through the hash; at best 2 or 3 the end test compares it too). The end test below
    // compares the last up to eight of those bytes in one load, so every candidate that can win
    // passes it, and far fewer that cannot. Below eight it covers every byte that decides.
    uint32_t offset = 0;
    uint64_t mask = 0, scanWord = 0;
    auto setEnd = [&] {
        offset = best > 7 ? best - 7 : 0;
        mask = kEndMasks[best < 10 ? best : 10];
        scanWord = Load64(scan + offset) & mask;
    };
    setEnd();

    // Examines one candidate; true when the search has reached the nice length.
    auto examine = [&](uint64_t candidateAt) {
        const uint8_t* const match = window + candidateAt;
        if (((Load64(match + offset) & mask) == scanWord) && Load16(match) == scanStart)
            [[unlikely]] {
            const uint32_t length = MatchLength(scan, match);
            if (length > best) {
                matchStart = static_cast<uint32_t>(candidateAt);
                best = length;
                if (length >= nice) return true;
                setEnd();
            }
        }
        return false;
    };

    // 64-bit so that the half-window offset folds into the load's displacement. The upper
    // stretch ends at the first candidate below the upper half or at the limit, whichever is
    // higher, with one test; the candidate that ended it then goes through the usual test.
    uint64_t at = Candidate;
    if (at >= kHalfWindow) {
        const uint64_t upperLimit = limit > kHalfWindow - 1 ? limit : kHalfWindow - 1;
        for (;;) {
            const uint64_t next = links[static_cast<int64_t>(at) - int64_t{kHalfWindow}];
            if (examine(at)) goto Done;
            at = next;
            if (at <= upperLimit || --budget == 0) break;
        }
        if (at <= limit || budget == 0 || --budget == 0) goto Done;
    }
    for (;;) {
        const uint64_t next = links[at];
        if (examine(at)) break;
        at = next;
        if (at <= limit || --budget == 0) break;
    }
Done:
    FMatchStart = matchStart;
    return best;
}

// The main loops keep the hot state in locals and store it back only around the rare calls
// that need it (refill, slide, block output).
uint64_t TMatchFinder::DeflateGreedy() {
    uint8_t* const window = FWindow;
    uint16_t* const heads = FHeads;
    uint16_t* const links = FLinks;
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
    uint16_t* const links = FLinks;
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
