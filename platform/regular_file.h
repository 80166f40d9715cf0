#pragma once

#include <QByteArray>
#include <QString>

namespace carvel {

// An open regular file, read-only. Opening never blocks: a FIFO, socket or device counts as
// missing, so nothing a folder holds can hang a reader.
class RegularFile {
  public:
    RegularFile() = default;
    explicit RegularFile(const QByteArray& nativePath);
    ~RegularFile();
    RegularFile(RegularFile&& other) noexcept;
    RegularFile& operator=(RegularFile&& other) noexcept;
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    qint64 size() const { return size_; }
    // Hands the descriptor over to the caller, who closes it.
    int release();

  private:
    int fd_ = -1;
    qint64 size_ = 0;
};

// True for an existing regular file, or a link to one.
bool isRegularFile(const QByteArray& nativePath);

struct FileBytes {
    enum class Status { Ok, NotFound, TooLarge, Unreadable };
    Status status = Status::NotFound;
    QByteArray bytes;
};

// The whole content of the regular file at path (decoded text, see nativePath). A file of more than
// maxBytes is not read.
FileBytes readFileBytes(const QString& path, qint64 maxBytes);

}  // namespace carvel
