#include "media/sound_decoder.h"

#include <samplerate.h>

#include <algorithm>
#include <cmath>
#include <new>

#include "platform/regular_file.h"

namespace carvel::media {

namespace {

struct ConverterDeleter {
    void operator()(SRC_STATE* state) const { src_delete(state); }
};

// Samples per read, whatever the channel count: bounds the working memory of one decode.
constexpr std::int64_t kChunkSamples = 65536;

// The converter's output is given this much room beyond the exact length, as a one-shot conversion
// of the whole sound always had, so that the conversion ends the same way.
constexpr std::int64_t kConverterSlack = 16;

// Formats whose samples libsndfile reads as exact 16-bit values: their floats are those values
// divided by 32768, so keeping the 16-bit values loses nothing.
bool holdsPcm16(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
        case SF_FORMAT_PCM_S8:
        case SF_FORMAT_PCM_U8:
        case SF_FORMAT_PCM_16:
        case SF_FORMAT_IMA_ADPCM:
        case SF_FORMAT_MS_ADPCM:
            return true;
        default:
            return false;
    }
}

std::int16_t toPcm16(float v) {
    return static_cast<std::int16_t>(std::clamp(std::lround(v * 32768.0f), -32768L, 32767L));
}

}  // namespace

SoundFile::SoundFile(const QByteArray& nativePath, int outputRate, SamplePrecision precision)
    : outputRate_(outputRate) {
    if (outputRate <= 0) {
        return;
    }
    RegularFile regular(nativePath);
    if (!regular.isOpen()) {
        return;
    }
    SF_INFO info{};
    file_.reset(sf_open_fd(regular.fd(), SFM_READ, &info, SF_TRUE));
    if (!file_) {
        return;
    }
    regular.release();  // libsndfile closes it now
    // SF_COUNT_MAX stands for a length the header does not tell.
    if (info.channels <= 0 || info.samplerate <= 0 || info.frames < 0 ||
        info.frames == SF_COUNT_MAX) {
        file_.reset();
        return;
    }
    fileRate_ = info.samplerate;
    if (fileRate_ < kMinSoundRate || fileRate_ > kMaxSoundRate) {
        status_ = Status::UnsupportedRate;
        file_.reset();
        return;
    }
    // Past this frame count a sound lasts too long at any accepted rate; below it the product
    // below stays exact in a double.
    constexpr std::int64_t kMaxFrames = std::int64_t{kMaxSoundSeconds} * kMaxSoundRate;
    const double ratio = static_cast<double>(outputRate_) / fileRate_;
    const std::int64_t length =
        info.frames > kMaxFrames
            ? -1
            : static_cast<std::int64_t>(std::ceil(static_cast<double>(info.frames) * ratio));
    if (length < 0 || length > std::int64_t{kMaxSoundSeconds} * outputRate_) {
        status_ = Status::TooLong;
        file_.reset();
        return;
    }
    channels_ = info.channels;
    kept_ = std::min(channels_, 2);
    fileFrames_ = info.frames;
    const bool sameRate = fileRate_ == outputRate_;
    capacity_ = sameRate ? fileFrames_ : length + kConverterSlack;
    exactPcm16_ = sameRate && holdsPcm16(info.format);
    pcm16_ = exactPcm16_ || precision == SamplePrecision::Compact;
    status_ = Status::Ok;
}

std::size_t SoundFile::decodedBytes() const {
    const std::size_t sample = pcm16_ ? sizeof(std::int16_t) : sizeof(float);
    return status_ == Status::Ok ? static_cast<std::size_t>(capacity_) * kept_ * sample : 0;
}

// Reads up to `frames` frames as floats into out, `channels` of each (a mono file gives both sides
// the same sample when two are asked for). Returns the frames read.
std::int64_t SoundFile::readFloats(float* out, int channels, std::int64_t frames) {
    float* raw = chunk_.data();
    const sf_count_t got = sf_readf_float(file_.get(), raw, std::min(frames, chunkFrames_));
    for (sf_count_t i = 0; i < got; ++i) {
        const float* frame = raw + i * channels_;
        for (int c = 0; c < channels; ++c) {
            const float v = frame[std::min(c, channels_ - 1)];
            out[channels * i + c] = std::isfinite(v) ? v : 0.0f;
        }
    }
    return std::max<sf_count_t>(got, 0);
}

// Appends `count` frames of `channels` floats to the sound, its first kept_ channels of each.
void SoundFile::keep(const float* frames, int channels, std::int64_t count) {
    count = std::min(count, capacity_ - stored_);
    for (std::int64_t i = 0; i < count; ++i) {
        for (int c = 0; c < kept_; ++c) {
            const float v = frames[channels * i + c];
            const auto at = static_cast<size_t>(kept_ * (stored_ + i) + c);
            if (pcm16_) {
                sound_->pcm16[at] = toPcm16(v);
            } else {
                sound_->pcm[at] = v;
            }
        }
    }
    stored_ += count;
}

std::int64_t SoundFile::copyShorts(std::int16_t* out) {
    std::vector<short> chunk(static_cast<size_t>(chunkFrames_ * channels_));
    std::int64_t total = 0;
    while (total < capacity_) {
        const sf_count_t got =
            sf_readf_short(file_.get(), chunk.data(), std::min(capacity_ - total, chunkFrames_));
        if (got <= 0) {
            break;
        }
        for (sf_count_t i = 0; i < got; ++i) {
            for (int c = 0; c < kept_; ++c) {
                out[kept_ * (total + i) + c] = chunk[static_cast<size_t>(i * channels_ + c)];
            }
        }
        total += got;
    }
    return total;
}

std::int64_t SoundFile::copyFloats() {
    std::vector<float> frames(static_cast<size_t>(chunkFrames_ * kept_));
    while (stored_ < capacity_) {
        const std::int64_t got = readFloats(frames.data(), kept_, capacity_ - stored_);
        if (got == 0) {
            break;
        }
        keep(frames.data(), kept_, got);
    }
    return stored_;
}

// Streaming through one converter gives exactly the samples that converting the whole sound in one
// call does: every chunk goes in without end of input, then empty input with end of input flushes
// the filter's tail. The converter always works on two channels: on one, it can end a sound a frame
// earlier than on two, and a mono sound must come out as it always did (both sides alike).
std::int64_t SoundFile::convertRate() {
    int error = 0;
    std::unique_ptr<SRC_STATE, ConverterDeleter> converter(src_new(SRC_SINC_FASTEST, 2, &error));
    if (!converter) {
        return -1;
    }
    std::vector<float> input(static_cast<size_t>(chunkFrames_) * 2);
    std::vector<float> output(static_cast<size_t>(chunkFrames_) * 2);
    std::int64_t read = 0;
    for (;;) {
        std::int64_t got = 0;
        if (read < fileFrames_) {
            got = readFloats(input.data(), 2, fileFrames_ - read);
            read += got;
        }
        const bool ended = got == 0;
        if (ended && read == 0) {
            return 0;  // nothing to convert
        }
        std::int64_t used = 0;
        for (;;) {
            SRC_DATA data{};
            data.data_in = input.data() + 2 * used;
            data.input_frames = static_cast<long>(got - used);
            data.data_out = output.data();
            data.output_frames = static_cast<long>(std::min(capacity_ - stored_, chunkFrames_));
            data.src_ratio = static_cast<double>(outputRate_) / fileRate_;
            data.end_of_input = ended ? 1 : 0;
            if (src_process(converter.get(), &data) != 0) {
                return -1;
            }
            keep(output.data(), 2, data.output_frames_gen);
            used += data.input_frames_used;
            if (data.input_frames_used == 0 && data.output_frames_gen == 0) {
                return stored_;  // the tail is flushed, or the sound is full
            }
            if (!ended && used == got) {
                break;
            }
        }
    }
}

SoundPtr SoundFile::decode() {
    if (status_ != Status::Ok || !file_) {
        return nullptr;
    }
    try {
        chunkFrames_ = std::max<std::int64_t>(1, kChunkSamples / channels_);
        auto sound = std::make_shared<Sound>();
        sound->sampleRate = outputRate_;
        sound->channels = kept_;
        sound_ = sound.get();
        const auto samples = static_cast<size_t>(capacity_) * static_cast<size_t>(kept_);
        pcm16_ ? sound->pcm16.resize(samples) : sound->pcm.resize(samples);
        if (!exactPcm16_) {
            chunk_.resize(static_cast<size_t>(chunkFrames_ * channels_));
        }
        const std::int64_t frames = exactPcm16_                ? copyShorts(sound->pcm16.data())
                                    : fileRate_ == outputRate_ ? copyFloats()
                                                               : convertRate();
        const bool failed = frames < 0 || (frames == 0 && sf_error(file_.get()) != SF_ERR_NO_ERROR);
        file_.reset();
        chunk_ = std::vector<float>();
        sound_ = nullptr;
        if (failed) {
            return nullptr;
        }
        // Shrinking keeps the one allocation.
        const auto kept = static_cast<size_t>(frames) * static_cast<size_t>(kept_);
        pcm16_ ? sound->pcm16.resize(kept) : sound->pcm.resize(kept);
        return sound;
    } catch (const std::bad_alloc&) {
        file_.reset();
        sound_ = nullptr;
        return nullptr;
    }
}

SoundPtr decodeSound(const QByteArray& nativePath, int outputRate, SamplePrecision precision) {
    SoundFile file(nativePath, outputRate, precision);
    return file.decode();
}

}  // namespace carvel::media
