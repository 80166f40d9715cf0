#include "media/sound_decoder.h"

#include <samplerate.h>
#include <sndfile.h>

#include <cmath>
#include <new>

#include "platform/regular_file.h"

namespace carvel::media {

namespace {

struct SndFileCloser {
    void operator()(SNDFILE* f) const { sf_close(f); }
};

// Upper bound on decoded length (one hour at 192 kHz) so a lying header cannot exhaust memory.
constexpr sf_count_t kMaxFrames = sf_count_t{192000} * 3600;

std::vector<float> readStereo(SNDFILE* file, int channels) {
    constexpr sf_count_t kChunk = 16384;
    std::vector<float> chunk(static_cast<size_t>(kChunk * channels));
    std::vector<float> stereo;
    sf_count_t total = 0;
    for (;;) {
        const sf_count_t got = sf_readf_float(file, chunk.data(), kChunk);
        if (got <= 0) {
            break;
        }
        total += got;
        if (total > kMaxFrames) {
            break;
        }
        for (sf_count_t i = 0; i < got; ++i) {
            const float* frame = chunk.data() + i * channels;
            const float left = frame[0];
            const float right = channels > 1 ? frame[1] : frame[0];
            stereo.push_back(std::isfinite(left) ? left : 0.0f);
            stereo.push_back(std::isfinite(right) ? right : 0.0f);
        }
    }
    return stereo;
}

bool resample(std::vector<float>& stereo, int fromRate, int toRate) {
    if (fromRate == toRate || stereo.empty()) {
        return true;
    }
    const double ratio = static_cast<double>(toRate) / fromRate;
    const long inFrames = static_cast<long>(stereo.size() / 2);
    const long outFrames = static_cast<long>(std::ceil(inFrames * ratio)) + 16;
    std::vector<float> out(static_cast<size_t>(outFrames) * 2);
    SRC_DATA data{};
    data.data_in = stereo.data();
    data.input_frames = inFrames;
    data.data_out = out.data();
    data.output_frames = outFrames;
    data.src_ratio = ratio;
    data.end_of_input = 1;
    if (src_simple(&data, SRC_SINC_FASTEST, 2) != 0) {
        return false;
    }
    out.resize(static_cast<size_t>(data.output_frames_gen) * 2);
    stereo = std::move(out);
    return true;
}

}  // namespace

SoundPtr decodeSound(const QByteArray& nativePath, int outputRate) {
    if (outputRate <= 0) {
        return nullptr;
    }
    RegularFile regular(nativePath);
    if (!regular.isOpen()) {
        return nullptr;
    }
    SF_INFO info{};
    std::unique_ptr<SNDFILE, SndFileCloser> file(
        sf_open_fd(regular.fd(), SFM_READ, &info, SF_TRUE));
    if (file) {
        regular.release();  // libsndfile closes it now
    }
    if (!file || info.channels <= 0 || info.samplerate <= 0) {
        return nullptr;
    }
    try {
        auto sound = std::make_shared<Sound>();
        sound->sampleRate = outputRate;
        sound->samples = readStereo(file.get(), info.channels);
        if (sf_error(file.get()) != SF_ERR_NO_ERROR && sound->samples.empty()) {
            return nullptr;
        }
        if (!resample(sound->samples, info.samplerate, outputRate)) {
            return nullptr;
        }
        return sound;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace carvel::media
