// Comma text: a list of fields in one line, as the settings file stores a file types list
// (name, masks) and as the masks text is split.
//
// Reading: characters 1 to 32 before and after fields are skipped; a field that begins with a
// double quote runs to the next quote that is not doubled (a doubled quote stands for one; the
// quotes are dropped; without a closing quote the field runs to the end); any other field runs
// up to the first character 0 to 32 or the first comma. So spaces outside quotes separate fields
// just as commas do. A comma that is the text's last character adds one empty field. The text
// ends at its first NUL character, if any.
//
// Writing: a field holding a character 0 to 32, a double quote or a comma is enclosed in double
// quotes with its inner quotes doubled; fields are joined by single commas. Every list of at
// least two fields without NUL characters, and every single non-empty one, reads back as it was
// written.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qm {

std::vector<std::string> ReadCommaText(std::string_view Text);
std::string WriteCommaText(const std::vector<std::string>& Fields);
// One field as WriteCommaText writes it.
std::string QuoteCommaField(std::string_view Field);

}  // namespace qm
