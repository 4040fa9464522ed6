// The application's error box: every error that reaches the user is shown here, in a message
// box titled "Error" with the error icon and an OK button, through the UI hooks (so that tests
// can answer it), after which the program goes on.
#pragma once

#include <functional>
#include <string>

namespace qm {

void ShowErrorBox(const std::string& Message);

// Runs Action and shows an error it raises in the error box instead of letting it leave the
// caller: the guard of every entry point from the event loop (slots, event handlers).
// Returns false when Action raised.
bool RunGuarded(const std::function<void()>& Action);

}  // namespace qm
