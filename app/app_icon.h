#pragma once

#include <QIcon>

namespace carvel {

// The program's icon: "carvel" from the icon theme (installed with the program), else the same
// drawing made at run time, so a build that is not installed shows it too.
QIcon appIcon();

}  // namespace carvel
