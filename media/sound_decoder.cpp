#include "media/sound_decoder.h"

#include <samplerate.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <deque>
#include <mutex>
#include <new>
#include <set>

#include "media/pcm16.h"
#include "media/sndfile_open.h"
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

// The most samples of one channel that one byte of a file in this format can give.
double samplesPerByte(int format) {
    switch (format & SF_FORMAT_TYPEMASK) {
        case SF_FORMAT_FLAC:
        case SF_FORMAT_OGG:
        case SF_FORMAT_MPEG:
            return kCompressedSamplesPerByte;
        default:
            break;
    }
    switch (format & SF_FORMAT_SUBMASK) {
        case SF_FORMAT_PCM_S8:
        case SF_FORMAT_PCM_U8:
        case SF_FORMAT_ULAW:
        case SF_FORMAT_ALAW:
        case SF_FORMAT_DPCM_8:
            return 1;
        case SF_FORMAT_PCM_16:
        case SF_FORMAT_DPCM_16:
            return 1.0 / 2;
        case SF_FORMAT_PCM_24:
            return 1.0 / 3;
        case SF_FORMAT_PCM_32:
        case SF_FORMAT_FLOAT:
            return 1.0 / 4;
        case SF_FORMAT_DOUBLE:
            return 1.0 / 8;
        case SF_FORMAT_IMA_ADPCM:  // 4 bits a sample, block headers included
        case SF_FORMAT_MS_ADPCM:
        case SF_FORMAT_VOX_ADPCM:
        case SF_FORMAT_G721_32:
        case SF_FORMAT_NMS_ADPCM_32:
            return 2;
        case SF_FORMAT_G723_24:
        case SF_FORMAT_NMS_ADPCM_24:
            return 8.0 / 3;
        case SF_FORMAT_G723_40:
            return 8.0 / 5;
        case SF_FORMAT_NMS_ADPCM_16:
            return 4;
        case SF_FORMAT_GSM610:  // 160 samples in 33 bytes
            return 5;
        case SF_FORMAT_DWVW_12:  // a repeated sample takes as little as one bit
        case SF_FORMAT_DWVW_16:
        case SF_FORMAT_DWVW_24:
        case SF_FORMAT_DWVW_N:
            return 8;
        default:
            return kCompressedSamplesPerByte;
    }
}

// The frames a file of `bytes` bytes in this format can hold at most.
std::int64_t maxFramesIn(std::int64_t bytes, int format, int channels) {
    const double frames =
        std::floor(static_cast<double>(bytes) * samplesPerByte(format) / channels);
    return frames >= 0x1p62 ? std::int64_t{1} << 62 : static_cast<std::int64_t>(frames);
}

// The files refused as unreadable, by identity, oldest first when one must be forgotten.
class UnreadableFiles {
  public:
    using Identity = std::array<std::uint64_t, 5>;

    bool contains(const Identity& file) {
        const std::lock_guard lock(mutex_);
        return files_.count(file) != 0;
    }
    void add(const Identity& file) {
        const std::lock_guard lock(mutex_);
        if (!files_.insert(file).second) {
            return;
        }
        order_.push_back(file);
        if (order_.size() > kMaxRememberedUnreadable) {
            files_.erase(order_.front());
            order_.pop_front();
        }
    }
    void clear() {
        const std::lock_guard lock(mutex_);
        files_.clear();
        order_.clear();
    }

  private:
    std::mutex mutex_;
    std::set<Identity> files_;
    std::deque<Identity> order_;
};

UnreadableFiles& unreadableFiles() {
    static UnreadableFiles files;
    return files;
}

std::atomic<std::uint64_t> libraryOpens{0};

std::uint32_t littleEndian32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// The header packets a codec's Ogg stream starts with, from its first packet; 0 when that packet
// is too short for the codec it names.
int headerPackets(const std::vector<unsigned char>& first) {
    const auto startsWith = [&](const char* magic, std::size_t minimum) {
        const std::size_t length = std::strlen(magic);
        return first.size() >= length && std::memcmp(first.data(), magic, length) == 0
                   ? (first.size() >= minimum ? 1 : -1)
                   : 0;
    };
    if (const int vorbis = startsWith("\x01vorbis", 30)) {
        return vorbis > 0 ? 3 : 0;  // identification, comment, setup
    }
    if (const int opus = startsWith("OpusHead", 19)) {
        return opus > 0 ? 2 : 0;  // head, tags
    }
    if (const int flac = startsWith("\x7f"
                                    "FLAC",
                                    13)) {
        return flac > 0 ? 1 + (first[7] << 8 | first[8]) : 0;  // and the count it gives
    }
    return 1;  // another codec: the library decides
}

enum class OggHead { Complete, CutShort, Broken };

// Walks the Ogg pages in bytes and follows the first logical stream until its header packets are
// complete. CutShort when the bytes end before; Broken when a page or the first packet is no valid
// one.
OggHead checkOggHead(const unsigned char* bytes, std::size_t size) {
    std::size_t at = 0;
    std::uint32_t serial = 0;
    std::vector<unsigned char> first;  // the first packet's opening bytes
    int packets = 0;
    int needed = 0;
    for (bool firstPage = true;; firstPage = false) {
        if (size - at < 27) {
            return OggHead::CutShort;
        }
        const unsigned char* page = bytes + at;
        if (std::memcmp(page, "OggS", 4) != 0 || page[4] != 0 ||
            (firstPage && (page[5] & 0x02) == 0)) {
            return OggHead::Broken;
        }
        const std::size_t segments = page[26];
        if (size - at - 27 < segments) {
            return OggHead::CutShort;
        }
        std::size_t body = at + 27 + segments;
        std::size_t length = 0;
        for (std::size_t i = 0; i < segments; ++i) {
            length += page[27 + i];
        }
        if (size - body < length) {
            return OggHead::CutShort;
        }
        if (firstPage) {
            serial = littleEndian32(page + 14);
        }
        if (littleEndian32(page + 14) == serial) {
            for (std::size_t i = 0; i < segments; ++i) {
                const std::size_t lace = page[27 + i];
                if (packets == 0 && first.size() < 64) {
                    first.insert(first.end(), bytes + body,
                                 bytes + body + std::min(lace, 64 - first.size()));
                }
                body += lace;
                if (lace == 255) {
                    continue;  // the packet goes on
                }
                if (++packets == 1 && (needed = headerPackets(first)) == 0) {
                    return OggHead::Broken;
                }
                if (packets >= needed) {
                    return OggHead::Complete;
                }
            }
        }
        at += 27 + segments + length;
    }
}

// True when the open file is an Ogg stream that ends, or breaks, before its headers are complete:
// the library would refuse it, and leak on the way. The headers are looked for in the file's
// first megabyte; a stream whose headers are longer is left to the library.
bool oggHeadIsBroken(int fd, std::int64_t fileSize) {
    unsigned char magic[4];
    if (::pread(fd, magic, 4, 0) != 4 || std::memcmp(magic, "OggS", 4) != 0) {
        return false;
    }
    for (const std::int64_t scan : {std::int64_t{64} << 10, std::int64_t{1} << 20}) {
        std::vector<unsigned char> head(static_cast<std::size_t>(std::min(scan, fileSize)));
        std::size_t got = 0;
        while (got < head.size()) {
            const ssize_t n =
                ::pread(fd, head.data() + got, head.size() - got, static_cast<off_t>(got));
            if (n <= 0) {
                return n < 0;
            }
            got += static_cast<std::size_t>(n);
        }
        switch (checkOggHead(head.data(), got)) {
            case OggHead::Complete:
                return false;
            case OggHead::Broken:
                return true;
            case OggHead::CutShort:
                if (fileSize <= scan) {
                    return true;
                }
                break;
        }
    }
    return false;
}

// The Ogg page checksum: CRC-32 of polynomial 0x04C11DB7, not reflected, from zero, over the page
// with its checksum field taken as zero.
std::uint32_t oggChecksum(const unsigned char* page, std::size_t size) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t r = i << 24;
            for (int bit = 0; bit < 8; ++bit) {
                r = (r & 0x80000000u) != 0 ? r << 1 ^ 0x04C11DB7u : r << 1;
            }
            t[i] = r;
        }
        return t;
    }();
    std::uint32_t crc = 0;
    for (std::size_t i = 0; i < size; ++i) {
        const unsigned char byte = i >= 22 && i < 26 ? 0 : page[i];
        crc = crc << 8 ^ table[(crc >> 24 ^ byte) & 0xff];
    }
    return crc;
}

// The granule position of the last whole page (checksum verified) of the file's first logical
// stream, looked for in the file's last 128 KiB, which hold at least one whole page of a stream
// that goes on that far (a page has at most 65,307 bytes); -1 when there is none.
std::int64_t lastOggGranule(int fd, std::int64_t fileSize) {
    unsigned char first[18];
    if (::pread(fd, first, sizeof first, 0) != sizeof first) {
        return -1;
    }
    const std::uint32_t serial = littleEndian32(first + 14);
    const std::int64_t start = std::max<std::int64_t>(0, fileSize - (std::int64_t{128} << 10));
    std::vector<unsigned char> tail(static_cast<std::size_t>(fileSize - start));
    if (::pread(fd, tail.data(), tail.size(), static_cast<off_t>(start)) !=
        static_cast<ssize_t>(tail.size())) {
        return -1;
    }
    const std::size_t size = tail.size();
    for (std::size_t at = size < 27 ? 0 : size - 27 + 1; at-- > 0;) {
        const unsigned char* page = tail.data() + at;
        if (std::memcmp(page, "OggS", 4) != 0 || page[4] != 0 ||
            size - at - 27 < std::size_t{page[26]}) {
            continue;
        }
        std::size_t length = 27 + std::size_t{page[26]};
        for (std::size_t i = 0; i < page[26]; ++i) {
            length += page[27 + i];
        }
        if (size - at < length || littleEndian32(page + 14) != serial ||
            littleEndian32(page + 22) != oggChecksum(page, length)) {
            continue;
        }
        const std::uint64_t granule =
            static_cast<std::uint64_t>(littleEndian32(page + 10)) << 32 | littleEndian32(page + 6);
        if (granule < (std::uint64_t{1} << 62)) {
            return static_cast<std::int64_t>(granule);
        }
    }
    return -1;
}

// The frames that an Ogg stream whose end the library cannot find holds at most, from its last
// whole page: a Vorbis granule counts the frames before the page's end, an Opus one counts them at
// 48,000 Hz. -1 for another codec or without such a page.
std::int64_t cutOggFrames(int fd, std::int64_t fileSize, const SF_INFO& info) {
    if ((info.format & SF_FORMAT_TYPEMASK) != SF_FORMAT_OGG) {
        return -1;
    }
    // libsndfile reads the file by its own offset; pread leaves that alone.
    // Past 2^40 a stream is too long anyway; below it the products stay exact.
    const std::int64_t granule = std::min(lastOggGranule(fd, fileSize), std::int64_t{1} << 40);
    if (granule < 0) {
        return -1;
    }
    switch (info.format & SF_FORMAT_SUBMASK) {
        case SF_FORMAT_VORBIS:
            return granule;
        case SF_FORMAT_OPUS:
            return static_cast<std::int64_t>(
                std::ceil(static_cast<double>(granule) * info.samplerate / 48000));
        default:
            return -1;
    }
}

std::uint32_t bigEndian32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | static_cast<std::uint32_t>(p[3]);
}

// True when the file is a RIFF (or RIFX) WAVE file whose data chunk claims more bytes than the file
// holds past the chunk's header: libsndfile reads what is there without saying that the rest is
// missing. A size of 0xFFFFFFFF is a writer's "not known" and claims nothing. At most 64 chunks are
// walked before the data chunk.
bool wavDataIsCutShort(int fd, std::int64_t fileSize) {
    unsigned char head[12];
    if (::pread(fd, head, 12, 0) != 12 || std::memcmp(head + 8, "WAVE", 4) != 0) {
        return false;
    }
    const bool big = std::memcmp(head, "RIFX", 4) == 0;
    if (!big && std::memcmp(head, "RIFF", 4) != 0) {
        return false;
    }
    const auto size = static_cast<std::uint64_t>(fileSize);
    std::uint64_t at = 12;
    for (int chunk = 0; chunk < 64 && at + 8 <= size; ++chunk) {
        unsigned char header[8];
        if (::pread(fd, header, 8, static_cast<off_t>(at)) != 8) {
            return false;
        }
        const std::uint64_t length = big ? bigEndian32(header + 4) : littleEndian32(header + 4);
        if (std::memcmp(header, "data", 4) == 0) {
            return length != 0xFFFFFFFF && length > size - (at + 8);
        }
        at += 8 + length + (length & 1);
    }
    return false;
}

// A lossy codec's decoder gives floats whose digits below a 16-bit step carry nothing of the
// source (its own error is larger), and a render keeps 16 bits: holding them as 16-bit loses
// nothing the file had to give, at half the memory of floats.
bool isLossy(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
        case SF_FORMAT_VORBIS:
        case SF_FORMAT_OPUS:
        case SF_FORMAT_MPEG_LAYER_I:
        case SF_FORMAT_MPEG_LAYER_II:
        case SF_FORMAT_MPEG_LAYER_III:
            return true;
        default:
            return false;
    }
}

// Writes `count` frames of `channels` samples each, the first `kept` of each frame, as
// convert(sample) to out. One straight pass when every channel is kept, so that it vectorizes.
template <typename T, typename Convert>
void convertFrames(const float* in, int channels, int kept, std::int64_t count, T* out,
                   Convert convert) {
    if (channels == kept) {
        const std::int64_t samples = count * kept;
        for (std::int64_t k = 0; k < samples; ++k) {
            out[k] = convert(in[k]);
        }
        return;
    }
    for (std::int64_t i = 0; i < count; ++i) {
        for (int c = 0; c < kept; ++c) {
            out[kept * i + c] = convert(in[channels * i + c]);
        }
    }
}

// A file's sample that is not finite is silence.
float finite(float v) {
    return std::isfinite(v) ? v : 0.0f;
}

}  // namespace

SoundFile::SoundFile(const QByteArray& nativePath, int outputRate, SamplePrecision precision)
    : outputRate_(outputRate) {
    if (outputRate <= 0) {
        return;
    }
    RegularFile regular(nativePath);
    struct stat st {};
    if (!regular.isOpen() || ::fstat(regular.fd(), &st) != 0) {
        return;
    }
    identity_ = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
                 static_cast<std::uint64_t>(st.st_size),
                 static_cast<std::uint64_t>(st.st_mtim.tv_sec),
                 static_cast<std::uint64_t>(st.st_mtim.tv_nsec)};
    if (unreadableFiles().contains(identity_)) {
        return;
    }
    if (oggHeadIsBroken(regular.fd(), st.st_size)) {
        unreadableFiles().add(identity_);
        return;
    }
    const int fd = regular.fd();
    claimsMore_ = wavDataIsCutShort(fd, st.st_size);
    SF_INFO info{};
    libraryOpens.fetch_add(1, std::memory_order_relaxed);
    file_.reset(openOnDuplicate(fd, SFM_READ, info));
    if (!file_) {
        // Refused by libsndfile; a lack of descriptors is not the file's, and may pass.
        if (errno == 0) {
            unreadableFiles().add(identity_);
        }
        return;
    }
    // SF_COUNT_MAX stands for a length the header does not tell. An Ogg stream gives it when the
    // library finds no last page, which is how a stream cut off after its headers looks: it is
    // measured by its last whole page, decoded, and cut off.
    lengthUnknown_ = info.frames == SF_COUNT_MAX;
    const std::int64_t frames =
        lengthUnknown_ && info.samplerate > 0 ? cutOggFrames(fd, st.st_size, info) : info.frames;
    if (info.channels <= 0 || info.samplerate <= 0 || frames < 0) {
        file_.reset();
        unreadableFiles().add(identity_);
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
    const auto lengthOf = [&](std::int64_t count) {
        return static_cast<std::int64_t>(std::ceil(static_cast<double>(count) * ratio));
    };
    if (frames > kMaxFrames || lengthOf(frames) > std::int64_t{kMaxSoundSeconds} * outputRate_) {
        status_ = Status::TooLong;
        file_.reset();
        return;
    }
    channels_ = info.channels;
    kept_ = std::min(channels_, 2);
    claimedFrames_ = info.frames;
    fileFrames_ = std::min<std::int64_t>(frames, maxFramesIn(st.st_size, info.format, channels_));
    // mpg123 estimates the length of a stream without a length tag from its size; it warns past 1%.
    shortfallAllowed_ =
        (info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_MPEG ? info.frames / 100 : 0;
    const std::int64_t length = lengthOf(fileFrames_);
    const bool sameRate = fileRate_ == outputRate_;
    capacity_ = sameRate ? fileFrames_ : length + kConverterSlack;
    exactPcm16_ = sameRate && holdsPcm16(info.format);
    pcm16_ = exactPcm16_ || precision == SamplePrecision::Compact || isLossy(info.format);
    status_ = Status::Ok;
}

std::size_t SoundFile::decodedBytes() const {
    const std::size_t sample = pcm16_ ? sizeof(std::int16_t) : sizeof(float);
    return status_ == Status::Ok || status_ == Status::CutOff
               ? static_cast<std::size_t>(capacity_) * kept_ * sample
               : 0;
}

// Reads up to `frames` frames as floats into out, `channels` of each (a mono file gives both sides
// the same sample when two are asked for). Returns the frames read.
std::int64_t SoundFile::readFloats(float* out, int channels, std::int64_t frames) {
    float* raw = chunk_.get();
    const sf_count_t got = sf_readf_float(file_.get(), raw, std::min(frames, chunkFrames_));
    framesRead_ += std::max<sf_count_t>(got, 0);
    for (sf_count_t i = 0; i < got; ++i) {
        const float* frame = raw + i * channels_;
        for (int c = 0; c < channels; ++c) {
            out[channels * i + c] = finite(frame[std::min(c, channels_ - 1)]);
        }
    }
    return std::max<sf_count_t>(got, 0);
}

// Appends `count` frames of `channels` floats to the sound, its first kept_ channels of each; a
// sample that is not finite becomes 0 when `fromFile`. The held vector grows within its reserve
// by one chunk at a time, so the zeros it is first filled with are overwritten in cache.
void SoundFile::keep(const float* frames, int channels, std::int64_t count, bool fromFile) {
    count = std::min(count, capacity_ - stored_);
    const auto at = static_cast<std::size_t>(stored_ * kept_);
    const auto samples = static_cast<std::size_t>(count * kept_);
    if (pcm16_) {
        sound_->pcm16.resize(at + samples);
        std::int16_t* out = sound_->pcm16.data() + at;
        if (channels == kept_) {
            toHeldPcm16(frames, count * kept_, out, fromFile);
        } else if (fromFile) {
            convertFrames(frames, channels, kept_, count, out,
                          [](float v) { return heldPcm16(finite(v)); });
        } else {
            convertFrames(frames, channels, kept_, count, out,
                          [](float v) { return heldPcm16(v); });
        }
    } else {
        sound_->pcm.resize(at + samples);
        float* out = sound_->pcm.data() + at;
        if (fromFile) {
            convertFrames(frames, channels, kept_, count, out, [](float v) { return finite(v); });
        } else {
            convertFrames(frames, channels, kept_, count, out, [](float v) { return v; });
        }
    }
    stored_ += count;
}

// 16-bit samples at the output rate: read straight into the sound when every channel is kept.
std::int64_t SoundFile::copyShorts() {
    std::vector<short> chunk(kept_ < channels_ ? static_cast<size_t>(chunkFrames_ * channels_) : 0);
    std::vector<std::int16_t>& held = sound_->pcm16;
    while (stored_ < capacity_) {
        const std::int64_t frames = std::min(capacity_ - stored_, chunkFrames_);
        const auto at = static_cast<std::size_t>(stored_ * kept_);
        held.resize(at + static_cast<std::size_t>(frames * kept_));
        short* into = chunk.empty() ? held.data() + at : chunk.data();
        const sf_count_t got = std::max<sf_count_t>(sf_readf_short(file_.get(), into, frames), 0);
        for (sf_count_t i = 0; !chunk.empty() && i < got; ++i) {
            for (int c = 0; c < kept_; ++c) {
                held[at + static_cast<size_t>(i * kept_ + c)] =
                    chunk[static_cast<size_t>(i * channels_ + c)];
            }
        }
        held.resize(at + static_cast<std::size_t>(got * kept_));
        if (got == 0) {
            break;
        }
        stored_ += got;
        framesRead_ += got;
    }
    return stored_;
}

std::int64_t SoundFile::copyFloats() {
    while (stored_ < capacity_) {
        const sf_count_t got =
            sf_readf_float(file_.get(), chunk_.get(), std::min(capacity_ - stored_, chunkFrames_));
        if (got <= 0) {
            break;
        }
        framesRead_ += got;
        keep(chunk_.get(), channels_, got, true);
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
    const auto input =
        std::make_unique_for_overwrite<float[]>(static_cast<size_t>(chunkFrames_) * 2);
    const auto output =
        std::make_unique_for_overwrite<float[]>(static_cast<size_t>(chunkFrames_) * 2);
    std::int64_t read = 0;
    for (;;) {
        std::int64_t got = 0;
        if (read < fileFrames_) {
            got = readFloats(input.get(), 2, fileFrames_ - read);
            read += got;
        }
        const bool ended = got == 0;
        if (ended && read == 0) {
            return 0;  // nothing to convert
        }
        std::int64_t used = 0;
        for (;;) {
            SRC_DATA data{};
            data.data_in = input.get() + 2 * used;
            data.input_frames = static_cast<long>(got - used);
            data.data_out = output.get();
            data.output_frames = static_cast<long>(std::min(capacity_ - stored_, chunkFrames_));
            data.src_ratio = static_cast<double>(outputRate_) / fileRate_;
            data.end_of_input = ended ? 1 : 0;
            if (src_process(converter.get(), &data) != 0) {
                return -1;
            }
            keep(output.get(), 2, data.output_frames_gen, false);
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
        // Reserved, not filled: the pages of the reserve are only touched as samples come.
        const auto samples = static_cast<size_t>(capacity_) * static_cast<size_t>(kept_);
        pcm16_ ? sound->pcm16.reserve(samples) : sound->pcm.reserve(samples);
        if (!exactPcm16_) {
            chunk_ = std::make_unique_for_overwrite<float[]>(
                static_cast<size_t>(chunkFrames_ * channels_));
        }
        const std::int64_t frames = exactPcm16_                ? copyShorts()
                                    : fileRate_ == outputRate_ ? copyFloats()
                                                               : convertRate();
        const bool broken = sf_error(file_.get()) != SF_ERR_NO_ERROR;
        const bool failed = frames < 0 || (frames == 0 && (broken || lengthUnknown_));
        file_.reset();
        chunk_.reset();
        sound_ = nullptr;
        if (failed) {
            unreadableFiles().add(identity_);
            return nullptr;
        }
        // A file that gave less than its header promised returns the rest of the reserve (the
        // converter's slack is not worth a copy).
        const auto fit = [](auto& held) {
            if (held.capacity() - held.size() > 2 * kConverterSlack) {
                held.shrink_to_fit();
            }
        };
        pcm16_ ? fit(sound->pcm16) : fit(sound->pcm);
        if (framesRead_ > 0 &&
            (broken || claimsMore_ || claimedFrames_ - framesRead_ > shortfallAllowed_)) {
            status_ = Status::CutOff;
        }
        return sound;
    } catch (const std::bad_alloc&) {
        file_.reset();
        sound_ = nullptr;
        return nullptr;
    }
}

std::size_t heldBytes(const Sound& sound) {
    return sound.pcm16.capacity() * sizeof(std::int16_t) + sound.pcm.capacity() * sizeof(float);
}

std::uint64_t soundLibraryOpens() {
    return libraryOpens.load(std::memory_order_relaxed);
}

void forgetUnreadableSounds() {
    unreadableFiles().clear();
}

SoundPtr decodeSound(const QByteArray& nativePath, int outputRate, SamplePrecision precision) {
    SoundFile file(nativePath, outputRate, precision);
    return file.decode();
}

}  // namespace carvel::media
