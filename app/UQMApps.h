// What the maker's applications share: the settings file they keep their sections in, the
// application's title and the title stem that prefixes its section names.
#pragma once

#include <string>

namespace qm {

// The main window's caption as designed.
inline constexpr const char* kDesignAppTitle = "Quillmate 2.1";

// The main window's caption; set once by the main window when it is created.
extern std::string AppTitle;

// Full path of the settings file, fixed at start-up from the environment.
extern std::string AppsIniFileName;

// $windir/QMApps.ini when windir is set and not empty; otherwise QMApps.ini in
// $XDG_CONFIG_HOME, or in $HOME/.config when that is unset or empty.
std::string AppsIniFileNameFromEnvironment();

// The text up to, not including, its last space; a text without a space is returned whole.
std::string GetTitleStem(const std::string& Text);

}  // namespace qm
