#include "platform/file_name.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <QStringList>
#include <algorithm>
#include <memory>

#include "platform/text_decoding.h"

namespace carvel {

namespace {

QByteArray joined(const QByteArray& folder, const QByteArray& name) {
    if (folder.isEmpty()) {
        return name;
    }
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

bool exists(const QByteArray& path) {
    struct stat info {};
    return ::stat(path.constData(), &info) == 0 || ::lstat(path.constData(), &info) == 0;
}

FolderEntry::Kind kindOf(const struct stat& info) {
    if (S_ISREG(info.st_mode)) {
        return FolderEntry::Kind::Regular;
    }
    return S_ISDIR(info.st_mode) ? FolderEntry::Kind::Folder : FolderEntry::Kind::Other;
}

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

}  // namespace

QString decodeFileName(QByteArrayView bytes) {
    return decodeUtf8OrCp932(bytes);
}

QString localFileName(const QUrl& url) {
    if (!url.isLocalFile()) {
        return QString();
    }
    // Fully encoded, the path is ASCII; bytes that are no UTF-8 stay percent-encoded in it.
    QByteArray bytes = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    if (!url.host().isEmpty()) {
        bytes.prepend("//" + url.host(QUrl::FullyEncoded).toLatin1());
    }
    return decodeFileName(bytes);
}

std::optional<QByteArray> nativePath(const QString& path) {
    if (path.isEmpty() || path.contains(QChar(0))) {
        return std::nullopt;
    }
    const QByteArray utf8 = path.toUtf8();
    if (exists(utf8)) {
        return utf8;
    }
    QByteArray current = path.startsWith(u'/') ? QByteArray("/") : QByteArray();
    for (const QString& part : path.split(u'/', Qt::SkipEmptyParts)) {
        QByteArray next = joined(current, part.toUtf8());
        if (!exists(next)) {
            next.clear();
            for (const FolderEntry& entry : listFolder(current.isEmpty() ? "." : current)) {
                if (entry.name == part) {
                    next = joined(current, entry.bytes);
                    break;
                }
            }
            if (next.isEmpty()) {
                return std::nullopt;
            }
        }
        current = std::move(next);
    }
    return current;
}

std::vector<FolderEntry> listFolder(const QByteArray& folder, FolderOrder order) {
    std::vector<FolderEntry> entries;
    std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.constData()));
    if (!dir) {
        return entries;
    }
    const int fd = ::dirfd(dir.get());
    while (const dirent* d = ::readdir(dir.get())) {
        const QByteArrayView name(d->d_name);
        if (name == "." || name == "..") {
            continue;
        }
        FolderEntry entry;
        entry.bytes = name.toByteArray();
        entry.name = decodeFileName(name);
        struct stat info {};
        switch (d->d_type) {
            case DT_REG:
                entry.kind = FolderEntry::Kind::Regular;
                break;
            case DT_DIR:
                entry.kind = FolderEntry::Kind::Folder;
                break;
            case DT_LNK:
            case DT_UNKNOWN:
                if (::fstatat(fd, d->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0) {
                    entry.symlink = S_ISLNK(info.st_mode);
                    if (!entry.symlink || ::fstatat(fd, d->d_name, &info, 0) == 0) {
                        entry.kind = kindOf(info);
                    }
                }
                break;
            default:
                break;
        }
        entries.push_back(std::move(entry));
    }
    if (order == FolderOrder::ByName) {
        std::sort(entries.begin(), entries.end(),
                  [](const FolderEntry& a, const FolderEntry& b) { return a.bytes < b.bytes; });
    }
    return entries;
}

}  // namespace carvel
