#include "platform/Exception.h"

#include <cstdio>

namespace qm {

namespace {

// Replaces the first %d or %s of Format with Text; "%%" stands for "%".
std::string Substitute(const std::string& Format, const std::string& Text) {
    std::string out;
    out.reserve(Format.size() + Text.size());
    bool done = false;
    for (size_t i = 0; i < Format.size(); ++i) {
        if (Format[i] == '%' && i + 1 < Format.size()) {
            char spec = Format[i + 1];
            if (spec == '%') {
                out += '%';
                ++i;
                continue;
            }
            if (!done && (spec == 'd' || spec == 's' || spec == 'u')) {
                out += Text;
                done = true;
                ++i;
                continue;
            }
        }
        out += Format[i];
    }
    return out;
}

}  // namespace

std::string FormatMessage(const std::string& Format, long long Value) {
    return Substitute(Format, std::to_string(Value));
}

std::string FormatMessage(const std::string& Format, const std::string& Value) {
    return Substitute(Format, Value);
}

}  // namespace qm
