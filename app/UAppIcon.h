// The program's icon: a folder-blue square holding a page with a zipper down its middle.
// packaging/quillmate.svg draws the same shapes for desktops that scale icons themselves.
#pragma once

#include <QIcon>
#include <QImage>

namespace qm {

// The icon painted at Size by Size pixels (transparent around the rounded square).
QImage PaintAppIcon(int Size);

// The icon at the sizes window managers ask for.
QIcon AppIcon();

}  // namespace qm
