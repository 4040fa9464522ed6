// What the maker's applications share: the settings file they keep their sections in, the
// application's title and the title stem that prefixes its section names, the About box and
// the rule that keeps a window on the screen.
#pragma once

#include <QPoint>
#include <QRect>
#include <string>

class QWidget;

namespace qm {

// The main window's caption as designed.
inline constexpr const char* kDesignAppTitle = "Quillmate 2.1";

// The main window's caption; set once by the main window when it is created.
extern std::string AppTitle;

// The application's title (what a task bar shows for the program); follows the main window's
// caption.
extern std::string ApplicationTitle;

// Full path of the settings file, fixed at start-up from the environment.
extern std::string AppsIniFileName;

// $windir/QMApps.ini when windir is set and not empty; otherwise QMApps.ini in
// $XDG_CONFIG_HOME, or in $HOME/.config when that is unset or empty.
std::string AppsIniFileNameFromEnvironment();

// The text up to, not including, its last space; a text without a space is returned whole.
std::string GetTitleStem(const std::string& Text);

// Form moved back onto a screen of size Screen: off the right or bottom edge it moves in,
// then a negative left or top becomes 0, then a form larger than the screen is cut to it.
QRect KeepRectOnScreen(QRect Form, QSize Screen);

// KeepRectOnScreen against the primary screen, applied to Form's frame.
void KeepFormOnScreen(QWidget& Form);

// Where a window whose frame is at Frame settles when it comes within Distance pixels of an
// edge of Area: flush with that edge. Elsewhere it stays where it is.
QPoint SnapToEdges(const QRect& Frame, const QRect& Area, int Distance);

// "About" box: AppTitle, the description and the maker's credit lines with the year range
// ("2001-2003", or the first year alone when LastYear is 0).
void ShowAboutBox(const std::string& Description, int FirstYear, int LastYear);
// The text ShowAboutBox shows.
std::string AboutBoxText(const std::string& Description, int FirstYear, int LastYear);

}  // namespace qm
