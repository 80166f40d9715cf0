#include "platform/regular_file.h"

#include "platform/page_release.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>

#include "platform/file_name.h"

namespace carvel {

RegularFile::RegularFile(const QByteArray& nativePath) {
    struct stat info {};
    // Checked before opening, so that opening a device has no side effects; checked again on the
    // descriptor, in case the name was replaced in between. O_NONBLOCK keeps a FIFO from blocking.
    if (nativePath.isEmpty() || ::stat(nativePath.constData(), &info) != 0 ||
        !S_ISREG(info.st_mode)) {
        return;
    }
    fd_ = ::open(nativePath.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd_ < 0) {
        return;
    }
    if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd_);
        fd_ = -1;
        return;
    }
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
    size_ = info.st_size;
}

RegularFile::~RegularFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

RegularFile::RegularFile(RegularFile&& other) noexcept : fd_(other.fd_), size_(other.size_) {
    other.fd_ = -1;
}

RegularFile& RegularFile::operator=(RegularFile&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = other.fd_;
        size_ = other.size_;
        other.fd_ = -1;
    }
    return *this;
}

int RegularFile::release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

bool isRegularFile(const QByteArray& nativePath) {
    struct stat info {};
    return !nativePath.isEmpty() && ::stat(nativePath.constData(), &info) == 0 &&
           S_ISREG(info.st_mode);
}

FileBytes readFileBytes(const QString& path, qint64 maxBytes) {
    FileBytes result;
    const std::optional<QByteArray> native = nativePath(path);
    if (!native || !isRegularFile(*native)) {
        return result;
    }
    RegularFile file(*native);
    if (!file.isOpen()) {
        result.status = FileBytes::Status::Unreadable;
        return result;
    }
    if (file.size() > maxBytes) {
        result.status = FileBytes::Status::TooLarge;
        return result;
    }
    try {
        // The size is a hint: the file may grow or shrink while it is read.
        QByteArray bytes(file.size() + 1, Qt::Uninitialized);
        // A file of megabytes (a large chart) fills its buffer with a fault per large page instead
        // of one per small page; smaller files are not touched by the advice.
        adviseLargePages(bytes.constData(), static_cast<size_t>(bytes.size()));
        qint64 filled = 0;
        for (;;) {
            if (filled == bytes.size()) {
                if (filled > maxBytes) {
                    result.status = FileBytes::Status::TooLarge;
                    return result;
                }
                bytes.resize(std::min(maxBytes + 1, 2 * filled + 4096));
            }
            const ssize_t got = ::read(file.fd(), bytes.data() + filled,
                                       static_cast<size_t>(bytes.size() - filled));
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got < 0) {
                result.status = FileBytes::Status::Unreadable;
                return result;
            }
            if (got == 0) {
                break;
            }
            filled += got;
        }
        if (filled > maxBytes) {
            result.status = FileBytes::Status::TooLarge;
            return result;
        }
        bytes.truncate(filled);
        result.bytes = std::move(bytes);
        result.status = FileBytes::Status::Ok;
    } catch (const std::bad_alloc&) {
        result.status = FileBytes::Status::Unreadable;
    }
    return result;
}

}  // namespace carvel
