#include "media/replacing_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace carvel::media {

namespace {

// The permissions a new file gets, read without changing the process's umask (other threads may
// be creating files).
mode_t newFileMode() {
    QFile status(QStringLiteral("/proc/self/status"));
    mode_t mask = 022;
    if (status.open(QIODevice::ReadOnly)) {
        for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
            if (line.startsWith("Umask:")) {
                bool ok = false;
                const uint value = line.mid(6).trimmed().toUInt(&ok, 8);
                mask = ok ? static_cast<mode_t>(value) : mask;
                break;
            }
        }
    }
    return 0666 & ~mask;
}

}  // namespace

QString ReplacingFile::systemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

ReplacingFile::~ReplacingFile() {
    discard();
}

bool ReplacingFile::fail(int error) {
    error_ = systemError(error);
    discard();
    return false;
}

void ReplacingFile::discard() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temp_.isEmpty()) {
        ::unlink(temp_.constData());
        temp_.clear();
    }
}

bool ReplacingFile::open(const QByteArray& target) {
    discard();
    error_.clear();
    target_ = target;
    struct stat st {};
    if (::lstat(target.constData(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(target.constData(), resolved) != nullptr) {
            target_ = resolved;
        }
    }
    const bool exists = ::stat(target_.constData(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        fd_ = ::open(target_.constData(), O_WRONLY | O_CLOEXEC);
        return fd_ >= 0 ? true : fail(errno);
    }
    const qsizetype slash = target_.lastIndexOf('/');
    QByteArray name = target_.left(slash + 1) + '.' + target_.mid(slash + 1) + ".XXXXXX";
    fd_ = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd_ < 0) {
        return fail(errno);
    }
    temp_ = name;
    if (::fchmod(fd_, exists ? st.st_mode & 07777 : newFileMode()) != 0) {
        return fail(errno);
    }
    return true;
}

bool ReplacingFile::commit() {
    if (fd_ < 0) {
        return false;
    }
    if (temp_.isEmpty()) {
        return ::close(std::exchange(fd_, -1)) == 0 ? true : fail(errno);
    }
    // The data reaches the disk before the name does, so that a crash cannot leave the target
    // named but empty.
    if (::fsync(fd_) != 0 || ::close(std::exchange(fd_, -1)) != 0) {
        return fail(errno);
    }
    if (::rename(temp_.constData(), target_.constData()) != 0) {
        return fail(errno);
    }
    temp_.clear();
    return true;
}

}  // namespace carvel::media
