#pragma once

#include <QIcon>

namespace carvel {

// The program's icon, drawn at run time: the same picture as the installed theme icons, so a build
// that is not installed shows it too. The icon theme is not asked: its first lookup costs several
// milliseconds of start-up for the same picture.
QIcon appIcon();

}  // namespace carvel
