// Code page 437, the character set of names stored without the UTF-8 flag (general purpose
// bit 11). Such names are decoded to UTF-8, the text encoding of this program.
#pragma once

#include <string>

namespace qm {

// True when every byte of Text is below 0x80.
bool IsAscii(const std::string& Text);
// True when Text is well-formed UTF-8: shortest forms only, no surrogates, nothing above
// U+10FFFF. Linux names may hold any bytes; only well-formed ones may carry bit 11.
bool IsValidUtf8(const std::string& Text);

// Decodes Bytes from code page 437 to UTF-8. Bytes below 0x80 stay as they are.
std::string Cp437ToUtf8(const std::string& Bytes);

}  // namespace qm
