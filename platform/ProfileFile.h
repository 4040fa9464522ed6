// A settings file of sections and keys (see ProfileText.h for its layout), read and written the
// way the program needs it: every call opens the file, reads or writes it and lets it go;
// nothing is kept in memory between calls.
//
// Reading never fails: a missing or unreadable file, section or key gives the caller's default.
// Writing replaces the file atomically (a temporary file in the same folder, committed to disk
// and renamed over it, with the old file's permissions), so that a crash or a full disk leaves
// either the old or the new file, never a mix. The folder is created on the first write. A write
// that cannot be made, a file that exists but cannot be read (it is never written over), or a
// name or value that cannot be stored as one line, raises
// EIniFileException "Unable to write to %s" with the file's full path, and the file stays as it
// was.
#pragma once

#include <string>
#include <vector>

#include "platform/Exception.h"
#include "platform/ProfileText.h"

namespace qm {

class EIniFileException : public Exception {
  public:
    using Exception::Exception;
};

class TProfileFile {
  public:
    explicit TProfileFile(std::string FileName) : FFileName(std::move(FileName)) {}

    const std::string& FileName() const { return FFileName; }

    std::string ReadString(const std::string& Section, const std::string& Key,
                           const std::string& Default) const;
    // An empty or invalid value gives Default (formats in StrToIntDef).
    int ReadInteger(const std::string& Section, const std::string& Key, int Default) const;
    // An integer, any value but 0 meaning true; an empty or invalid value gives Default.
    bool ReadBool(const std::string& Section, const std::string& Key, bool Default) const;

    void WriteString(const std::string& Section, const std::string& Key,
                     const std::string& Value) const;
    void WriteInteger(const std::string& Section, const std::string& Key, int Value) const;
    void WriteBool(const std::string& Section, const std::string& Key, bool Value) const;

    // Removes the section with all its keys; a missing file or section is left alone.
    void EraseSection(const std::string& Section) const;
    // Erases the section and writes Entries into it in order, in one replacement of the file:
    // the result is that of EraseSection followed by one WriteString per entry, but a failure
    // leaves the old section in place.
    void ReplaceSection(const std::string& Section,
                        const std::vector<TProfileEntry>& Entries) const;

  private:
    [[noreturn]] void RaiseWriteError() const;
    void CheckStorable(const std::string& Section, const std::string& Key,
                       const std::string& Value) const;
    void Store(const std::string& Text) const;

    std::string FFileName;
};

// Reads an integer as the settings file holds it: decimal digits with an optional "-"
// (a 32-bit value), or hexadecimal after "$", or after "0x"/"0X" when the text is longer than
// two characters (up to 8 hex digits of value, taken as a 32-bit two's complement). Anything
// else, including the empty text, gives Default.
int StrToIntDef(std::string_view Text, int Default);

}  // namespace qm
