#pragma once

#include <QByteArray>
#include <QString>

#include "playlist/entry_store.h"

namespace carvel {

// The playlist file: one line per entry, title, ">", path, CR LF.
//
// Reading decodes each line by itself, UTF-8 when it is valid UTF-8, else CP932 (a UTF-8 mark
// before the first line is skipped), and takes any line break. A line is cut at its first ">"
// (title before, path after: a path may itself contain ">"); a line without ">" is skipped. A line
// valid in neither encoding keeps its bytes in the entry and is written back as it was read.
// Writing uses UTF-8 and replaces ">" in a title with "＞", so every entry reads back as written;
// an entry whose path holds CR or LF is left out, since it would split into two lines.
EntryStore parseListFile(QByteArrayView bytes);
QByteArray formatListFile(const EntryStore& entries);

// The list file as read: Missing when nothing has the name (a new list), Unreadable when something
// is there that could not be read whole (an I/O error, a folder or FIFO, too little memory). An
// unreadable list file must not be written over: what it holds would be lost.
struct ListFileReading {
    enum class Status { Ok, Missing, Unreadable };
    Status status = Status::Missing;
    EntryStore entries;
    QString error;  // why it is Unreadable, for the user
};

// Reads the file at path in pieces, line by line, so any list whose entries fit in memory is read;
// the file is never held whole.
ListFileReading loadListFile(const QString& path);
// The entries of loadListFile, none unless it was read whole.
EntryStore readListFile(const QString& path);

// Writes through a temporary file in the same folder that replaces the old file only once it is
// complete, so a failure never loses the previous playlist. The text is formatted and written in
// pieces, never whole. Returns an error text, empty on success.
QString writeListFile(const QString& path, const EntryStore& entries);

}  // namespace carvel
