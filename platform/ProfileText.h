// The text of a profile file (sections in square brackets, "key=value" lines) and the three
// edits the program makes to it. These work on the whole text in memory so that they can be
// tested and fuzzed without files; TProfileFile does the reading and writing.
//
// The rules the program relies on:
// - "[name]" (spaces and tabs around it allowed) opens a section; the name is the text up to
//   the first "]", without surrounding spaces.
// - Inside a section, a line with "=" gives one key: the key is the text before the first "=",
//   the value the text after it, both without surrounding spaces and tabs. A line whose first
//   visible character is ";" is a comment. Lines before the first section belong to none.
// - Section and key names compare without regard to ASCII letter case. The first key that
//   matches, in any section of that name, is the one read and replaced.
// - Lines end in LF or CR LF; a UTF-8 byte order mark before the first line is ignored.
// - An edit changes only the lines of the section it names: every other byte of the text stays
//   as it was (a last line without a line end gets one when something is appended after it).
//   Lines the edits write end in LF.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qm {

using TProfileEntry = std::pair<std::string, std::string>;  // key, value

// The value of Key in Section, without surrounding spaces, or nullopt when the section or key
// is missing.
std::optional<std::string_view> FindProfileValue(std::string_view Text, std::string_view Section,
                                                 std::string_view Key);

// Whether a section name, key or value can be stored so that it reads back as written (apart
// from the surrounding spaces of a value, which are never part of it): names must not be
// empty, a section name must not hold "]", a key must not hold "=" nor begin with "[" or ";",
// and none may hold a line break.
bool IsStorableProfileSection(std::string_view Section);
bool IsStorableProfileKey(std::string_view Key);
bool IsStorableProfileValue(std::string_view Value);

// Sets Key in Section to Value: replaces the first matching key line, or adds the key after the
// last key of the first section of that name, or appends the section at the end. The caller has
// checked that the names and value are storable.
std::string SetProfileValue(std::string_view Text, std::string_view Section, std::string_view Key,
                            std::string_view Value);

// Removes every section of that name, its header and all its lines. Returns false (and leaves
// Text alone) when there is none.
bool EraseProfileSection(std::string& Text, std::string_view Section);

// The same text as erasing Section and then setting each entry in order, made in one pass.
std::string ReplaceProfileSection(std::string_view Text, std::string_view Section,
                                  const std::vector<TProfileEntry>& Entries);

// ASCII case-insensitive equality, as names and list names are compared.
bool SameTextAscii(std::string_view A, std::string_view B);

}  // namespace qm
