#include "platform/path_lookup.h"

#include <sys/stat.h>

#include <QStringList>
#include <array>
#include <utility>

#include "platform/regular_file.h"

namespace carvel {

namespace {

// The extensions tried in place of a missing file's, by kind: sounds, pictures, videos.
const std::array<QStringList, 3>& extensionGroups() {
    static const std::array<QStringList, 3> groups = {
        QStringList{QStringLiteral("wav"), QStringLiteral("ogg"), QStringLiteral("flac"),
                    QStringLiteral("mp3")},
        QStringList{QStringLiteral("bmp"), QStringLiteral("png"), QStringLiteral("jpg"),
                    QStringLiteral("jpeg")},
        QStringList{QStringLiteral("mp4"), QStringLiteral("mpg"), QStringLiteral("mpeg"),
                    QStringLiteral("m1v"), QStringLiteral("m2v"), QStringLiteral("wmv"),
                    QStringLiteral("asf"), QStringLiteral("avi"), QStringLiteral("m4v"),
                    QStringLiteral("mov"), QStringLiteral("webm"), QStringLiteral("mkv"),
                    QStringLiteral("flv")}};
    return groups;
}

const QStringList& videoExtensions() {
    return extensionGroups()[2];
}

// The extension of a relative name in lower case, and its stem with the dot; empty when the last
// component has no dot.
std::pair<QString, QString> splitExtension(const QString& relative) {
    const qsizetype dot = relative.lastIndexOf(u'.');
    if (dot < 0 || dot < relative.lastIndexOf(u'/')) {
        return {};
    }
    return {relative.left(dot + 1), relative.sliced(dot + 1).toLower()};
}

QByteArray withSlash(const QByteArray& folder) {
    return folder.endsWith('/') ? folder : folder + '/';
}

bool isFolderPath(const QByteArray& path) {
    struct stat info {};
    return ::stat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

FoundFile PathResolver::resolve(const QString& folder, const QString& name) {
    QString relative = name;
    relative.replace(u'\\', u'/');
    if (relative.isEmpty()) {
        return {};
    }
    if (!folderKnown_ || folder != folder_) {
        folder_ = folder;
        nativeFolder_ = nativePath(folder).value_or(QByteArray());
        folderKnown_ = true;
    }
    if (nativeFolder_.isEmpty()) {
        return {};
    }
    const auto [stem, extension] = splitExtension(relative);
    // Video packages put an HD version beside the named file as an .mp4 of the same stem.
    const bool video = videos_ && videoExtensions().contains(extension);
    if (video && extension != u"mp4") {
        FoundFile found = resolveExactOrFolded(folder, stem + QStringLiteral("mp4"));
        if (found.found()) {
            return found;
        }
    }
    FoundFile found = resolveExactOrFolded(folder, relative);
    if (found.found() || extension.isEmpty()) {
        return found;
    }
    for (const QStringList& group : extensionGroups()) {
        if (!group.contains(extension) || (&group == &videoExtensions() && !video)) {
            continue;
        }
        for (const QString& other : group) {
            if (other == extension || (video && other == u"mp4")) {
                continue;
            }
            found = resolveExactOrFolded(folder, stem + other);
            if (found.found()) {
                return found;
            }
        }
    }
    return {};
}

bool PathResolver::namesVideo(const QString& name) {
    QString relative = name;
    relative.replace(u'\\', u'/');
    return videoExtensions().contains(splitExtension(relative).second);
}

FoundFile PathResolver::resolveExactOrFolded(const QString& folder, const QString& relative) {
    const QByteArray exact = withSlash(nativeFolder_) + relative.toUtf8();
    if (!relative.contains(QChar(0)) && isRegularFile(exact)) {
        return {folder + relative, exact};
    }
    const QStringList parts = relative.split(u'/', Qt::SkipEmptyParts);
    if (parts.isEmpty()) {
        return {};
    }
    QString text = folder.endsWith(u'/') ? folder : folder + u'/';
    QByteArray native = withSlash(nativeFolder_);
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QString& part = parts.at(i);
        const bool last = i + 1 == parts.size();
        QByteArray bytes = part.toUtf8();
        QString name = part;
        const QByteArray next = native + bytes;
        const bool present =
            !part.contains(QChar(0)) && (last ? isRegularFile(next) : isFolderPath(next));
        if (!present) {
            if (part == u"." || part == u"..") {
                return {};
            }
            const FolderEntry* match = findEntry(
                native, part, last ? FolderEntry::Kind::Regular : FolderEntry::Kind::Folder);
            if (match == nullptr) {
                return {};
            }
            bytes = match->bytes;
            name = match->name;
        }
        text += name;
        native += bytes;
        if (!last) {
            text += u'/';
            native += '/';
        }
    }
    return {text, native};
}

// The entry of this kind named `name`: written exactly so first (a name on disk in CP932 decodes to
// it), else without regard to letter case. Listings are sorted, so the choice is stable.
const FolderEntry* PathResolver::findEntry(const QByteArray& folder, const QString& name,
                                           FolderEntry::Kind kind) {
    const QByteArray key = QByteArray::number(static_cast<int>(kind)) + ':' + folder;
    auto it = listings_.find(key);
    if (it == listings_.end()) {
        Listing listing;
        for (FolderEntry& entry : listFolder(folder)) {
            if (entry.kind != kind) {
                continue;
            }
            listing.entries.push_back(std::move(entry));
        }
        // The first of equal names wins, so fill the tables from the back.
        for (std::size_t i = listing.entries.size(); i-- > 0;) {
            listing.exact.insert(listing.entries[i].name, i);
            listing.folded.insert(listing.entries[i].name.toCaseFolded(), i);
        }
        it = listings_.insert(key, std::move(listing));
    }
    const Listing& listing = it.value();
    auto found = listing.exact.constFind(name);
    if (found == listing.exact.constEnd()) {
        found = listing.folded.constFind(name.toCaseFolded());
        if (found == listing.folded.constEnd()) {
            return nullptr;
        }
    }
    return &listing.entries[found.value()];
}

}  // namespace carvel
