#pragma once

#include <QIcon>

namespace carvel {

enum class TransportIcon { Back, Rev, Stop, Play, FF, Next };

// The transport buttons' icons, drawn at run time: simple flat shapes, no image files.
QIcon transportIcon(TransportIcon which, int size);

}  // namespace carvel
