#include "media/wav_file_sink.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include "media/pcm16.h"
#include "media/sndfile_open.h"

namespace carvel::media {

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
    out_.discard();
}

bool WavFileSink::open() {
    discard();
    if (!out_.open(path_)) {
        return fail(out_.error());
    }
    SF_INFO info{};
    info.samplerate = rate_;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    file_.reset(openOnDuplicate(out_.fd(), SFM_WRITE, info));
    if (!file_) {
        return fail(errno != 0 ? QString::fromLocal8Bit(std::strerror(errno))
                               : QString::fromUtf8(sf_strerror(nullptr)));
    }
    return true;
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
    return out_.commit() ? true : fail(out_.error());
}

}  // namespace carvel::media
