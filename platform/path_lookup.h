#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <vector>

#include "platform/file_name.h"

namespace carvel {

// A file found on disk: its path as text (for messages and lists) and as the bytes to open.
struct FoundFile {
    QString path;
    QByteArray native;
    bool found() const { return !native.isEmpty(); }
};

// Finds the file that a chart names relative to its folder. Charts are often written on systems
// with '\' as separator and without letter case in file names, and their files may carry CP932
// names on disk, so a name is tried, in this order: exactly; component by component against the
// decoded names on disk, without regard to case; then, when still missing, with the same stem and
// the other usual extensions of its kind (sound: wav, ogg, flac, mp3; picture: bmp, png, jpg,
// jpeg; and, for a resolver that finds videos, those of namesVideo). Such a resolver tries a
// video's name first as an .mp4 of the same stem, since video packages put their HD version there.
// Only regular files are found. Folder listings are cached, so one resolver serves one load
// and is then dropped. Not thread-safe.
class PathResolver {
  public:
    // videos: video names are looked up as videos (see above); otherwise they are plain names.
    explicit PathResolver(bool videos = false) : videos_(videos) {}

    // folder is the chart's folder as text, ending in '/'.
    FoundFile resolve(const QString& folder, const QString& name);

    // The name ends in a video extension (mp4 mpg mpeg m1v m2v wmv asf avi m4v mov webm mkv flv,
    // in any letter case).
    static bool namesVideo(const QString& name);

  private:
    // One folder's entries, indexed by name exactly and case-folded, so that a lookup costs the
    // same however many files the folder holds. Each key keeps the first entry in sorted order.
    struct Listing {
        std::vector<FolderEntry> entries;
        QHash<QString, std::size_t> exact;
        QHash<QString, std::size_t> folded;
    };

    FoundFile resolveExactOrFolded(const QString& folder, const QString& relative);
    const FolderEntry* findEntry(const QByteArray& folder, const QString& name,
                                 FolderEntry::Kind kind);

    bool videos_;
    QString folder_;
    QByteArray nativeFolder_;  // of folder_; empty when it does not exist
    bool folderKnown_ = false;
    // Keyed by kind and folder, each listing holding the entries of that kind only.
    QHash<QByteArray, Listing> listings_;
};

}  // namespace carvel
