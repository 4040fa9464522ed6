// The wildcard matcher for file masks and for the writer's exclusion and no-compression lists.
//
//   *        any run of characters, also none
//   ?        exactly one character
//   <abc>    one character of a set; a-c is a range, <!...> or <^...> inverts the set
//   *<a-z>   a star whose swallowed characters must all belong to the set (the star set)
//
// There is no escape character. Letters "A".."Z" compare equal to "a".."z"; other bytes compare
// as they are. A malformed set (empty, or without its closing ">", also a star set) gives
// mrBadSet; no routine reads past the pattern or the text.
//
// The star set is state of the matcher as a whole, cleared on every entry into MatchPattern;
// it is kept per thread. Patterns with many stars are answered in polynomial time: results of
// repeated sub-matches are remembered within one top-level call.
#pragma once

#include <bitset>
#include <string>

namespace qm {

enum TMatchResult : int {
    mrNone = 0,          // no decision yet; only MatchAfterStar returns it
    mrMatch = 1,         // the text matches the pattern
    mrPatternEnded = 2,  // the pattern ended while text was left
    mrStop = 3,          // the text ended first, or the star set refused a character
    mrSetMismatch = 4,   // a character failed a <...> set
    mrCharMismatch = 5,  // a literal character differed
    mrBadSet = 6         // a <...> set is malformed (empty or unterminated)
};

struct TStarSet {
    std::bitset<256> Members;  // lower-cased bytes
    bool Inverted = false;
};

// The matcher's current star set (as the last MatchPattern or star-set parse left it).
const TStarSet& MatcherStarSet();

// True exactly when MatchPattern returns mrMatch.
bool IsMatch(const std::string& Pattern, const std::string& Text);
TMatchResult MatchPattern(const std::string& Pattern, const std::string& Text);
// The remainder of a match after a star: Pattern starts at the "*", or just after the star
// set's ">". Uses the current star set.
TMatchResult MatchAfterStar(const std::string& Pattern, const std::string& Text);

}  // namespace qm
