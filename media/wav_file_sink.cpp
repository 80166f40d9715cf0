#include "media/wav_file_sink.h"

#include <algorithm>
#include <cmath>

namespace carvel::media {

WavFileSink::WavFileSink(QByteArray nativePath, int sampleRate)
    : path_(std::move(nativePath)), rate_(sampleRate) {}

bool WavFileSink::open() {
    SF_INFO info{};
    info.samplerate = rate_;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    file_.reset(sf_open(path_.constData(), SFM_WRITE, &info));
    if (!file_) {
        error_ = QString::fromUtf8(sf_strerror(nullptr));
        return false;
    }
    return true;
}

bool WavFileSink::write(const float* samples, std::int64_t frames) {
    if (!file_) {
        return false;
    }
    const auto count = static_cast<size_t>(frames) * 2;
    pcm_.resize(count);
    short* out = pcm_.data();
    for (size_t i = 0; i < count; ++i) {
        // Rounds half away from zero; written without a branch so that the loop vectorizes.
        const float v = std::clamp(samples[i], -1.0f, 1.0f) * 32767.0f;
        out[i] = static_cast<short>(v + std::copysign(0.5f, v));
    }
    if (sf_write_short(file_.get(), pcm_.data(), static_cast<sf_count_t>(count)) !=
        static_cast<sf_count_t>(count)) {
        error_ = QString::fromUtf8(sf_strerror(file_.get()));
        return false;
    }
    return true;
}

bool WavFileSink::close() {
    if (!file_) {
        return false;
    }
    const int result = sf_close(file_.release());
    if (result != 0) {
        error_ = QString::fromUtf8(sf_error_number(result));
        return false;
    }
    return true;
}

}  // namespace carvel::media
