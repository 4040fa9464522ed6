#include "platform/UiHooks.h"

#include <cstdio>

namespace qm {

namespace {

TConsoleUiHooks& ConsoleHooks() {
    static TConsoleUiHooks hooks;
    return hooks;
}

TUiHooks* CurrentHooks = nullptr;

}  // namespace

std::string MessageBoxTrace(const std::string& Title, const std::string& Text) {
    std::string out = Title + ": ";
    for (size_t i = 0; i < Text.size(); ++i) {
        if (Text[i] == '\r') {
            out += '\n';
            if (i + 1 < Text.size() && Text[i + 1] == '\n') ++i;
        } else {
            out += Text[i];
        }
    }
    return out;
}

TDialogResult TConsoleUiHooks::MessageBox(const std::string& Title, const std::string& Text,
                                          TMsgIcon, unsigned, TDialogResult DefaultButton) {
    std::string line = MessageBoxTrace(Title, Text) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
    return DefaultButton;
}

TUiHooks& UiHooks() {
    return CurrentHooks ? *CurrentHooks : ConsoleHooks();
}

TUiHooks* SetUiHooks(TUiHooks* Hooks) {
    TUiHooks* previous = &UiHooks();
    CurrentHooks = Hooks;
    return previous;
}

}  // namespace qm
