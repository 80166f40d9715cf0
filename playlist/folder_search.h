#pragma once

#include <QString>
#include <atomic>
#include <vector>

#include "chart/reading_mode.h"
#include "playlist/playlist.h"

namespace carvel {

struct SearchResult {
    std::vector<Playlist::Entry> charts;
    // Charts left out because their path holds CR or LF (see holdsLineBreak).
    qsizetype withLineBreak = 0;
};

// Collects every chart below root: a regular file with the extension "bms" in any case, and in the
// full reading also "bme", "bml" and "pms". Breadth first: a folder's own files in the order the
// file system lists them, then its subfolders level by level. Folders are walked by the bytes of
// their names, so names in CP932 are found, and listed decoded (see decodeFileName). Folders that
// cannot be read are skipped; symbolic links to folders are not followed, so link cycles cannot
// make the walk endless; FIFOs, sockets and devices are never opened. Titles come from the title
// probe. Safe to run off the user-interface thread; cancel makes it return early with what it has.
SearchResult searchCharts(const QString& root, const std::atomic<bool>* cancel = nullptr,
                          ReadingMode mode = ReadingMode::Classic);

}  // namespace carvel
