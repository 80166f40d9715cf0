#pragma once

#include <QString>
#include <atomic>
#include <vector>

#include "playlist/playlist.h"

namespace carvel {

// Collects every chart (extension "bms" in any case) below root, breadth first: a folder's own
// files in the order the file system lists them, then its subfolders level by level. Folders that
// cannot be read are skipped; symbolic links to folders are not followed, so link cycles cannot
// make the walk endless. Titles come from ProbeTitle. Safe to run off the user-interface thread;
// cancel makes it return early with what it has.
std::vector<Playlist::Entry> searchCharts(const QString& root,
                                          const std::atomic<bool>* cancel = nullptr);

}  // namespace carvel
