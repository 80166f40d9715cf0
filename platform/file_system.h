#pragma once

#include <QString>

namespace carvel {

// True only for an existing regular file (or a link to one); false for a folder, a FIFO, a device.
// path is decoded text (see nativePath).
bool fileExists(const QString& path);

// True for an existing folder (or a link to one). path is decoded text.
bool folderExists(const QString& path);

// True for an existing folder that this user may list and enter. path is decoded text.
bool folderReadable(const QString& path);

// The folder part of a path: everything before its last '/'. "/" for a file in the root, "" when
// the path has no folder part.
QString parentFolder(const QString& path);

// Appends '/' unless the folder already ends in one (the root "/" stays as it is).
QString withTrailingSlash(const QString& folder);

// The folder of the running executable, ending in '/'. Needs a QCoreApplication.
QString programFolder();

}  // namespace carvel
