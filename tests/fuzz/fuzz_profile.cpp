// The profile-text reader and edits on arbitrary settings files: reads never fail, a written
// value reads back, an edit touches no other section, the one-pass section replacement equals
// erase-then-write, and integers read as a plain reference reads them.
//
// Input: a first line "section|key|value" naming what to write, then the file's text.
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ProfileFile.h"
#include "platform/ProfileText.h"

namespace {

void Check(bool Condition) {
    if (!Condition) std::abort();
}

std::string_view Trim(std::string_view S) {
    while (!S.empty() && (S.front() == ' ' || S.front() == '\t')) S.remove_prefix(1);
    while (!S.empty() && (S.back() == ' ' || S.back() == '\t')) S.remove_suffix(1);
    return S;
}

std::string_view Field(std::string_view& Line) {
    size_t bar = Line.find('|');
    std::string_view field = Line.substr(0, bar);
    Line = bar == std::string_view::npos ? std::string_view() : Line.substr(bar + 1);
    return field;
}

// The integer formats, read with the standard library.
int ReferenceInteger(std::string_view S, int Default) {
    const char* end = S.data() + S.size();
    if (!S.empty() && (S[0] == '$' || (S.size() > 2 && S[0] == '0' && (S[1] | 0x20) == 'x'))) {
        std::string_view hex = S.substr(S[0] == '$' ? 1 : 2);
        if (hex.empty() || hex[0] == '-' || hex[0] == '+') return Default;
        uint32_t value = 0;
        auto [p, ec] = std::from_chars(hex.data(), end, value, 16);
        return (ec == std::errc() && p == end) ? static_cast<int>(value) : Default;
    }
    if (S.empty() || S[0] == '+') return Default;
    int value = 0;
    auto [p, ec] = std::from_chars(S.data(), end, value, 10);
    return (ec == std::errc() && p == end) ? value : Default;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    std::string_view input(reinterpret_cast<const char*>(Data), Size);
    size_t lineEnd = input.find('\n');
    std::string_view head = input.substr(0, lineEnd);
    std::string_view text =
        lineEnd == std::string_view::npos ? std::string_view() : input.substr(lineEnd + 1);
    std::string_view section = Field(head);
    std::string_view key = Field(head);
    std::string_view value = head;

    std::optional<std::string_view> found = qm::FindProfileValue(text, section, key);
    if (found) {
        Check(found->size() <= text.size());
        Check(qm::StrToIntDef(*found, -7) == ReferenceInteger(*found, -7));
    }
    Check(qm::StrToIntDef(value, 11) == ReferenceInteger(value, 11));

    if (!qm::IsStorableProfileSection(section) || !qm::IsStorableProfileKey(key) ||
        !qm::IsStorableProfileValue(value))
        return 0;

    std::string written = qm::SetProfileValue(text, section, key, value);
    std::optional<std::string_view> back = qm::FindProfileValue(written, section, key);
    Check(back && *back == Trim(value));

    // Without the section, the text is what it was (a last line may have gained its line end).
    std::string before(text);
    qm::EraseProfileSection(before, section);
    std::string after = written;
    qm::EraseProfileSection(after, section);
    Check(after == before || after == before + "\n");
    Check(!qm::FindProfileValue(after, section, key));

    std::vector<qm::TProfileEntry> entries = {
        {std::string(key), std::string(value)}, {"Width0", "100"}, {std::string(key), "second"}};
    std::string stepwise = before;
    for (const auto& [k, v] : entries) stepwise = qm::SetProfileValue(stepwise, section, k, v);
    Check(qm::ReplaceProfileSection(text, section, entries) == stepwise);
    return 0;
}
