#include "platform/install_layout.h"

#include <unistd.h>

#include <QDir>
#include <QStandardPaths>

#include "platform/file_name.h"
#include "platform/file_system.h"

namespace carvel {

namespace {

const QString kListFileName = QStringLiteral("cuebook.dat");

// The folder may be written (and so may the list file in it, when there is one).
bool listFileWritable(const QString& folder) {
    const std::optional<QByteArray> native = nativePath(folder);
    if (!native || ::access(native->constData(), W_OK | X_OK) != 0) {
        return false;
    }
    const std::optional<QByteArray> file = nativePath(folder + kListFileName);
    return !file || ::access(file->constData(), W_OK) == 0;
}

}  // namespace

InstallLayout installLayout(const QString& programFolder, const QString& dataFolder,
                            const QString& homeFolder) {
    InstallLayout layout;
    const QString dataList = dataFolder + QStringLiteral("carvel/") + kListFileName;
    const QString beside = programFolder + kListFileName;
    const QString bin = QStringLiteral("/bin/");
    if (programFolder.endsWith(bin) && !fileExists(programFolder + QStringLiteral("portable"))) {
        const QString prefix = programFolder.left(programFolder.size() - bin.size() + 1);
        const QString doc = prefix + QStringLiteral("share/doc/carvel/");
        if (folderExists(doc)) {
            const QString demo = prefix + QStringLiteral("share/carvel/demo");
            layout.installed = true;
            layout.listFile = dataList;
            layout.previousListFile = beside;
            layout.readme = doc + QStringLiteral("readme.txt");
            layout.initialFolder = folderExists(demo) ? demo : homeFolder;
            if (fileExists(demo + QStringLiteral("/demo.bms"))) {
                layout.demoChart = demo + QStringLiteral("/demo.bms");
            }
            return layout;
        }
    }
    layout.readme = programFolder + QStringLiteral("readme.txt");
    layout.initialFolder = programFolder;
    // Beside the program, or in the build tree's demo folder beside the program's.
    for (const QString& demo : {programFolder + QStringLiteral("demo/demo.bms"),
                                programFolder + QStringLiteral("../demo/demo.bms")}) {
        if (layout.demoChart.isEmpty() && fileExists(demo)) {
            layout.demoChart = QDir::cleanPath(demo);
        }
    }
    if (listFileWritable(programFolder)) {
        layout.listFile = beside;
    } else {
        layout.listFile = dataList;
        layout.previousListFile = beside;
    }
    return layout;
}

InstallLayout installLayout() {
    return installLayout(
        programFolder(),
        withTrailingSlash(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)),
        QDir::homePath());
}

}  // namespace carvel
