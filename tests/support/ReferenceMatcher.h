// An independent reading of the wildcard rules for checking the matcher: the pattern is parsed
// into tokens and matched by dynamic programming over (token, text position), the textbook way,
// with none of the matcher's scanning, star swallowing or remembered sub-matches.
//
// It agrees with the matcher on the patterns it Covers: well-formed ones (every set closed and
// non-empty, every range complete) without star sets, in which each "*" is the last character
// or is followed by a literal. Outside that, the matcher keeps rules of its own that this
// reading does not model ("*?" at the end, "**" against a used-up text, star sets, sets whose
// later members go unchecked once one matched); the unit tests pin those by example.
#pragma once

#include <bitset>
#include <optional>
#include <string>
#include <vector>

namespace qm::test {

class TReferenceMatcher {
  public:
    explicit TReferenceMatcher(const std::string& Pattern) : FTokens(Parse(Pattern)) {}

    // Whether Pattern lies where the reference and the matcher must agree.
    bool Covers() const {
        if (!FTokens) return false;
        const std::vector<TToken>& tokens = *FTokens;
        for (size_t i = 0; i < tokens.size(); ++i) {
            if (tokens[i].Kind != TKind::Star) continue;
            if (tokens[i].StarSet) return false;
            if (i + 1 < tokens.size() && tokens[i + 1].Kind != TKind::Literal) return false;
        }
        return true;
    }

    // A malformed pattern matches nothing.
    bool Matches(const std::string& Text) const {
        if (!FTokens) return false;
        const std::vector<TToken>& tokens = *FTokens;
        const size_t n = tokens.size(), m = Text.size();
        // reach[i][j]: tokens i.. match Text from j on.
        std::vector<std::vector<char>> reach(n + 1, std::vector<char>(m + 1, 0));
        reach[n][m] = 1;
        for (size_t i = n; i-- > 0;) {
            for (size_t j = m + 1; j-- > 0;) {
                const TToken& token = tokens[i];
                bool result = false;
                if (token.Kind == TKind::Star) {
                    result = reach[i + 1][j] ||
                             (j < m && (!token.StarSet || In(token, Text[j])) && reach[i][j + 1]);
                } else if (j < m) {
                    const bool one =
                        token.Kind == TKind::AnyOne ||
                        (token.Kind == TKind::Literal && Fold(Text[j]) == token.Byte) ||
                        (token.Kind == TKind::Set && In(token, Text[j]));
                    result = one && reach[i + 1][j + 1];
                }
                reach[i][j] = result;
            }
        }
        return reach[0][0] != 0;
    }

  private:
    enum class TKind { Literal, AnyOne, Star, Set };
    struct TToken {
        TKind Kind = TKind::Literal;
        unsigned char Byte = 0;
        std::bitset<256> Members;
        bool Inverted = false;
        bool StarSet = false;
    };

    static unsigned char Fold(char C) {
        const auto c = static_cast<unsigned char>(C);
        return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c;
    }
    static bool In(const TToken& Set, char C) { return Set.Members.test(Fold(C)) != Set.Inverted; }

    // At "<": reads the set up to its ">"; false when it is empty, unclosed or ends in a
    // half range.
    static bool ParseSet(const std::string& P, size_t& I, TToken& Into) {
        ++I;
        if (I < P.size() && (P[I] == '!' || P[I] == '^')) {
            Into.Inverted = true;
            ++I;
        }
        if (I >= P.size() || P[I] == '>') return false;
        while (I < P.size() && P[I] != '>') {
            unsigned first = Fold(P[I]), last = first;
            if (I + 1 < P.size() && P[I + 1] == '-') {
                if (I + 2 >= P.size() || P[I + 2] == '>') return false;
                last = Fold(P[I + 2]);
                I += 3;
            } else {
                ++I;
            }
            for (unsigned c = first; c <= last; ++c) Into.Members.set(c);
        }
        if (I >= P.size()) return false;
        ++I;
        return true;
    }

    static std::optional<std::vector<TToken>> Parse(const std::string& P) {
        std::vector<TToken> tokens;
        size_t i = 0;
        while (i < P.size()) {
            TToken token;
            if (P[i] == '*') {
                token.Kind = TKind::Star;
                ++i;
                if (i < P.size() && P[i] == '<') {
                    token.StarSet = true;
                    if (!ParseSet(P, i, token)) return std::nullopt;
                }
            } else if (P[i] == '?') {
                token.Kind = TKind::AnyOne;
                ++i;
            } else if (P[i] == '<') {
                token.Kind = TKind::Set;
                if (!ParseSet(P, i, token)) return std::nullopt;
            } else {
                token.Byte = Fold(P[i]);
                ++i;
            }
            tokens.push_back(token);
        }
        return tokens;
    }

    std::optional<std::vector<TToken>> FTokens;
};

}  // namespace qm::test
