#include "zip/deflate/internal/MatchFinder.h"

#include "zip/deflate/internal/MatchLength.h"

#include <algorithm>
#include <cstring>

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

    const uint32_t First = FIO.ReadInput(FWindow, static_cast<uint16_t>(kHalfWindow)) & 0xFFFF;
    if (First == 0 || First == 0xFFFF) {
        FEndOfInput = true;
        FLookahead = 0;
    } else {
        FLookahead = std::min(First, kHalfWindow);
        FEndOfInput = false;
        if (FLookahead < kMinLookahead) RefillWindow();
        // Seeded even when fewer than two bytes came: the value is then never used.
        FHash = 0;
        FHash = ((FHash << kHashShift) ^ FWindow[0]) & kHashMask;
        FHash = ((FHash << kHashShift) ^ FWindow[1]) & kHashMask;
    }
    return Greedy ? DeflateGreedy() : DeflateLazy();
}

void TMatchFinder::SlideWindow() {
    std::memcpy(FWindow, FWindow + kHalfWindow, kHalfWindow);
    FMatchStart = (FMatchStart - kHalfWindow) & 0xFFFF;
    FPosition -= kHalfWindow;
    FBlockStart -= static_cast<int32_t>(kHalfWindow);
    for (uint32_t N = 0; N < kDeflateHashSize; ++N) {
        const uint32_t V = FHeads[N];
        FHeads[N] = static_cast<uint16_t>(V >= kHalfWindow ? V - kHalfWindow : 0);
    }
    for (uint32_t N = 0; N < kDeflateHashSize; ++N) {
        const uint32_t V = FLinks[N];
        FLinks[N] = static_cast<uint16_t>(V >= kHalfWindow ? V - kHalfWindow : 0);
    }
}

void TMatchFinder::RefillWindow() {
    // Runs at least once: a slide that is due happens even after the input has ended.
    do {
        uint32_t Free = (kDeflateWindowSize - FLookahead - FPosition) & 0xFFFF;
        if (Free == 0xFFFF) {
            Free = 0xFFFE;
        } else if (FPosition >= kSlideThreshold) {
            SlideWindow();
            Free += kHalfWindow;
        }
        if (FEndOfInput) return;
        uint32_t Got =
            FIO.ReadInput(FWindow + FPosition + FLookahead, static_cast<uint16_t>(Free)) & 0xFFFF;
        if (Got == 0 || Got == 0xFFFF) {
            FEndOfInput = true;
        } else {
            FLookahead += std::min(Got, Free);  // never trust a reader that overdelivers
        }
    } while (FLookahead < kMinLookahead && !FEndOfInput);
}

namespace {

// The bytes of the end test's eight-byte load that decide, by best (10 standing for 10 and more):
// bytes 0 to best, less byte 2 once best is 4 or more, seen from the load's offset (best - 7, or
// 0 below 8). Best is never below 2.
constexpr uint64_t EndMask(uint32_t Best) {
    const uint32_t Offset = Best > 7 ? Best - 7 : 0;
    const uint32_t Top = Best - Offset;
    uint64_t Mask = Top >= 7 ? ~uint64_t{0} : (uint64_t{1} << (8 * (Top + 1))) - 1;
    if (Best >= 4 && Offset <= 2) Mask &= ~(uint64_t{0xFF} << (8 * (2 - Offset)));
    return Mask;
}

constexpr uint64_t kEndMasks[11] = {EndMask(2), EndMask(2), EndMask(2), EndMask(3),
                                    EndMask(4), EndMask(5), EndMask(6), EndMask(7),
                                    EndMask(8), EndMask(9), EndMask(10)};

// Hashes the string at P into the chains: its predecessor with the same hash becomes its link and
// P the chain's head. Returns that predecessor (0 for none). Both main loops use it on their
// locals, so it must stay inline.
inline uint32_t InsertString(uint8_t* Window, uint16_t* Heads, uint16_t* Links, uint32_t& Hash,
                             uint32_t P) {
    Hash = ((Hash << kHashShift) ^ Window[P + 2]) & kHashMask;
    const uint32_t Candidate = Heads[Hash];
    Links[P & kWindowMask] = static_cast<uint16_t>(Candidate);
    Heads[Hash] = static_cast<uint16_t>(P);
    return Candidate;
}

}  // namespace

uint32_t TMatchFinder::FindLongestMatch(uint32_t Candidate, uint32_t LengthToBeat) {
    // The walk is bound by the latency of the chain loads, one after the other. Chains only ever
    // lead to older positions, so a walk first visits candidates in the upper half of the window
    // (if any) and then those in the lower half. Running the two stretches as separate loops lets
    // each index the links without the mask: one cycle less on every step of the chain.
    const uint8_t* const Window = FWindow;
    const uint16_t* const Links = FLinks;
    uint32_t Budget = FLevel.ChainLimit;
    if (LengthToBeat >= FLevel.GoodLength) Budget >>= 2;
    const uint64_t Limit = FPosition > kMaxDistance ? FPosition - kMaxDistance : 0;
    const uint8_t* const Scan = Window + FPosition;
    const uint32_t Nice = FLevel.NiceLength;
    uint32_t Best = LengthToBeat;
    uint32_t MatchStart = FMatchStart;
    const uint16_t ScanStart = Load16(Scan);

    // A candidate beats best exactly when its bytes 0, 1 and 3 to best agree with the scan (byte
    // 2 agrees through the hash; at best 2 or 3 the end test compares it too). The end test below
    // compares the last up to eight of those bytes in one load, so every candidate that can win
    // passes it, and far fewer that cannot. Below eight it covers every byte that decides.
    uint32_t Offset = 0;
    uint64_t Mask = 0, ScanWord = 0;
    auto SetEnd = [&] {
        Offset = Best > 7 ? Best - 7 : 0;
        Mask = kEndMasks[Best < 10 ? Best : 10];
        ScanWord = Load64(Scan + Offset) & Mask;
    };
    SetEnd();

    // Examines one candidate; true when the search has reached the nice length.
    auto Examine = [&](uint64_t At) {
        const uint8_t* const Match = Window + At;
        if (((Load64(Match + Offset) & Mask) == ScanWord) && Load16(Match) == ScanStart)
            [[unlikely]] {
            const uint32_t Length = MatchLength(Scan, Match);
            if (Length > Best) {
                MatchStart = static_cast<uint32_t>(At);
                Best = Length;
                if (Length >= Nice) return true;
                SetEnd();
            }
        }
        return false;
    };

    // 64-bit so that the half-window offset folds into the load's displacement. The upper
    // stretch ends at the first candidate below the upper half or at the limit, whichever is
    // higher, with one test; the candidate that ended it then goes through the usual test.
    uint64_t At = Candidate;
    if (At >= kHalfWindow) {
        const uint64_t UpperLimit = Limit > kHalfWindow - 1 ? Limit : kHalfWindow - 1;
        for (;;) {
            const uint64_t Next = Links[static_cast<int64_t>(At) - int64_t{kHalfWindow}];
            if (Examine(At)) goto Done;
            At = Next;
            if (At <= UpperLimit || --Budget == 0) break;
        }
        if (At <= Limit || Budget == 0 || --Budget == 0) goto Done;
    }
    for (;;) {
        const uint64_t Next = Links[At];
        if (Examine(At)) break;
        At = Next;
        if (At <= Limit || --Budget == 0) break;
    }
Done:
    FMatchStart = MatchStart;
    return Best;
}

// The main loops keep the hot state in locals and store it back only around the rare calls
// that need it (refill, slide, block output).
uint64_t TMatchFinder::DeflateGreedy() {
    uint8_t* const Window = FWindow;
    uint16_t* const Heads = FHeads;
    uint16_t* const Links = FLinks;
    const uint32_t LazyLimit = FLevel.LazyLimit;
    uint32_t Position = FPosition, Lookahead = FLookahead, Hash = FHash;
    auto Store = [&] {
        FPosition = Position;
        FLookahead = Lookahead;
        FHash = Hash;
    };
    auto Reload = [&] {
        Position = FPosition;
        Lookahead = FLookahead;
        Hash = FHash;
    };
    auto Insert = [&](uint32_t P) { return InsertString(Window, Heads, Links, Hash, P); };

    uint32_t MatchLength = 0;
    while (Lookahead != 0) {
        uint32_t Candidate = 0;
        if (Lookahead >= kMinMatch) Candidate = Insert(Position);
        if (Candidate != 0 && Position - Candidate <= kMaxDistance) {
            FPosition = Position;
            MatchLength = FindLongestMatch(Candidate, kMinMatch - 1);
            if (MatchLength > Lookahead) MatchLength = Lookahead;
        }
        const int64_t Input = static_cast<int64_t>(Position) - FBlockStart;
        bool EndBlock;
        if (MatchLength >= kMinMatch) {
            EndBlock = FCoder.RecordMatch(Position - FMatchStart, MatchLength - kMinMatch, Input);
            Lookahead -= MatchLength;
            if (MatchLength <= LazyLimit) {
                --MatchLength;
                do {
                    ++Position;
                    Insert(Position);
                } while (--MatchLength != 0);
                ++Position;
            } else {
                // The inside of a long match is not worth inserting; restart the hash after it.
                Position += MatchLength;
                MatchLength = 0;
                Hash = Window[Position];
                Hash = ((Hash << kHashShift) ^ Window[Position + 1]) & kHashMask;
            }
        } else {
            EndBlock = FCoder.RecordLiteral(Window[Position], Input);
            --Lookahead;
            ++Position;
        }
        if (EndBlock) [[unlikely]] {
            Store();
            EmitBlock(false);
            FBlockStart = static_cast<int32_t>(Position);
        }
        if (Lookahead < kMinLookahead) [[unlikely]] {
            Store();
            RefillWindow();
            Reload();
        }
    }
    Store();
    return EmitBlock(true);
}

uint64_t TMatchFinder::DeflateLazy() {
    uint8_t* const Window = FWindow;
    uint16_t* const Heads = FHeads;
    uint16_t* const Links = FLinks;
    const uint32_t LazyLimit = FLevel.LazyLimit;
    uint32_t Position = FPosition, Lookahead = FLookahead, Hash = FHash;
    auto Store = [&] {
        FPosition = Position;
        FLookahead = Lookahead;
        FHash = Hash;
    };
    auto Reload = [&] {
        Position = FPosition;
        Lookahead = FLookahead;
        Hash = FHash;
    };
    auto Insert = [&](uint32_t P) { return InsertString(Window, Heads, Links, Hash, P); };

    uint32_t MatchLength = kMinMatch - 1;
    bool LiteralPending = false;
    while (Lookahead != 0) {
        uint32_t Candidate = 0;
        if (Lookahead >= kMinMatch) Candidate = Insert(Position);
        const uint32_t PreviousLength = MatchLength;
        const uint32_t PreviousMatch = FMatchStart;
        MatchLength = kMinMatch - 1;
        if (Candidate != 0 && PreviousLength < LazyLimit && Position - Candidate <= kMaxDistance) {
            FPosition = Position;
            MatchLength = FindLongestMatch(Candidate, PreviousLength);
            if (MatchLength > Lookahead) MatchLength = Lookahead;
            if (MatchLength == kMinMatch && Position - FMatchStart > kTooFar)
                MatchLength = kMinMatch - 1;
        }
        const int64_t Input = static_cast<int64_t>(Position) - FBlockStart;
        if (PreviousLength >= kMinMatch && MatchLength <= PreviousLength) {
            const bool EndBlock =
                FCoder.RecordMatch(Position - 1 - PreviousMatch, PreviousLength - kMinMatch, Input);
            Lookahead -= PreviousLength - 1;
            uint32_t Inserts = PreviousLength - 2;
            do {
                ++Position;
                Insert(Position);
            } while (--Inserts != 0);
            LiteralPending = false;
            MatchLength = kMinMatch - 1;
            ++Position;
            if (EndBlock) [[unlikely]] {
                Store();
                EmitBlock(false);
                FBlockStart = static_cast<int32_t>(Position);
            }
        } else if (LiteralPending) {
            if (FCoder.RecordLiteral(Window[Position - 1], Input)) [[unlikely]] {
                Store();
                EmitBlock(false);
                FBlockStart = static_cast<int32_t>(Position);
            }
            ++Position;
            --Lookahead;
        } else {
            LiteralPending = true;
            ++Position;
            --Lookahead;
        }
        if (Lookahead < kMinLookahead) [[unlikely]] {
            Store();
            RefillWindow();
            Reload();
        }
    }
    Store();
    if (LiteralPending) FCoder.RecordLiteral(Window[Position - 1], BlockInput());
    return EmitBlock(true);
}

}  // namespace qm::detail
