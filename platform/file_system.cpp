#include "platform/file_system.h"

#include <QCoreApplication>
#include <QFileInfo>

#include "platform/file_name.h"
#include "platform/regular_file.h"

namespace carvel {

bool fileExists(const QString& path) {
    const std::optional<QByteArray> native = nativePath(path);
    return native && isRegularFile(*native);
}

QString parentFolder(const QString& path) {
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash < 0) {
        return QString();
    }
    if (slash == 0) {
        return QStringLiteral("/");
    }
    return path.left(slash);
}

QString withTrailingSlash(const QString& folder) {
    if (folder.endsWith(u'/')) {
        return folder;
    }
    return folder + u'/';
}

QString programFolder() {
    return withTrailingSlash(QCoreApplication::applicationDirPath());
}

}  // namespace carvel
