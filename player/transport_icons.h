#pragma once

#include <QIcon>

namespace carvel {

enum class TransportIcon { Back, Rev, Stop, Play, FF, Next };

// The transport buttons' icons, drawn at run time in `color` (the buttons' text colour, so they
// stay readable in a dark style): simple flat shapes, no image files.
QIcon transportIcon(TransportIcon which, int size, const QColor& color);

}  // namespace carvel
