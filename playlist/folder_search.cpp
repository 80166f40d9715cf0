#include "playlist/folder_search.h"

#include <algorithm>

#include <deque>

#include "platform/file_name.h"
#include "platform/file_system.h"
#include "playlist/title_probe.h"

namespace carvel {

namespace {

// A file or folder by its path as text and by its bytes on disk.
struct Place {
    QString path;
    QByteArray native;
};

// Compared on the bytes: '.' is never part of a CP932 character, so this agrees with the
// decoded name.
bool isChartName(const QByteArray& name, ReadingMode mode) {
    if (name.size() < 4) {
        return false;
    }
    const QByteArrayView extension = QByteArrayView(name).last(4);
    if (extension.compare(".bms", Qt::CaseInsensitive) == 0) {
        return true;
    }
    return mode == ReadingMode::Full &&
           (extension.compare(".bme", Qt::CaseInsensitive) == 0 ||
            extension.compare(".bml", Qt::CaseInsensitive) == 0 ||
            extension.compare(".pms", Qt::CaseInsensitive) == 0 ||
            (name.size() >= 6 &&
             QByteArrayView(name).last(6).compare(".bmson", Qt::CaseInsensitive) == 0));
}

}  // namespace

SearchResult searchCharts(const QString& root, const std::atomic<bool>* cancel, ReadingMode mode) {
    SearchResult result;
    const auto cancelled = [cancel] { return cancel && cancel->load(); };
    const std::optional<QByteArray> rootNative = nativePath(root);
    if (!rootNative) {
        return result;
    }
    std::vector<Place> found;
    std::deque<Place> queue{{root, *rootNative}};
    while (!queue.empty() && !cancelled()) {
        const Place folder = std::move(queue.front());
        queue.pop_front();
        const QString prefix = withTrailingSlash(folder.path);
        const QByteArray nativePrefix =
            folder.native.endsWith('/') ? folder.native : folder.native + '/';
        // By name within each folder, as a desktop's file manager lists it: letter case aside,
        // then by the bytes.
        std::vector<FolderEntry> entries = listFolder(folder.native, FolderOrder::AsListed);
        std::sort(entries.begin(), entries.end(), [](const FolderEntry& a, const FolderEntry& b) {
            const int order = a.name.compare(b.name, Qt::CaseInsensitive);
            return order != 0 ? order < 0 : a.bytes < b.bytes;
        });
        for (FolderEntry& entry : entries) {
            if (entry.kind == FolderEntry::Kind::Folder) {
                if (!entry.symlink) {
                    queue.push_back({prefix + entry.name, nativePrefix + entry.bytes});
                }
            } else if (entry.kind == FolderEntry::Kind::Regular && isChartName(entry.bytes, mode)) {
                found.push_back({prefix + entry.name, nativePrefix + entry.bytes});
            }
        }
    }
    result.charts.reserve(found.size());
    for (const Place& chart : found) {
        if (cancelled()) {
            break;
        }
        if (holdsLineBreak(chart.path)) {
            ++result.withLineBreak;
            continue;
        }
        result.charts.push_back({probeTitleAt(chart.native), chart.path, {}});
    }
    return result;
}

}  // namespace carvel
