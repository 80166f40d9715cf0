#include "playlist/folder_search.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <deque>

#include "playlist/title_probe.h"

namespace carvel {

std::vector<Playlist::Entry> searchCharts(const QString& root, const std::atomic<bool>* cancel) {
    std::vector<QString> found;
    std::deque<QString> queue{root};
    while (!queue.empty() && !(cancel && cancel->load())) {
        const QString folder = queue.front();
        queue.pop_front();
        QDirIterator it(folder,
                        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        std::vector<QString> files;
        while (it.hasNext()) {
            it.next();
            const QFileInfo info = it.fileInfo();
            if (info.isDir()) {
                if (!info.isSymLink()) {
                    queue.push_back(info.filePath());
                }
            } else if (info.suffix().compare(u"bms", Qt::CaseInsensitive) == 0) {
                files.push_back(info.filePath());
            }
        }
        found.insert(found.end(), files.begin(), files.end());
    }
    std::vector<Playlist::Entry> entries;
    entries.reserve(found.size());
    for (const QString& path : found) {
        if (cancel && cancel->load()) {
            break;
        }
        entries.push_back({ProbeTitle(path), path});
    }
    return entries;
}

}  // namespace carvel
