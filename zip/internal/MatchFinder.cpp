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
    uint32_t Budget = FLevel.ChainLimit;
    if (LengthToBeat >= FLevel.GoodLength) Budget >>= 2;
    const uint32_t Limit = FPosition > kMaxDistance ? FPosition - kMaxDistance : 0;
    const uint8_t* Scan = FWindow + FPosition;
    const uint32_t Nice = FLevel.NiceLength;
    uint32_t Best = LengthToBeat;
    const uint16_t ScanStart = Load16(Scan);
    uint16_t ScanEnd = Load16(Scan + Best - 1);

    do {
        const uint8_t* Match = FWindow + Candidate;
        // Only a candidate that agrees at the end of the best match so far can beat it.
        if (Load16(Match + Best - 1) != ScanEnd || Load16(Match) != ScanStart) continue;
        const uint32_t Length = MatchLength(Scan, Match);
        if (Length > Best) {
            FMatchStart = Candidate;
            Best = Length;
            if (Length >= Nice) break;
            ScanEnd = Load16(Scan + Best - 1);
        }
    } while ((Candidate = FLinks[Candidate & kWindowMask]) > Limit && --Budget != 0);
    return Best;
}

uint64_t TMatchFinder::DeflateGreedy() {
    uint32_t MatchLength = 0;
    while (FLookahead != 0) {
        uint32_t Candidate = 0;
        if (FLookahead >= kMinMatch) Candidate = InsertString(FPosition);
        if (Candidate != 0 && FPosition - Candidate <= kMaxDistance) {
            MatchLength = FindLongestMatch(Candidate, kMinMatch - 1);
            if (MatchLength > FLookahead) MatchLength = FLookahead;
        }
        bool EndBlock;
        if (MatchLength >= kMinMatch) {
            EndBlock =
                FCoder.RecordMatch(FPosition - FMatchStart, MatchLength - kMinMatch, BlockInput());
            FLookahead -= MatchLength;
            if (MatchLength <= FLevel.LazyLimit) {
                --MatchLength;
                do {
                    ++FPosition;
                    InsertString(FPosition);
                } while (--MatchLength != 0);
                ++FPosition;
            } else {
                // The inside of a long match is not worth inserting; restart the hash after it.
                FPosition += MatchLength;
                MatchLength = 0;
                FHash = FWindow[FPosition];
                FHash = ((FHash << kHashShift) ^ FWindow[FPosition + 1]) & kHashMask;
            }
        } else {
            EndBlock = FCoder.RecordLiteral(FWindow[FPosition], BlockInput());
            --FLookahead;
            ++FPosition;
        }
        if (EndBlock) {
            EmitBlock(false);
            FBlockStart = static_cast<int32_t>(FPosition);
        }
        if (FLookahead < kMinLookahead) RefillWindow();
    }
    return EmitBlock(true);
}

uint64_t TMatchFinder::DeflateLazy() {
    uint32_t MatchLength = kMinMatch - 1;
    bool LiteralPending = false;
    while (FLookahead != 0) {
        uint32_t Candidate = 0;
        if (FLookahead >= kMinMatch) Candidate = InsertString(FPosition);
        const uint32_t PreviousLength = MatchLength;
        const uint32_t PreviousMatch = FMatchStart;
        MatchLength = kMinMatch - 1;
        if (Candidate != 0 && PreviousLength < FLevel.LazyLimit &&
            FPosition - Candidate <= kMaxDistance) {
            MatchLength = FindLongestMatch(Candidate, PreviousLength);
            if (MatchLength > FLookahead) MatchLength = FLookahead;
            if (MatchLength == kMinMatch && FPosition - FMatchStart > kTooFar)
                MatchLength = kMinMatch - 1;
        }
        if (PreviousLength >= kMinMatch && MatchLength <= PreviousLength) {
            const bool EndBlock = FCoder.RecordMatch(FPosition - 1 - PreviousMatch,
                                                     PreviousLength - kMinMatch, BlockInput());
            FLookahead -= PreviousLength - 1;
            uint32_t Inserts = PreviousLength - 2;
            do {
                ++FPosition;
                InsertString(FPosition);
            } while (--Inserts != 0);
            LiteralPending = false;
            MatchLength = kMinMatch - 1;
            ++FPosition;
            if (EndBlock) {
                EmitBlock(false);
                FBlockStart = static_cast<int32_t>(FPosition);
            }
        } else if (LiteralPending) {
            if (FCoder.RecordLiteral(FWindow[FPosition - 1], BlockInput())) {
                EmitBlock(false);
                FBlockStart = static_cast<int32_t>(FPosition);
            }
            ++FPosition;
            --FLookahead;
        } else {
            LiteralPending = true;
            ++FPosition;
            --FLookahead;
        }
        if (FLookahead < kMinLookahead) RefillWindow();
    }
    if (LiteralPending) FCoder.RecordLiteral(FWindow[FPosition - 1], BlockInput());
    return EmitBlock(true);
}

}  // namespace qm::detail
