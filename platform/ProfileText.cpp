#include "platform/ProfileText.h"

#include <cstring>
#include <unordered_map>

namespace qm {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool IsBlank(char C) {
    return C == ' ' || C == '\t';
}

std::string_view Trim(std::string_view S) {
    while (!S.empty() && IsBlank(S.front())) S.remove_prefix(1);
    while (!S.empty() && IsBlank(S.back())) S.remove_suffix(1);
    return S;
}

char LowerAscii(char C) {
    return (C >= 'A' && C <= 'Z') ? static_cast<char>(C + 32) : C;
}

std::string LowerAscii(std::string_view S) {
    std::string out(S);
    for (char& c : out) c = LowerAscii(c);
    return out;
}

enum TLineKind { lkOther, lkSection, lkKey };

// One line of the text: [Begin, Next) with its line end, Content without it and trimmed.
struct TLine {
    size_t Begin = 0;
    size_t Next = 0;
    bool Terminated = false;
    TLineKind Kind = lkOther;
    std::string_view Name;   // section name or key
    std::string_view Value;  // value of a key line
};

// Walks the lines of a text (after any byte order mark) and classifies them.
class TLineReader {
  public:
    explicit TLineReader(std::string_view Text) : FText(Text) {}

    bool Next(TLine& Line) {
        if (FPos >= FText.size()) return false;
        Line.Begin = FPos;
        const char* start = FText.data() + FPos;
        const void* lf = std::memchr(start, '\n', FText.size() - FPos);
        size_t end =
            lf ? static_cast<size_t>(static_cast<const char*>(lf) - FText.data()) : FText.size();
        Line.Terminated = lf != nullptr;
        Line.Next = lf ? end + 1 : end;
        FPos = Line.Next;
        std::string_view content = FText.substr(Line.Begin, end - Line.Begin);
        if (!content.empty() && content.back() == '\r') content.remove_suffix(1);
        Classify(Trim(content), Line);
        return true;
    }

  private:
    static void Classify(std::string_view Content, TLine& Line) {
        Line.Kind = lkOther;
        Line.Name = {};
        Line.Value = {};
        if (Content.empty() || Content.front() == ';') return;
        if (Content.front() == '[') {
            size_t close = Content.find(']');
            if (close != std::string_view::npos) {
                Line.Kind = lkSection;
                Line.Name = Trim(Content.substr(1, close - 1));
                return;
            }
        }
        size_t eq = Content.find('=');
        if (eq == std::string_view::npos) return;
        Line.Kind = lkKey;
        Line.Name = Trim(Content.substr(0, eq));
        Line.Value = Trim(Content.substr(eq + 1));
    }

    std::string_view FText;
    size_t FPos = 0;
};

// The byte order mark, if any, and the rest of the text.
std::pair<std::string_view, std::string_view> SplitMark(std::string_view Text) {
    if (Text.substr(0, kByteOrderMark.size()) == kByteOrderMark)
        return {Text.substr(0, kByteOrderMark.size()), Text.substr(kByteOrderMark.size())};
    return {std::string_view(), Text};
}

bool HoldsLineBreak(std::string_view S) {
    return S.find('\n') != std::string_view::npos || S.find('\r') != std::string_view::npos;
}

std::string KeyLine(std::string_view Key, std::string_view Value) {
    std::string line(Trim(Key));
    line += '=';
    line += Value;
    line += '\n';
    return line;
}

// Appends a new section with its lines at the end of Text.
void AppendSection(std::string& Text, std::string_view Section, const std::string& Lines) {
    if (!Text.empty() && Text.back() != '\n') Text += '\n';
    Text += '[';
    Text += Trim(Section);
    Text += "]\n";
    Text += Lines;
}

}  // namespace

bool SameTextAscii(std::string_view A, std::string_view B) {
    if (A.size() != B.size()) return false;
    for (size_t i = 0; i < A.size(); ++i)
        if (LowerAscii(A[i]) != LowerAscii(B[i])) return false;
    return true;
}

std::optional<std::string_view> FindProfileValue(std::string_view Text, std::string_view Section,
                                                 std::string_view Key) {
    Section = Trim(Section);
    Key = Trim(Key);
    TLineReader reader(SplitMark(Text).second);
    TLine line;
    bool inSection = false;
    while (reader.Next(line)) {
        if (line.Kind == lkSection)
            inSection = SameTextAscii(line.Name, Section);
        else if (inSection && line.Kind == lkKey && SameTextAscii(line.Name, Key))
            return line.Value;
    }
    return std::nullopt;
}

bool IsStorableProfileSection(std::string_view Section) {
    return !Trim(Section).empty() && Section.find(']') == std::string_view::npos &&
           !HoldsLineBreak(Section);
}

bool IsStorableProfileKey(std::string_view Key) {
    std::string_view k = Trim(Key);
    return !k.empty() && k.front() != '[' && k.front() != ';' &&
           Key.find('=') == std::string_view::npos && !HoldsLineBreak(Key);
}

bool IsStorableProfileValue(std::string_view Value) {
    return !HoldsLineBreak(Value);
}

std::string SetProfileValue(std::string_view Text, std::string_view Section, std::string_view Key,
                            std::string_view Value) {
    auto [mark, body] = SplitMark(Text);
    Section = Trim(Section);
    TLineReader reader(body);
    TLine line;
    bool inSection = false;
    bool inFirst = false;
    bool found = false;
    TLine insertAfter;
    while (reader.Next(line)) {
        if (line.Kind == lkSection) {
            inSection = SameTextAscii(line.Name, Section);
            inFirst = inSection && !found;
            if (inFirst) {
                found = true;
                insertAfter = line;
            }
        } else if (inSection && line.Kind == lkKey) {
            if (SameTextAscii(line.Name, Trim(Key))) {
                std::string out(mark);
                out += body.substr(0, line.Begin);
                out += KeyLine(Key, Value);
                out += body.substr(line.Next);
                return out;
            }
            if (inFirst) insertAfter = line;
        }
    }
    std::string out(mark);
    if (!found) {
        out += body;
        AppendSection(out, Section, KeyLine(Key, Value));
        return out;
    }
    out += body.substr(0, insertAfter.Next);
    if (!insertAfter.Terminated) out += '\n';
    out += KeyLine(Key, Value);
    out += body.substr(insertAfter.Next);
    return out;
}

bool EraseProfileSection(std::string& Text, std::string_view Section) {
    auto [mark, body] = SplitMark(Text);
    Section = Trim(Section);
    TLineReader reader(body);
    TLine line;
    bool erasing = false;
    bool any = false;
    std::string out(mark);
    size_t keptFrom = 0;  // start of the run of kept lines not yet copied
    while (reader.Next(line)) {
        if (line.Kind != lkSection) continue;
        bool match = SameTextAscii(line.Name, Section);
        if (match && !erasing) {
            out += body.substr(keptFrom, line.Begin - keptFrom);
            erasing = any = true;
        } else if (!match && erasing) {
            keptFrom = line.Begin;
            erasing = false;
        }
    }
    if (!any) return false;
    if (!erasing) out += body.substr(keptFrom);
    Text = std::move(out);
    return true;
}

std::string ReplaceProfileSection(std::string_view Text, std::string_view Section,
                                  const std::vector<TProfileEntry>& Entries) {
    std::string out(Text);
    EraseProfileSection(out, Section);
    if (Entries.empty()) return out;
    // A key given twice keeps its first place and takes its last spelling and value, as two
    // writes would.
    std::vector<TProfileEntry> lines;
    std::unordered_map<std::string, size_t> index;
    for (const auto& [key, value] : Entries) {
        auto [it, added] = index.emplace(LowerAscii(Trim(key)), lines.size());
        if (added)
            lines.emplace_back(key, value);
        else
            lines[it->second] = {key, value};
    }
    std::string block;
    for (const auto& [key, value] : lines) block += KeyLine(key, value);
    AppendSection(out, Section, block);
    return out;
}

}  // namespace qm
