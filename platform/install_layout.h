#pragma once

#include <QString>

namespace carvel {

// Where the program keeps and finds its files.
//
// An installed program is one whose folder is <prefix>/bin/ while <prefix>/share/doc/carvel/
// exists (cmake --install and the Debian package both make it), unless a file named "portable"
// lies beside the program. It keeps the playlist in the user's data folder, reads the readme from
// <prefix>/share/doc/carvel/ and opens the demo's folder as the initial folder. Every other copy
// (the build folder, an unpacked archive) is portable: everything stays beside the program, as
// the original design has it, and only a folder that cannot be written sends the playlist to the
// data folder.
struct InstallLayout {
    bool installed = false;
    QString listFile;  // where the playlist is read and written
    // A list file beside the program that an installed copy reads while listFile does not exist
    // yet, so a playlist kept there before is not lost ("" for none).
    QString previousListFile;
    QString readme;
    QString initialFolder;  // where 元のﾃﾞｨﾚｸﾄﾘ goes
    // The bundled demo chart, which a first start puts in the empty playlist ("" when missing).
    QString demoChart;
};

// programFolder and dataFolder end in '/'; dataFolder is the user's data folder
// (~/.local/share/). homeFolder stands in for a missing demo.
InstallLayout installLayout(const QString& programFolder, const QString& dataFolder,
                            const QString& homeFolder);

// The layout of the running program. Needs a QCoreApplication.
InstallLayout installLayout();

}  // namespace carvel
