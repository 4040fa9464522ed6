#include "zip/internal/MatchFinder.h"

#include "zip/internal/MatchLength.h"

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

uint32_t TMatchFinder::FindLongestMatch(uint32_t Candidate, uint32_t LengthToBeat) {
    // The loop is bound by the latency of the chain loads; everything else stays in registers.
    const uint8_t* const Window = FWindow;
    const uint16_t* const Links = FLinks;
    uint32_t Budget = FLevel.ChainLimit;
    if (LengthToBeat >= FLevel.GoodLength) Budget >>= 2;
    const uint32_t Limit = FPosition > kMaxDistance ? FPosition - kMaxDistance : 0;
    const uint8_t* const Scan = Window + FPosition;
    const uint32_t Nice = FLevel.NiceLength;
    uint32_t Best = LengthToBeat;
    uint32_t MatchStart = FMatchStart;
    const uint16_t ScanStart = Load16(Scan);
    uint16_t ScanEnd = Load16(Scan + Best - 1);

    for (;;) {
        const uint8_t* const Match = Window + Candidate;
        // Only a candidate that agrees at the end of the best match so far can beat it.
        if (Load16(Match + Best - 1) == ScanEnd && Load16(Match) == ScanStart) [[unlikely]] {
            const uint32_t Length = MatchLength(Scan, Match);
            if (Length > Best) {
                MatchStart = Candidate;
                Best = Length;
                if (Length >= Nice) break;
                ScanEnd = Load16(Scan + Best - 1);
            }
        }
        Candidate = Links[Candidate & kWindowMask];
        if (Candidate <= Limit || --Budget == 0) break;
    }
    FMatchStart = MatchStart;
    return Best;
}

// The main loops keep the hot state in locals and store it back only around the rare calls
// that need it (refill, slide, block output).
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
    auto Insert = [&](uint32_t P) {
        Hash = ((Hash << kHashShift) ^ Window[P + 2]) & kHashMask;
        const uint32_t Candidate = Heads[Hash];
        Links[P & kWindowMask] = static_cast<uint16_t>(Candidate);
        Heads[Hash] = static_cast<uint16_t>(P);
        return Candidate;
    };

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
    auto Insert = [&](uint32_t P) {
        Hash = ((Hash << kHashShift) ^ Window[P + 2]) & kHashMask;
        const uint32_t Candidate = Heads[Hash];
        Links[P & kWindowMask] = static_cast<uint16_t>(Candidate);
        Heads[Hash] = static_cast<uint16_t>(P);
        return Candidate;
    };

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
