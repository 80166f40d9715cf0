#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <optional>
#include <vector>

namespace carvel {

// File names on Linux are bytes, and charts unpacked from Japanese archives often carry names in
// CP932 rather than UTF-8. The program handles every path as text: the bytes decoded the way chart
// text is (UTF-8 when valid, else CP932). Whatever is opened goes back to the real bytes first.

QString decodeFileName(QByteArrayView bytes);

// The local file that a file URL names, decoded from the URL's percent-decoded bytes as
// decodeFileName does (QUrl::toLocalFile would read them as UTF-8 only). Empty for any other URL.
QString localFileName(const QUrl& url);

// The real bytes of the existing file or folder whose decoded path is `path` (absolute, or relative
// to the working folder): the UTF-8 encoding when something of that name exists, else each
// component matched against the decoded names in its folder. nullopt when nothing matches.
std::optional<QByteArray> nativePath(const QString& path);

struct FolderEntry {
    enum class Kind { Regular, Folder, Other };
    QByteArray bytes;         // the name on disk
    QString name;             // decodeFileName(bytes)
    Kind kind = Kind::Other;  // of what the entry points to, links followed
    bool symlink = false;
};

// The entries of a folder, without "." and "..": sorted by their bytes, or in the order the file
// system lists them. Empty when the folder cannot be read.
enum class FolderOrder { ByName, AsListed };
std::vector<FolderEntry> listFolder(const QByteArray& folder,
                                    FolderOrder order = FolderOrder::ByName);

}  // namespace carvel
