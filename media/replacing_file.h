#pragma once

#include <QByteArray>
#include <QString>

namespace carvel::media {

// A file written in place of another. The data goes to a new hidden file beside the target (same
// folder), which takes the target's place, with the target's permissions where there was one,
// only once commit() has completed it: a file discarded or destroyed before that removes its own
// file and leaves whatever had the name untouched. A target that exists but is no regular file (a
// device, a FIFO) is written directly. When the target is a symbolic link, the file it names is
// replaced and the link kept.
class ReplacingFile {
  public:
    ReplacingFile() = default;
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Opens the file to write in place of target; false, with error(), when it cannot be made.
    bool open(const QByteArray& target);
    // The descriptor to write to; -1 unless open.
    int fd() const { return fd_; }
    // Puts the written file in the target's place, its data on the disk first, and closes it.
    bool commit();
    // Closes and removes the file written; the target stays as it was.
    void discard();
    QString error() const { return error_; }

    // The system's text for an errno value.
    static QString systemError(int error);

  private:
    bool fail(int error);

    QByteArray target_;  // the file that is replaced
    QByteArray temp_;    // the file written, when it is not the target itself
    int fd_ = -1;
    QString error_;
};

}  // namespace carvel::media
