#pragma once

#include <QString>

#include "chart/reading_mode.h"

namespace carvel {

// The reading mode remembered between runs, as one key of an INI file.
class ReadingSetting {
  public:
    // file: empty remembers nothing (every start reads in the classic mode).
    explicit ReadingSetting(QString file) : file_(std::move(file)) {}

    // carvel/carvel.conf in the user's config folder ($XDG_CONFIG_HOME, else ~/.config).
    static QString defaultFile();

    // Classic unless the file says full; a missing or unreadable file says nothing. Something
    // other than a regular file in its place is never read nor written (a line on stderr says so).
    ReadingMode load() const;
    // False when the file could not be written.
    bool save(ReadingMode mode) const;

  private:
    QString file_;
};

}  // namespace carvel
