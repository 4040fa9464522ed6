#include "platform/CommaText.h"

namespace qm {

namespace {

bool IsSeparatorSpace(char C) {
    unsigned char u = static_cast<unsigned char>(C);
    return u >= 1 && u <= 32;
}

bool EndsUnquotedField(char C) {
    return static_cast<unsigned char>(C) <= 32 || C == ',';
}

// Reads the quoted field that begins at Pos (on its opening quote); leaves Pos after the
// closing quote, or at the end when there is none.
std::string ReadQuotedField(std::string_view Text, size_t& Pos) {
    std::string field;
    ++Pos;
    while (Pos < Text.size()) {
        size_t quote = Text.find('"', Pos);
        if (quote == std::string_view::npos) {
            field += Text.substr(Pos);
            Pos = Text.size();
            return field;
        }
        field += Text.substr(Pos, quote - Pos);
        Pos = quote + 1;
        if (Pos < Text.size() && Text[Pos] == '"') {
            field += '"';
            ++Pos;
        } else {
            return field;
        }
    }
    return field;
}

}  // namespace

std::vector<std::string> ReadCommaText(std::string_view Text) {
    Text = Text.substr(0, Text.find('\0'));
    std::vector<std::string> fields;
    size_t pos = 0;
    const size_t end = Text.size();
    while (pos < end && IsSeparatorSpace(Text[pos])) ++pos;
    while (pos < end) {
        if (Text[pos] == '"') {
            fields.push_back(ReadQuotedField(Text, pos));
        } else {
            size_t start = pos;
            while (pos < end && !EndsUnquotedField(Text[pos])) ++pos;
            fields.emplace_back(Text.substr(start, pos - start));
        }
        while (pos < end && IsSeparatorSpace(Text[pos])) ++pos;
        if (pos < end && Text[pos] == ',') {
            if (pos + 1 == end) fields.emplace_back();
            ++pos;
            while (pos < end && IsSeparatorSpace(Text[pos])) ++pos;
        }
    }
    return fields;
}

std::string QuoteCommaField(std::string_view Field) {
    bool quote = false;
    for (char c : Field)
        if (static_cast<unsigned char>(c) <= 32 || c == '"' || c == ',') quote = true;
    if (!quote) return std::string(Field);
    std::string out = "\"";
    for (char c : Field) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

std::string WriteCommaText(const std::vector<std::string>& Fields) {
    std::string out;
    for (size_t i = 0; i < Fields.size(); ++i) {
        if (i > 0) out += ',';
        out += QuoteCommaField(Fields[i]);
    }
    return out;
}

}  // namespace qm
