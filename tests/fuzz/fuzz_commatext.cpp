// The comma-text reader against a plain character-by-character reference of its rules, and the
// writer's round trip.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/CommaText.h"

namespace {

using TFields = std::vector<std::string>;

// The rules read directly off a NUL-terminated copy, one character at a time.
TFields Reference(const std::string& Input) {
    std::string text = Input.c_str();  // ends at the first NUL
    const char* p = text.c_str();
    auto space = [](char c) { return c >= 1 && static_cast<unsigned char>(c) <= 32; };
    TFields fields;
    while (space(*p)) ++p;
    while (*p != '\0') {
        std::string field;
        if (*p == '"') {
            ++p;
            for (;;) {
                if (*p == '\0') break;
                if (*p == '"') {
                    if (p[1] == '"') {
                        field += '"';
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                field += *p++;
            }
        } else {
            while (static_cast<unsigned char>(*p) > 32 && *p != ',') field += *p++;
        }
        fields.push_back(field);
        while (space(*p)) ++p;
        if (*p == ',') {
            if (p[1] == '\0') fields.emplace_back();
            do ++p;
            while (space(*p));
        }
    }
    return fields;
}

void Check(bool Condition) {
    if (!Condition) std::abort();
}

bool RoundTrips(const TFields& Fields) {
    return Fields.size() >= 2 || (Fields.size() == 1 && !Fields[0].empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    std::string input(reinterpret_cast<const char*>(Data), Size);
    TFields fields = qm::ReadCommaText(input);
    Check(fields == Reference(input));
    if (RoundTrips(fields)) Check(qm::ReadCommaText(qm::WriteCommaText(fields)) == fields);

    // Any two texts without NUL stored as a list record read back as the same two fields.
    std::string clean;
    for (char c : input)
        if (c != '\0') clean += c;
    TFields record = {clean.substr(0, clean.size() / 2), clean.substr(clean.size() / 2)};
    Check(qm::ReadCommaText(qm::WriteCommaText(record)) == record);
    return 0;
}
