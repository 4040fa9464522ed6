// Whether anybody can see the program. Without a display (cron, a service, a shell without
// X or Wayland) the program runs on Qt's offscreen platform, message boxes answer themselves
// and the process ends with its command-line run.
#pragma once

namespace qm {

// Before the application object exists: true when neither DISPLAY nor WAYLAND_DISPLAY is set,
// or QT_QPA_PLATFORM already asks for the offscreen or minimal platform.
bool NoDisplayInEnvironment();

// Before the application object exists: without a display, selects the offscreen platform so
// that Qt starts at all.
void UseOffscreenWithoutDisplay();

// Once the application object exists: whether Qt runs on the offscreen or minimal platform.
bool RunsWithoutDisplay();

}  // namespace qm
