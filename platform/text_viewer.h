#pragma once

#include <QString>

namespace carvel {

// Opens a text file in the plain-text viewer, without a shell: the path reaches the viewer as one
// argument whatever characters it holds. The viewer is the program named by CARVEL_TEXT_VIEWER,
// else carvel-textview beside this program. False when no viewer could be started.
bool openInTextViewer(const QString& path);

}  // namespace carvel
