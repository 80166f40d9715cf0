#include "media/wav_file_sink.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "media/pcm16.h"

namespace carvel::media {

namespace {

QString systemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

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

WavFileSink::WavFileSink(QByteArray nativePath, int sampleRate)
    : path_(std::move(nativePath)), rate_(sampleRate) {}

WavFileSink::~WavFileSink() {
    discard();
}

bool WavFileSink::fail(const QString& error) {
    error_ = error;
    discard();
    return false;
}

void WavFileSink::discard() {
    file_.reset();
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temp_.isEmpty()) {
        ::unlink(temp_.constData());
        temp_.clear();
    }
}

bool WavFileSink::open() {
    discard();
    SF_INFO info{};
    info.samplerate = rate_;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    target_ = path_;
    struct stat st {};
    if (::lstat(path_.constData(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(path_.constData(), resolved) != nullptr) {
            target_ = resolved;
        }
    }
    const bool exists = ::stat(target_.constData(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        file_.reset(sf_open(target_.constData(), SFM_WRITE, &info));
        return file_ ? true : fail(QString::fromUtf8(sf_strerror(nullptr)));
    }
    const qsizetype slash = target_.lastIndexOf('/');
    QByteArray name = target_.left(slash + 1) + '.' + target_.mid(slash + 1) + ".XXXXXX";
    fd_ = ::mkstemp(name.data());
    if (fd_ < 0) {
        return fail(systemError(errno));
    }
    temp_ = name;
    if (::fchmod(fd_, exists ? st.st_mode & 07777 : newFileMode()) != 0) {
        return fail(systemError(errno));
    }
    file_.reset(sf_open_fd(fd_, SFM_WRITE, &info, SF_FALSE));
    return file_ ? true : fail(QString::fromUtf8(sf_strerror(nullptr)));
}

bool WavFileSink::write(const float* samples, std::int64_t frames) {
    if (!file_) {
        return false;
    }
    const auto count = static_cast<size_t>(frames) * 2;
    pcm_.resize(count);
    toPcm16(samples, frames * 2, pcm_.data());
    if (sf_write_short(file_.get(), pcm_.data(), static_cast<sf_count_t>(count)) !=
        static_cast<sf_count_t>(count)) {
        return fail(QString::fromUtf8(sf_strerror(file_.get())));
    }
    return true;
}

bool WavFileSink::close() {
    if (!file_) {
        return false;
    }
    const int result = sf_close(file_.release());
    if (result != 0) {
        return fail(QString::fromUtf8(sf_error_number(result)));
    }
    if (temp_.isEmpty()) {
        return true;
    }
    // The data reaches the disk before the name does, so that a crash cannot leave the target
    // named but empty.
    if (::fsync(fd_) != 0 || ::close(std::exchange(fd_, -1)) != 0) {
        return fail(systemError(errno));
    }
    if (::rename(temp_.constData(), target_.constData()) != 0) {
        return fail(systemError(errno));
    }
    temp_.clear();
    return true;
}

}  // namespace carvel::media
