#include "platform/file_system.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFileInfo>

#include "platform/file_name.h"
#include "platform/regular_file.h"

namespace carvel {

bool fileExists(const QString& path) {
    const std::optional<QByteArray> native = nativePath(path);
    return native && isRegularFile(*native);
}

namespace {

bool isFolder(const std::optional<QByteArray>& native) {
    struct stat info {};
    return native && ::stat(native->constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

bool folderExists(const QString& path) {
    return isFolder(nativePath(path));
}

bool folderReadable(const QString& path) {
    const std::optional<QByteArray> native = nativePath(path);
    return isFolder(native) && ::access(native->constData(), R_OK | X_OK) == 0;
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
