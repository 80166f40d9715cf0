#include "platform/text_viewer.h"

#include <QFileInfo>
#include <QProcess>

#include "platform/file_system.h"

namespace carvel {

bool openInTextViewer(const QString& path) {
    QString viewer = qEnvironmentVariable("CARVEL_TEXT_VIEWER");
    if (viewer.isEmpty()) {
        viewer = programFolder() + QStringLiteral("carvel-textview");
    }
    const QFileInfo info(viewer);
    if (!info.isFile() || !info.isExecutable()) {
        return false;
    }
    return QProcess::startDetached(viewer, {path});
}

}  // namespace carvel
