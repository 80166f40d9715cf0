#include "platform/path_lookup.h"

#include <QDir>
#include <QFileInfo>
#include <array>

#include "platform/file_system.h"

namespace carvel {

namespace {

const std::array<QStringList, 2>& extensionGroups() {
    static const std::array<QStringList, 2> groups = {
        QStringList{QStringLiteral("wav"), QStringLiteral("ogg"), QStringLiteral("flac")},
        QStringList{QStringLiteral("bmp"), QStringLiteral("png"), QStringLiteral("jpg"),
                    QStringLiteral("jpeg")}};
    return groups;
}

bool isFolder(const QString& path) {
    const QFileInfo info(path);
    return info.exists() && info.isDir();
}

}  // namespace

QString PathResolver::resolve(const QString& folder, const QString& name) {
    QString relative = name;
    relative.replace(u'\\', u'/');
    if (relative.isEmpty()) {
        return QString();
    }
    QString found = resolveExactOrFolded(folder, relative);
    if (!found.isEmpty()) {
        return found;
    }
    const qsizetype dot = relative.lastIndexOf(u'.');
    if (dot < 0 || dot < relative.lastIndexOf(u'/')) {
        return QString();
    }
    const QString stem = relative.left(dot + 1);
    const QString extension = relative.sliced(dot + 1).toLower();
    for (const QStringList& group : extensionGroups()) {
        if (!group.contains(extension)) {
            continue;
        }
        for (const QString& other : group) {
            if (other == extension) {
                continue;
            }
            found = resolveExactOrFolded(folder, stem + other);
            if (!found.isEmpty()) {
                return found;
            }
        }
    }
    return QString();
}

QString PathResolver::resolveExactOrFolded(const QString& folder, const QString& relative) {
    const QString exact = folder + relative;
    if (fileExists(exact)) {
        return exact;
    }
    const QStringList parts = relative.split(u'/', Qt::SkipEmptyParts);
    if (parts.isEmpty()) {
        return QString();
    }
    QString current = withTrailingSlash(folder);
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QString& part = parts.at(i);
        const bool last = i + 1 == parts.size();
        QString next = current + part;
        const bool present = last ? fileExists(next) : isFolder(next);
        if (!present) {
            next.clear();
            if (part != u"." && part != u"..") {
                for (const QString& entry : listing(current)) {
                    if (entry.compare(part, Qt::CaseInsensitive) == 0) {
                        const QString candidate = current + entry;
                        if (last ? fileExists(candidate) : isFolder(candidate)) {
                            next = candidate;
                            break;
                        }
                    }
                }
            }
            if (next.isEmpty()) {
                return QString();
            }
        }
        current = last ? next : next + u'/';
    }
    return current;
}

const QStringList& PathResolver::listing(const QString& folder) {
    auto it = listings_.find(folder);
    if (it == listings_.end()) {
        // Sorted by name so that the choice among names that differ only in case is stable.
        QDir dir(folder);
        it = listings_.insert(folder, dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                                        QDir::NoDotAndDotDot,
                                                    QDir::Name));
    }
    return it.value();
}

}  // namespace carvel
