#include <gtest/gtest.h>

#include "testing/qt_printers.h"

#include <fcntl.h>
#include <samplerate.h>
#include <sndfile.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "media/decode_budget.h"
#include "media/pcm16.h"
#include "media/picture.h"
#include "media/picture_decoder.h"
#include "media/picture_ops.h"
#include "media/sndfile_open.h"
#include "media/sound_decoder.h"
#include "media/worker_pool.h"
#include "testing/test_files.h"

namespace carvel::media {
namespace {

QString writeSound(const QTemporaryDir& dir, const char* name, int format, int channels, int rate,
                   int frames) {
    const QString path = dir.filePath(QString::fromLatin1(name));
    SF_INFO info{0, rate, channels, format, 0, 0};
    SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    EXPECT_NE(f, nullptr) << name << ": " << sf_strerror(nullptr);
    std::vector<float> samples(static_cast<size_t>(frames * channels));
    for (size_t i = 0; i < samples.size(); ++i) {
        const auto channel = static_cast<float>(i % static_cast<size_t>(channels));
        samples[i] = channel == 0 ? 0.5f : -0.25f * channel;
    }
    sf_writef_float(f, samples.data(), frames);
    sf_close(f);
    return path;
}

// A sound's samples as the mixer hears them: interleaved stereo floats.
std::vector<float> asStereo(const Sound& sound) {
    std::vector<float> out;
    for (size_t k = 0; k < static_cast<size_t>(sound.frames() * sound.channels); ++k) {
        const float v =
            sound.pcm16.empty() ? sound.pcm[k] : static_cast<float>(sound.pcm16[k]) * kPcm16Scale;
        out.insert(out.end(), sound.channels == 1 ? 2 : 1, v);
    }
    return out;
}

// What the decoder must give: libsndfile's floats of the file's first two channels (a mono file's
// on both sides), converted in one call, on two channels, when the rates differ.
std::vector<float> expectedStereo(const QString& path, int outputRate) {
    SF_INFO info{};
    SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    EXPECT_NE(f, nullptr) << path.toStdString();
    std::vector<float> floats(f != nullptr ? static_cast<size_t>(info.frames * info.channels) : 0);
    sf_readf_float(f, floats.data(), info.frames);
    sf_close(f);
    std::vector<float> stereo;
    for (size_t i = 0; i < floats.size(); i += static_cast<size_t>(info.channels)) {
        stereo.insert(stereo.end(), {floats[i], floats[i + (info.channels > 1 ? 1 : 0)]});
    }
    if (info.samplerate == outputRate) {
        return stereo;
    }
    const double ratio = static_cast<double>(outputRate) / info.samplerate;
    std::vector<float> out(static_cast<size_t>(std::ceil(info.frames * ratio) + 16) * 2);
    SRC_DATA data{};
    data.data_in = stereo.data();
    data.input_frames = static_cast<long>(info.frames);
    data.data_out = out.data();
    data.output_frames = static_cast<long>(out.size() / 2);
    data.src_ratio = ratio;
    EXPECT_EQ(src_simple(&data, SRC_SINC_FASTEST, 2), 0);
    out.resize(static_cast<size_t>(data.output_frames_gen) * 2);
    return out;
}

// The format is found by content. Every file spans several chunks of reading, so that converting
// chunk by chunk must match one conversion of the whole sound. Decoded exactly, a sound keeps the
// decoder's floats unless its samples are 16-bit ones, or come from a lossy codec, which are held
// rounded to 16 bits as the compact hold does.
TEST(DecodeSound, GivesWhatTheFileHolds) {
    QTemporaryDir dir;
    enum class Held { Pcm16, Floats, Rounded };
    struct Case {
        int format, channels, rate;
        Held exact;
        const char* name;
    };
    const Case cases[] = {
        {SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, Held::Pcm16, "pcm16.wav"},
        {SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 1, 44100, Held::Pcm16, "pcm8.wav"},
        {SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2, 44100, Held::Floats, "pcm24.wav"},
        {SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 44100, Held::Floats, "float.wav"},
        {SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 1, 44100, Held::Pcm16, "adpcm.wav"},
        {SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 44100, Held::Pcm16, "flac-named.wav"},
        {SF_FORMAT_OGG | SF_FORMAT_VORBIS, 2, 44100, Held::Rounded, "vorbis.ogg"},
        {SF_FORMAT_OGG | SF_FORMAT_VORBIS, 1, 22050, Held::Rounded, "22k.ogg"},
        {SF_FORMAT_OGG | SF_FORMAT_OPUS, 2, 48000, Held::Rounded, "opus.ogg"},
        {SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 2, 44100, Held::Rounded, "layer3.mp3"},
        {SF_FORMAT_WAV | SF_FORMAT_PCM_16, 4, 44100, Held::Pcm16, "quad.wav"},
        {SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 11025, Held::Floats, "11k.wav"},
        {SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 48000, Held::Floats, "48k.wav"},
        {SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 2, 192000, Held::Floats, "192k.flac"},
    };
    for (const Case& c : cases) {
        const QString path = writeSound(dir, c.name, c.format, c.channels, c.rate, 70'001);
        const std::vector<float> expected = expectedStereo(path, 44100);
        SoundFile exactFile(QFile::encodeName(path), 44100, SamplePrecision::Exact);
        const SoundPtr exact = exactFile.decode();
        const SoundPtr compact = decodeSound(QFile::encodeName(path), 44100);
        ASSERT_TRUE(exact && compact) << c.name;
        EXPECT_EQ(exactFile.status(), SoundFile::Status::Ok) << c.name;  // nothing is missing
        EXPECT_EQ(exact->sampleRate, 44100);
        EXPECT_EQ(exact->channels, std::min(c.channels, 2)) << c.name;
        EXPECT_EQ(exact->pcm16.empty(), c.exact == Held::Floats) << c.name;
        const std::vector<float> rounded = asStereo(*compact);
        EXPECT_TRUE(asStereo(*exact) == (c.exact == Held::Rounded ? rounded : expected)) << c.name;
        // Compact: the same, each sample rounded to 16 bits.
        ASSERT_EQ(rounded.size(), expected.size()) << c.name;
        for (size_t i = 0; i < expected.size(); ++i) {
            ASSERT_EQ(rounded[i], heldPcm16(expected[i]) * kPcm16Scale) << c.name << " at " << i;
        }
    }
    testing::writeBytes(dir.filePath(u"garbage.wav"_qs),
                        "RIFF\xff\xff\xff\x7fWAVEfmt garbage garbage");
    for (const QString& name : {u"garbage.wav"_qs, u"missing.wav"_qs, QString()}) {
        EXPECT_EQ(decodeSound(QFile::encodeName(dir.filePath(name)), 44100), nullptr)
            << name.toStdString();
    }
}

// Sounds have always been made 16-bit with std::lround; the inline rounding, and the four-wide one
// of whole buffers (from every start, so that each lane and the tail see every value), must give
// the very same samples, at every half step and beside it, and where lround overflows.
TEST(HeldPcm16, RoundsAsLroundDid) {
    const auto lroundHeld = [](float v) {
        return static_cast<std::int16_t>(std::clamp(std::lround(v * 32768.0f), -32768L, 32767L));
    };
    std::vector<float> sweep;
    for (int step = -32770; step <= 32770; ++step) {
        const float half = (static_cast<float>(step) + 0.5f) / 32768.0f;
        for (const float v : {half, std::nextafter(half, -2.0f), std::nextafter(half, 2.0f),
                              static_cast<float>(step) / 32768.0f}) {
            ASSERT_EQ(heldPcm16(v), lroundHeld(v)) << v;
            sweep.push_back(v);
        }
    }
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        float sample;
        std::int16_t held;
    } cases[] = {
        {0.0f, 0},
        {-0.0f, 0},
        {1e-30f, 0},
        {0.49999997f / 32768, 0},
        {-1.0f, -32768},
        {1.0f, 32767},
        {4.0f, 32767},
        {-4.0f, -32768},
        {0x1.fffffep47f, 32767},  // the largest whose product lround still takes
        {0x1p48f, -32768},        // 2^63 and more: lround's overflow
        {1e30f, -32768},
        {-1e30f, -32768},
        {inf, -32768},
        {-inf, -32768},
        {nan, -32768},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(heldPcm16(c.sample), c.held) << c.sample;
        sweep.push_back(c.sample);
    }
    for (const bool zeroNonFinite : {false, true}) {
        for (size_t start = 0; start < 4; ++start) {
            std::vector<std::int16_t> held(sweep.size() - start);
            toHeldPcm16(sweep.data() + start, static_cast<std::int64_t>(held.size()), held.data(),
                        zeroNonFinite);
            for (size_t k = 0; k < held.size(); ++k) {
                const float v = sweep[start + k];
                ASSERT_EQ(held[k], heldPcm16(zeroNonFinite && !std::isfinite(v) ? 0.0f : v))
                    << v << (zeroNonFinite ? " as a file's" : "");
            }
        }
    }
}

// A float file's samples as a sound holds them, through each way of reading: every channel kept,
// two of three kept, and converted from another rate. Samples that are not finite are silence.
TEST(DecodeSound, HoldsAFloatFilesSamplesAsBefore) {
    QTemporaryDir dir;
    const float inf = std::numeric_limits<float>::infinity();
    const std::vector<float> samples = {std::numeric_limits<float>::quiet_NaN(),
                                        inf,
                                        -inf,
                                        0.5f / 32768,
                                        -0.5f / 32768,
                                        1.5f / 32768,
                                        2.0f,
                                        -2.0f,
                                        1e30f,
                                        0.25f};
    for (const int channels : {1, 2, 3}) {
        const QString path = dir.filePath(QStringLiteral("float%1.wav").arg(channels));
        SF_INFO info{0, 44100, channels, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 0, 0};
        SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
        ASSERT_NE(f, nullptr);
        std::vector<float> frames;
        for (const float v : samples) {
            frames.insert(frames.end(), static_cast<size_t>(channels), v);
        }
        sf_writef_float(f, frames.data(), static_cast<sf_count_t>(samples.size()));
        sf_close(f);
        const SoundPtr compact = decodeSound(QFile::encodeName(path), 44100);
        ASSERT_TRUE(compact);
        const int kept = std::min(channels, 2);
        std::vector<std::int16_t> expected;
        for (const float v : samples) {
            expected.insert(expected.end(), static_cast<size_t>(kept),
                            heldPcm16(std::isfinite(v) ? v : 0.0f));
        }
        EXPECT_EQ(compact->pcm16, expected) << channels;
        const SoundPtr exact = decodeSound(QFile::encodeName(path), 44100, SamplePrecision::Exact);
        ASSERT_TRUE(exact);
        ASSERT_EQ(exact->pcm.size(), expected.size()) << channels;
        for (size_t k = 0; k < expected.size(); ++k) {
            const float v = samples[k / static_cast<size_t>(kept)];
            EXPECT_EQ(exact->pcm[k], std::isfinite(v) ? v : 0.0f) << channels << " at " << k;
        }
        // At another rate the converter is given silence for them, on two channels; the sound
        // holds its output's first `kept`, rounded.
        std::vector<float> stereo;
        for (const float v : samples) {
            stereo.insert(stereo.end(), 2, std::isfinite(v) ? v : 0.0f);
        }
        std::vector<float> out(64 * 2);
        SRC_DATA data{};
        data.data_in = stereo.data();
        data.input_frames = static_cast<long>(samples.size());
        data.data_out = out.data();
        data.output_frames = 64;
        data.src_ratio = 48000.0 / 44100;
        ASSERT_EQ(src_simple(&data, SRC_SINC_FASTEST, 2), 0);
        std::vector<std::int16_t> converted;
        for (long i = 0; i < data.output_frames_gen; ++i) {
            for (int c = 0; c < kept; ++c) {
                converted.push_back(heldPcm16(out[static_cast<size_t>(2 * i + c)]));
            }
        }
        const SoundPtr fromOtherRate = decodeSound(QFile::encodeName(path), 48000);
        ASSERT_TRUE(fromOtherRate);
        EXPECT_EQ(fromOtherRate->pcm16, converted) << channels;
    }
}

TEST(SoundFile, MeasuresAndRefusesFromTheHeader) {
    QTemporaryDir dir;
    using Status = SoundFile::Status;
    struct Case {
        quint32 rate;
        quint32 frames;
        int outputRate;
        Status status;
        std::size_t bytes;
    };
    const Case cases[] = {
        {999, 10, 44100, Status::UnsupportedRate, 0},
        // Compact: 16-bit mono, converted or not.
        {1000, 10, 1000, Status::Ok, 10 * 2},
        {384000, 10, 384000, Status::Ok, 10 * 2},
        {384001, 10, 44100, Status::UnsupportedRate, 0},
        {22050, 10, 44100, Status::Ok, (20 + 16) * 2},  // the converter's slack
        {1000, 600'000, 1000, Status::Ok, 600'000 * 2},
        {1000, 600'001, 1000, Status::TooLong, 0},
        // Ten minutes at the output rate, whatever the file's rate.
        {44100, 600 * 44100, 8000, Status::Ok, (600 * 8000 + 16) * 2},
        {44100, 600 * 44100 + 1, 8000, Status::TooLong, 0},
    };
    for (const Case& c : cases) {
        const std::string name = "r" + std::to_string(c.rate) + "-" + std::to_string(c.frames);
        const QString path = dir.filePath(QString::fromStdString(name));
        testing::writeSparseWav(path, c.rate, c.frames);
        SoundFile file(QFile::encodeName(path), c.outputRate);
        EXPECT_EQ(file.status(), c.status) << name;
        EXPECT_EQ(file.fileRate(), static_cast<int>(c.rate)) << name;
        EXPECT_EQ(file.decodedBytes(), c.bytes) << name;
        EXPECT_TRUE(c.status == Status::Ok || file.decode() == nullptr) << name;
    }
}

// Sets the total length that a FLAC file's STREAMINFO claims (36 bits from byte 21).
void claimFlacFrames(const QString& path, std::uint64_t frames) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    QByteArray bytes = f.readAll();
    ASSERT_TRUE(bytes.startsWith("fLaC"));
    std::uint64_t field = 0;
    for (int i = 18; i < 26; ++i) {
        field = field << 8 | static_cast<std::uint8_t>(bytes[i]);
    }
    field = (field & ~((std::uint64_t{1} << 36) - 1)) | frames;
    for (int i = 25; i >= 18; --i, field >>= 8) {
        bytes[i] = static_cast<char>(field & 0xff);
    }
    f.seek(0);
    f.write(bytes);
}

// A header that claims more than its file holds is charged what the file's bytes can give before
// decoding, and what it really gave after; a true header is charged exactly.
TEST(SoundFile, BelievesAHeaderOnlyAsFarAsItsFileGoes) {
    QTemporaryDir dir;
    constexpr std::int64_t kClaim = 600 * 44100;
    struct Case {
        const char* name;
        int format, frames;
        std::int64_t claim;  // 0: what was written
    };
    const Case cases[] = {
        {"true.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 5000, 0},
        {"true.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 5000, 0},
        {"long.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 5000, kClaim},
        {"tiny.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 100, kClaim},
    };
    for (const Case& c : cases) {
        const QString path = writeSound(dir, c.name, c.format, 2, 44100, c.frames);
        if (c.claim != 0) {
            claimFlacFrames(path, static_cast<std::uint64_t>(c.claim));
        }
        const auto fileSize = static_cast<double>(QFileInfo(path).size());
        SoundFile file(QFile::encodeName(path), 44100);
        ASSERT_EQ(file.status(), SoundFile::Status::Ok) << c.name;
        const std::size_t promised = file.decodedBytes();
        EXPECT_LE(static_cast<double>(promised), fileSize * kCompressedSamplesPerByte * 2)
            << c.name;
        EXPECT_LE(promised, static_cast<std::size_t>(kClaim) * 4) << c.name;
        const SoundPtr sound = file.decode();
        ASSERT_NE(sound, nullptr) << c.name;
        EXPECT_EQ(sound->frames(), c.frames) << c.name;
        EXPECT_EQ(heldBytes(*sound), static_cast<std::size_t>(c.frames) * 4) << c.name;
        EXPECT_TRUE(c.claim != 0 || promised == heldBytes(*sound)) << c.name;
    }
}

// A file the library refused is not handed to it again; an Ogg stream cut short within its
// headers never is. A file that changes is looked at afresh.
TEST(SoundFile, RefusesABrokenFileWithoutReopeningIt) {
    QTemporaryDir dir;
    const QString ogg =
        writeSound(dir, "whole.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 2, 44100, 20000);
    QFile whole(ogg);
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    const QByteArray bytes = whole.readAll();
    QByteArray shortId = bytes.left(60);
    shortId[27] = 20;  // the identification packet ends ten bytes early
    const QString garbage = dir.filePath(u"garbage.wav"_qs);
    struct Case {
        QString name;
        QByteArray content;  // empty: the file as it is
        bool readable;
        int opensFirst, opensAgain;
    };
    const Case cases[] = {
        {u"whole.ogg"_qs, {}, true, 1, 1},
        {u"cut60.ogg"_qs, bytes.left(60), false, 0, 0},
        {u"cut300.ogg"_qs, bytes.left(300), false, 0, 0},
        {u"shortid.ogg"_qs, shortId, false, 0, 0},
        {u"garbage.wav"_qs, "RIFF\xff\xff\xff\x7fWAVEfmt garbage garbage", false, 1, 0},
        {u"garbage.wav"_qs, "RIFF\xff\xff\xff\x7fWAVEfmt other garbage, longer", false, 1, 0},
    };
    for (const Case& c : cases) {
        const QString path = dir.filePath(c.name);
        if (!c.content.isEmpty()) {
            testing::writeBytes(path, c.content);
        }
        for (const int opens : {c.opensFirst, c.opensAgain}) {
            const std::uint64_t before = soundLibraryOpens();
            const SoundPtr sound = decodeSound(QFile::encodeName(path), 44100);
            EXPECT_EQ(sound != nullptr, c.readable) << c.name.toStdString();
            EXPECT_EQ(soundLibraryOpens() - before, static_cast<std::uint64_t>(opens))
                << c.name.toStdString();
        }
    }
}

// libsndfile closes a descriptor whose open fails; the caller's own stays open and reads its file
// after a failed open and after a closed one, for reading and for writing, so that it is closed
// once (a second close could hit another thread's file).
TEST(OpenOnDuplicate, LeavesTheCallersDescriptorOpen) {
    QTemporaryDir dir;
    const QString wav =
        writeSound(dir, "good.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 44100, 100);
    struct Case {
        const char* name;
        QByteArray content;  // empty: good.wav
        int mode;
        int format;  // for writing
        bool opens;
        char first;  // the file's first byte, read through the caller's descriptor afterwards
    };
    const Case cases[] = {
        {"good.wav", {}, SFM_READ, 0, true, 'R'},
        {"no data chunk", "RIFF....WAVEjunk", SFM_READ, 0, false, 'R'},
        {"one byte", "x", SFM_READ, 0, false, 'x'},
        {"text", "not a sound at all, only words", SFM_READ, 0, false, 'n'},
        {"written", "x", SFM_WRITE, SF_FORMAT_WAV | SF_FORMAT_PCM_16, true, 'R'},
        {"written, no such format", "x", SFM_WRITE, 0x7fff0000, false, 'x'},
    };
    for (const Case& c : cases) {
        const QString path = c.content.isEmpty() ? wav : dir.filePath(u"other"_qs);
        if (!c.content.isEmpty()) {
            testing::writeBytes(path, c.content);
        }
        const int fd =
            ::open(QFile::encodeName(path).constData(), c.mode == SFM_READ ? O_RDONLY : O_RDWR);
        ASSERT_GE(fd, 0) << c.name;
        SF_INFO info{0, 44100, 2, c.format, 0, 0};
        SNDFILE* file = openOnDuplicate(fd, c.mode, info);
        EXPECT_EQ(file != nullptr, c.opens) << c.name;
        if (file == nullptr) {
            EXPECT_EQ(errno, 0) << c.name;  // refused by libsndfile, not short of descriptors
        } else {
            sf_close(file);
        }
        char first = 0;
        EXPECT_EQ(::pread(fd, &first, 1, 0), 1) << c.name;
        EXPECT_EQ(first, c.first) << c.name;
        EXPECT_EQ(::close(fd), 0) << c.name;
    }
}

// A 2 s sound cut at half its bytes keeps what comes before the cut, sample for sample as the whole
// file gives it, and says so; the whole file says nothing. Kept of the cut file: for the WAV the
// frames whose bytes are there after the 44-byte header; for the compressed formats 0.8 s to 1.05 s
// (Vorbis's setup header takes a tenth of this file's bytes, and the block or page at the cut is
// lost). Converted to another rate, the cut file is still cut off. The budget is asked for no more
// than the header claims or, for an Ogg stream whose end the library cannot find, than its last
// whole page counts.
TEST(SoundFile, KeepsWhatACutOffFileHolds) {
    QTemporaryDir dir;
    constexpr int kFrames = 88'200;
    struct Case {
        const char* name;
        int format;
        int least, most;  // frames kept of the cut file
        int admitted;     // the most frames the budget is asked for: the header's claim, or for
                          // the Ogg stream, whose length the library cannot find, its last page's
    };
    const Case cases[] = {
        {"tone.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44'094, 44'094, 44'094},
        {"tone.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 35'280, 46'305, kFrames},
        {"tone.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 35'280, 46'305, 46'305},
        {"tone.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 35'280, 46'305, kFrames},
    };
    std::vector<float> tone(2 * kFrames);
    for (size_t i = 0; i < tone.size(); ++i) {
        // Noise over a tone, so that the compressed files grow evenly along the sound.
        const auto n = static_cast<std::uint32_t>(i * 2654435761u);
        tone[i] = 0.3f * std::sin(static_cast<float>(i / 2) * 0.06f) +
                  0.2f * (static_cast<float>(n >> 8) / 8388608.0f - 1.0f);
    }
    for (const Case& c : cases) {
        const QString path = dir.filePath(QString::fromLatin1(c.name));
        SF_INFO info{0, 44100, 2, c.format, 0, 0};
        SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
        ASSERT_NE(f, nullptr) << c.name << ": " << sf_strerror(nullptr);
        sf_writef_float(f, tone.data(), kFrames);
        sf_close(f);
        const QByteArray bytes = testing::readBytes(path);
        const QString cut = dir.filePath(u"cut-"_qs + QString::fromLatin1(c.name));
        testing::writeBytes(cut, bytes.left(bytes.size() / 2));

        SoundFile whole(QFile::encodeName(path), 44100);
        const SoundPtr wholeSound = whole.decode();
        ASSERT_NE(wholeSound, nullptr) << c.name;
        EXPECT_EQ(whole.status(), SoundFile::Status::Ok) << c.name;
        EXPECT_EQ(wholeSound->frames(), kFrames) << c.name;
        for (const int rate : {44100, 48000}) {
            SoundFile file(QFile::encodeName(cut), rate);
            ASSERT_EQ(file.status(), SoundFile::Status::Ok) << c.name;
            const std::size_t admitted = file.decodedBytes();
            const SoundPtr sound = file.decode();
            ASSERT_NE(sound, nullptr) << c.name << " at " << rate;
            EXPECT_EQ(file.status(), SoundFile::Status::CutOff) << c.name << " at " << rate;
            const double scale = rate / 44100.0;
            EXPECT_GE(sound->frames(), std::floor(c.least * scale)) << c.name << " at " << rate;
            EXPECT_LE(sound->frames(), std::ceil(c.most * scale) + 16) << c.name << " at " << rate;
            EXPECT_LE(admitted, static_cast<std::size_t>(std::ceil(c.admitted * scale) + 16) * 4)
                << c.name << " at " << rate;
            // Settled to what it holds: no reserve is kept past the converter's slack.
            EXPECT_LE(heldBytes(*sound), admitted) << c.name;
            EXPECT_LE(heldBytes(*sound), static_cast<std::size_t>(sound->frames() + 32) * 4)
                << c.name << " at " << rate;
            if (rate == 44100) {
                const std::vector<float> kept = asStereo(*sound);
                const std::vector<float> all = asStereo(*wholeSound);
                EXPECT_TRUE(std::equal(kept.begin(), kept.end(), all.begin())) << c.name;
            }
        }
    }
}

// Tickets are decided in order against what earlier items really hold once settled, however the
// threads run.
TEST(DecodeBudget, AdmitsAgainstWhatEarlierItemsHold) {
    DecodeBudget budget(100);
    EXPECT_TRUE(budget.admit(0, 60));
    bool second = false;
    std::thread later([&] { second = budget.admit(1, 80); });  // fits once the first settles
    budget.settle(60, 10);
    later.join();
    EXPECT_TRUE(second);
    budget.settle(80, 80);
    budget.pass(2);
    EXPECT_FALSE(budget.admit(3, 11));  // 10 + 80 held of 100
    EXPECT_FALSE(budget.admit(4, 1));   // after a refusal every later item is refused
}

TEST(PictureFile, MeasuresFromTheHeaderBeforeDecoding) {
    QTemporaryDir dir;
    QImage big(300, 200, QImage::Format_RGB32);
    big.fill(Qt::red);
    ASSERT_TRUE(big.save(dir.filePath(u"big.bmp"_qs), "BMP"));
    testing::writeImage(dir.filePath(u"small.png"_qs), "PNG");
    // A BMP header naming 30,000 x 30,000 pixels, past what any picture may take to read.
    QFile header(dir.filePath(u"big.bmp"_qs));
    ASSERT_TRUE(header.open(QIODevice::ReadOnly));
    QByteArray huge = header.readAll();
    for (const int at : {18, 22}) {
        huge[at] = 0x30;
        huge[at + 1] = 0x75;
    }
    testing::writeBytes(dir.filePath(u"huge.bmp"_qs), huge);
    testing::writeBytes(dir.filePath(u"bad.bmp"_qs), "BM not a picture");
    // No more than the reader would allocate, even when the header does not say how much.
    const std::size_t most =
        static_cast<std::size_t>(QImageReader::allocationLimit()) * 1024 * 1024 + 256 * 256 * 12;
    struct Case {
        QString name;
        bool opens, decodes;
        std::size_t ownPixels;
    };
    const Case cases[] = {
        {u"big.bmp"_qs, true, true, 300 * 200}, {u"small.png"_qs, true, true, 16 * 16},
        {u"huge.bmp"_qs, true, false, 0},       {u"bad.bmp"_qs, true, false, 0},
        {u"none.bmp"_qs, false, false, 0},
    };
    for (const Case& c : cases) {
        PictureFile file(QFile::encodeName(dir.filePath(c.name)), QSize(256, 256));
        EXPECT_EQ(file.readable(), c.opens) << c.name.toStdString();
        EXPECT_EQ(file.keptBytes(), std::size_t{256 * 256 * 4});
        EXPECT_GE(file.decodingBytes(), c.opens ? c.ownPixels * 4 + file.keptBytes() : 0);
        EXPECT_LE(file.decodingBytes(), most);
        const PicturePtr picture = file.decode();
        EXPECT_EQ(picture != nullptr, c.decodes) << c.name.toStdString();
        EXPECT_TRUE(!picture ||
                    static_cast<std::size_t>(picture->sizeInBytes()) == file.keptBytes());
    }
}

TEST(DecodePicture, ScalesToSizeKeepingBlack) {
    QTemporaryDir dir;
    QImage image(4, 2, QImage::Format_RGB32);
    image.fill(Qt::black);
    image.setPixel(0, 0, qRgb(255, 255, 255));
    const QString path = dir.filePath(u"p.png.bmp"_qs);  // the name lies; the content decides
    ASSERT_TRUE(image.save(path, "PNG"));
    PicturePtr picture = decodePicture(QFile::encodeName(path), QSize(256, 256));
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->size(), QSize(256, 256));
    EXPECT_EQ(picture->format(), kPictureFormat);
    EXPECT_EQ(picture->pixel(0, 0), qRgb(255, 255, 255));
    EXPECT_EQ(picture->pixel(255, 255), qRgb(0, 0, 0));
    EXPECT_EQ(decodePicture(QFile::encodeName(dir.filePath(u"none.bmp"_qs)), QSize(256, 256)),
              nullptr);
}

TEST(PictureOps, ScaledAndKeyedCopies) {
    QImage source(2, 2, kPictureFormat);
    source.setPixel(0, 0, qRgb(0, 0, 0));
    source.setPixel(1, 0, qRgb(255, 0, 0));
    source.setPixel(0, 1, qRgb(0, 0, 1));  // nearly black is not transparent
    source.setPixel(1, 1, qRgb(0, 255, 0));

    QImage destination(4, 4, kPictureFormat);
    destination.fill(qRgb(9, 9, 9));
    copyScaledKeyed(source, destination);
    EXPECT_EQ(destination.pixel(0, 0), qRgb(9, 9, 9));
    EXPECT_EQ(destination.pixel(1, 1), qRgb(9, 9, 9));
    EXPECT_EQ(destination.pixel(3, 0), qRgb(255, 0, 0));
    EXPECT_EQ(destination.pixel(0, 3), qRgb(0, 0, 1));
    EXPECT_EQ(destination.pixel(2, 2), qRgb(0, 255, 0));

    copyScaled(source, destination);
    EXPECT_EQ(destination.pixel(0, 0), qRgb(0, 0, 0));
    fillBlack(destination);
    EXPECT_EQ(destination.pixel(3, 3), qRgb(0, 0, 0));
}

TEST(WorkerPool, RunsEveryJobOnceOnTheThreadsAsked) {
    for (const int threads : {0, 1, 3, 8}) {
        std::vector<std::atomic<int>> runs(500);
        std::mutex mutex;
        std::set<std::thread::id> ids;
        parallelFor(
            runs.size(),
            [&](std::size_t i) {
                runs[i].fetch_add(1);
                const std::lock_guard<std::mutex> lock(mutex);
                ids.insert(std::this_thread::get_id());
            },
            threads);
        for (size_t i = 0; i < runs.size(); ++i) {
            ASSERT_EQ(runs[i].load(), 1) << i << " with " << threads << " threads";
        }
        EXPECT_LE(ids.size(), threads == 0 ? std::thread::hardware_concurrency()
                                           : static_cast<unsigned>(threads));
        EXPECT_TRUE(threads != 1 || ids.count(std::this_thread::get_id()) == 1);
    }
    parallelFor(0, [](std::size_t) { ADD_FAILURE() << "no job to run"; });
}

}  // namespace
}  // namespace carvel::media
