#pragma once

#include <QByteArrayView>
#include <vector>

#include "playlist/entry_store.h"

namespace carvel {

// Cuts the bytes of a list file into lines as they come, in pieces of any size, and keeps the
// entries they hold (list_file.h tells how a line reads). A line ends at CR or LF; the empty line
// between the two of a CR LF has no '>' and is skipped like any other. A UTF-8 byte-order mark
// that begins the bytes is skipped.
class LineReader {
  public:
    void take(QByteArrayView bytes);
    // The entries of all the lines, the last one ended or not.
    EntryStore finish();

  private:
    void scan(bool atEnd);
    void takeLine(QByteArrayView line);

    std::vector<char> pending_;
    size_t scanned_ = 0;
    bool markChecked_ = false;
    EntryStore entries_;
};

// A byte-order mark begins the bytes.
bool startsWithMark(QByteArrayView bytes);
inline constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

}  // namespace carvel
