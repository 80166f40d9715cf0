#pragma once

#include <QString>
#include <QWidget>

namespace carvel {

// Where the program's windows stood when it last ended: the screen's name and the window's place
// on the desktop, in the group [windows] of the settings file (an empty name keeps nothing; what
// is not a regular file there is neither read nor written). Sizes are the designed ones and are
// not kept.
void savePlace(const QWidget& window, const QString& file, const QString& key);
// Moves the window back to its kept place when the screen it stood on is still there and the
// place lies on it; otherwise the window system places it.
void restorePlace(QWidget& window, const QString& file, const QString& key);

}  // namespace carvel
